#include "wire/wire_objects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "render/ascii_render.h"

namespace {

using points = std::vector<std::pair<int, int>>;

template <typename object>
points projected(const object& o, float px, float py, float pz, float scale)
{
    wire_point out[8];
    o.project(px, py, pz, scale, out);
    points result;
    for (const wire_point& p : out) {
        EXPECT_TRUE(p.visible);
        result.push_back({p.column, p.row});
    }
    return result;
}

// The screen that draw_line gives for the listed edges between the points.
std::vector<screen_cell> expected_screen(const points& p, const int (*edges)[2], int count)
{
    clear_screen();
    for (int e = 0; e < count; ++e)
        draw_line(p[edges[e][0]].first, p[edges[e][0]].second, p[edges[e][1]].first,
                  p[edges[e][1]].second, '8', 11, 9);
    return {screen_buffer, screen_buffer + screen_cells};
}

std::vector<screen_cell> current_screen() { return {screen_buffer, screen_buffer + screen_cells}; }

TEST(wire_cube, fresh_cube_projects_to_the_worked_cells_and_draws_its_edges)
{
    wire_cube cube;
    cube.init(0, 0, 22, 10);
    EXPECT_EQ(cube.angle, 0.7853982f);
    EXPECT_EQ(cube.x[4], -10.0f);
    EXPECT_EQ(cube.y[2], -10.0f);
    EXPECT_EQ(cube.z[1], -10.0f);
    EXPECT_EQ(cube.position[2], 22.0f);

    clear_screen();
    cube.draw(0, 0, 20, '8', 11, 9, 0.1f);
    EXPECT_EQ(cube.angle, static_cast<float>(0.7853982f + 0.05235987755982988));
    const points p = projected(cube, 0, 0, 20, 0.1f);
    EXPECT_EQ(p, (points{{45, 15}, {38, 21}, {53, 7}, {30, 22}, {40, 11}, {35, 13}, {41, 4}, {30, 5}}));

    const std::vector<screen_cell> drawn = current_screen();
    EXPECT_EQ(drawn, expected_screen(p, wire_cube_edges, wire_cube_edge_count));
    EXPECT_EQ(drawn[15 * 80 + 45], 0x9B38);
}

TEST(wire_glyph, fresh_glyph_draws_its_four_strokes)
{
    wire_glyph glyph;
    glyph.init(0, 0, 20, 10);
    EXPECT_EQ(glyph.x[6], -12.0f);
    EXPECT_EQ(glyph.y[3], 0.0f);

    clear_screen();
    glyph.draw(0, 0, 20, '8', 11, 9, 0.1f);
    EXPECT_EQ(glyph.angle, static_cast<float>(0.7853982f + 0.20943951023931953));
    const points p = projected(glyph, 0, 0, 20, 0.1f);
    EXPECT_EQ(p, (points{{38, 9}, {38, 14}, {42, 7}, {38, 12}, {38, 12}, {42, 16}, {38, 9}, {38, 14}}));
    EXPECT_EQ(current_screen(), expected_screen(p, wire_glyph_strokes, wire_glyph_stroke_count));
}

TEST(wire_cube, angle_restarts_at_exactly_zero_past_eight_pi)
{
    wire_cube cube;
    cube.init(0, 0, 22, 10);
    cube.angle = 25.1f;
    cube.draw(0, 0, 20, '8', 11, 9, 0.1f);
    EXPECT_EQ(cube.angle, 0.0f);
    cube.draw(0, 0, 20, '8', 11, 9, 0.1f);  // two calls, two steps
    cube.draw(0, 0, 20, '8', 11, 9, 0.1f);
    EXPECT_EQ(cube.angle, static_cast<float>(static_cast<float>(0.05235987755982988) + 0.05235987755982988));

    // Just short of 8 pi the step is kept.
    cube.angle = 25.0f;
    cube.draw(0, 0, 20, '8', 11, 9, 0.1f);
    EXPECT_EQ(cube.angle, static_cast<float>(25.0f + 0.05235987755982988));

    wire_glyph glyph;
    glyph.init(0, 0, 20, 10);
    glyph.angle = 25.0f;
    glyph.draw(0, 0, 20, '8', 11, 9, 0.1f);
    EXPECT_EQ(glyph.angle, 0.0f);
}

TEST(wire_cube, at_angle_zero_the_cube_faces_the_viewer_and_scale_sets_the_size)
{
    wire_cube cube;
    cube.init(0, 0, 22, 10);
    cube.angle = 0.0f;
    // Front face (z = -10) at depth 8, back face at depth 28: k = 1 and 1/3.5 at scale 1/8.
    const points p = projected(cube, 0, 0, 18, 0.125f);
    EXPECT_EQ(p[1], std::make_pair(50, 22));  // (+10, +10, -10)
    EXPECT_EQ(p[7], std::make_pair(30, 2));   // (-10, -10, -10)
    EXPECT_EQ(p[0], std::make_pair(42, 14));  // 40 + 2.86, 12 + 2.86
    EXPECT_EQ(p[6], std::make_pair(37, 9));   // 40 - 2.86 truncates to 37

    // Halving the scale doubles every offset from the centre, before truncation.
    const points half = projected(cube, 0, 0, 18, 0.0625f);
    EXPECT_EQ(half[1], std::make_pair(60, 32));
    EXPECT_EQ(half[7], std::make_pair(20, -8));
    EXPECT_EQ(half[0], std::make_pair(45, 17));  // 40 + 5.71
    EXPECT_EQ(half[6], std::make_pair(34, 6));
}

TEST(wire_cube, position_moves_the_turned_cube)
{
    // At angle 0 both turns are the identity, so the position moves every
    // vertex by the same amount before the projection.
    wire_cube cube;
    cube.init(0, 0, 22, 10);
    cube.angle = 0.0f;
    const points moved = projected(cube, 10, -10, 18, 0.125f);
    EXPECT_EQ(moved[1], std::make_pair(60, 12));  // (20, 0, 8)
    EXPECT_EQ(moved[0], std::make_pair(45, 12));  // (20, 0, 28): 40 + 5.71
}

TEST(wire_cube, vertices_behind_the_viewer_skip_their_edges)
{
    wire_cube cube;
    cube.init(0, 0, 22, 10);
    cube.angle = 0.0f;
    wire_point out[8];
    cube.project(0, 0, 5, 0.1f, out);  // the front face lies at depth -5
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i].visible, (i & 1) == 0) << i;
    cube.project(0, 0, 10, 0.1f, out);  // and now exactly at depth 0
    EXPECT_FALSE(out[1].visible);

    clear_screen();
    cube.angle = -0.05235987755982988f;  // the draw below steps back to about 0
    cube.draw(0, 0, 5, '8', 11, 9, 0.1f);
    // Only the back face (depth 15) is drawn: its four edges.
    cube.project(0, 0, 5, 0.1f, out);
    points back;
    for (const wire_point& p : out) back.push_back({p.column, p.row});
    const int back_edges[4][2] = {{0, 2}, {0, 4}, {2, 6}, {4, 6}};
    const std::vector<screen_cell> drawn = current_screen();
    EXPECT_EQ(drawn, expected_screen(back, back_edges, 4));
}

}  // namespace
