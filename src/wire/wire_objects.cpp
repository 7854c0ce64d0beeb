#include "wire/wire_objects.h"

#include <cmath>

#include "math/matrix.h"
#include "render/ascii_render.h"

const int wire_cube_edges[wire_cube_edge_count][2] = {
    {0, 1}, {0, 2}, {0, 4}, {1, 3}, {1, 5}, {2, 3},
    {2, 6}, {3, 7}, {4, 5}, {4, 6}, {5, 7}, {6, 7},
};
const int wire_glyph_strokes[wire_glyph_stroke_count][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}};

namespace {

constexpr float start_angle = 0.785398163397448f;      // pi/4
constexpr double cube_step = 0.05235987755982988;      // pi/60, 3 degrees a frame
constexpr double glyph_step = 0.20943951023931953;     // pi/15, 12 degrees a frame
constexpr double angle_limit = 25.132741228718345;     // 8 pi
constexpr float cube_y_turn = 1.2f;                    // the cube turns 1.2 times faster about y
constexpr float glyph_outer_stem = 1.2f;               // outer stem at -1.2 h
constexpr float glyph_depth_offset = 10.0f;            // the figure sits this much deeper than pz
constexpr double centre_column = 40.0;
constexpr double centre_row = 12.0;
// Projected points farther out than this are treated like points behind the
// viewer: they could not be converted to int, and no line to them is useful.
constexpr double projection_limit = 10000.0;

// Adds step and stores as float; at 8 pi the angle restarts at exactly 0, the
// remainder is dropped (the cube's y turn then jumps; that is intended).
float advance_angle(float angle, double step)
{
    const double next = angle + step;
    return next >= angle_limit ? 0.0f : static_cast<float>(next);
}

// Moves every vertex with m and projects it: k = 1 / (Z * scale), column =
// X k + 40, row = Y k + 12, truncated toward zero.
void project_vertices(const float (&x)[8], const float (&y)[8], const float (&z)[8], const matrix& m,
             float scale, wire_point (&out)[8])
{
    for (int i = 0; i < wire_vertex_count; ++i) {
        vector<3> p(x[i], y[i], z[i]);
        m.transform(p, p);
        out[i] = {0, 0, false};
        if (!(p[2] > 0.0f)) continue;
        const double k = 1.0 / (static_cast<double>(p[2]) * scale);
        const double column = p[0] * k + centre_column;
        const double row = p[1] * k + centre_row;
        if (!(std::fabs(column) < projection_limit && std::fabs(row) < projection_limit)) continue;
        out[i] = {static_cast<int>(column), static_cast<int>(row), true};
    }
}

void draw_edges(const wire_point (&points)[8], const int (*edges)[2], int edge_count,
                std::uint8_t ch, int fg, int bg)
{
    for (int e = 0; e < edge_count; ++e) {
        const wire_point& a = points[edges[e][0]];
        const wire_point& b = points[edges[e][1]];
        if (a.visible && b.visible) draw_line(a.column, a.row, b.column, b.row, ch, fg, bg);
    }
}

}  // namespace

void wire_cube::init(float px, float py, float pz, float half_size)
{
    for (int i = 0; i < wire_vertex_count; ++i) {
        x[i] = (i & 4) ? -half_size : half_size;
        y[i] = (i & 2) ? -half_size : half_size;
        z[i] = (i & 1) ? -half_size : half_size;
    }
    position[0] = px;
    position[1] = py;
    position[2] = pz;
    angle = start_angle;
}

void wire_cube::draw(float px, float py, float pz, std::uint8_t ch, int fg, int bg, float scale)
{
    angle = advance_angle(angle, cube_step);
    wire_point points[8];
    project(px, py, pz, scale, points);
    draw_edges(points, wire_cube_edges, wire_cube_edge_count, ch, fg, bg);
}

void wire_cube::project(float px, float py, float pz, float scale, wire_point (&out)[8]) const
{
    const quaternion qx = quaternion::from_axis_angle(angle, vector<3>(1, 0, 0));
    const quaternion qy = quaternion::from_axis_angle(cube_y_turn * angle, vector<3>(0, 1, 0));
    // The y turn acts first, then the x turn, then the move.
    matrix m = matrix::translation(vector<3>(px, py, pz));
    matrix::multiply(m, m, matrix::rotation(qx));
    matrix::multiply(m, m, matrix::rotation(qy));
    project_vertices(x, y, z, m, scale, out);
}

void wire_glyph::init(float px, float py, float pz, float half_size)
{
    const float outer = -(glyph_outer_stem * half_size);
    const float xs[8] = {-half_size, -half_size, half_size, -half_size,
                         -half_size, half_size,  outer,     outer};
    const float ys[8] = {-half_size, half_size, -half_size, 0, 0, half_size, -half_size, half_size};
    for (int i = 0; i < wire_vertex_count; ++i) {
        x[i] = xs[i];
        y[i] = ys[i];
        z[i] = 0.0f;
    }
    position[0] = px;
    position[1] = py;
    position[2] = pz;
    angle = start_angle;
}

void wire_glyph::draw(float px, float py, float pz, std::uint8_t ch, int fg, int bg, float scale)
{
    angle = advance_angle(angle, glyph_step);
    wire_point points[8];
    project(px, py, pz, scale, points);
    draw_edges(points, wire_glyph_strokes, wire_glyph_stroke_count, ch, fg, bg);
}

void wire_glyph::project(float px, float py, float pz, float scale, wire_point (&out)[8]) const
{
    const quaternion q = quaternion::from_axis_angle(angle, vector<3>(0, 1, 0));
    matrix m;
    matrix::multiply(m, matrix::translation(vector<3>(px, py, pz + glyph_depth_offset)),
                     matrix::rotation(q));
    project_vertices(x, y, z, m, scale, out);
}
