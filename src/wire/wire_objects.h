// Wireframe objects drawn as character lines: a cube that tumbles about two
// axes and a flat four-stroke figure that spins about the vertical axis. Each
// advances its own angle once per draw call, turns and places its eight
// vertices, projects them onto the 80 x 25 grid and draws its edges with
// draw_line, in a fixed order and without hidden-line removal.
//
// Arithmetic: intermediates in double, rounded to float wherever a value is
// stored (the angle, the math types, the moved vertices); the projection is
// computed in double from the stored floats.
#pragma once
#include <cstdint>

inline constexpr int wire_vertex_count = 8;
inline constexpr int wire_cube_edge_count = 12;
inline constexpr int wire_glyph_stroke_count = 4;

// Model vertex pairs in drawing order: the cube's edges join vertices whose
// numbers differ in one bit; the figure's strokes are inner stem, upper
// diagonal, lower diagonal, outer stem.
extern const int wire_cube_edges[wire_cube_edge_count][2];
extern const int wire_glyph_strokes[wire_glyph_stroke_count][2];

// A vertex after moving and projecting: its cell, or not visible when it lies
// at Z <= 0 or projects absurdly far out (its edges are then skipped).
struct wire_point {
    int column, row;
    bool visible;
};

struct wire_cube {
    float x[8], y[8], z[8];  // model vertices; y points down the screen, z away from the viewer
    float position[3];       // as created; draw does not read it
    float angle;             // radians, pi/4 at creation; 0 <= angle < 8 pi

    // Vertex i is (+-h, +-h, +-h), minus where bit 2, 1, 0 of i is set for
    // x, y, z. Once, at start-up.
    void init(float px, float py, float pz, float half_size);
    // Advances angle by pi/60 (to exactly 0 at 8 pi), turns by 1.2 angle about
    // y then angle about x, places at (px, py, pz), projects with
    // 1 / (Z * scale) cells per unit and draws the twelve edges with ch in fg
    // on bg. Edges touching a vertex at Z <= 0 are skipped.
    void draw(float px, float py, float pz, std::uint8_t ch, int fg, int bg, float scale);
    // The projection draw makes, for the current angle, without advancing it.
    void project(float px, float py, float pz, float scale, wire_point (&out)[8]) const;
};

struct wire_glyph {
    float x[8], y[8], z[8];  // model vertices, all z 0
    float position[3];       // as created; draw does not read it
    float angle;             // radians, pi/4 at creation; 0 <= angle < 8 pi

    // Two stems at x = -h and -1.2h, diagonals from (h, -h) and (h, h) to the
    // inner stem's middle. Once, at start-up.
    void init(float px, float py, float pz, float half_size);
    // Advances angle by pi/15 (to exactly 0 at 8 pi), spins about the vertical
    // axis, places at (px, py, pz + 10) and draws the four strokes; projection
    // and skipping as for the cube.
    void draw(float px, float py, float pz, std::uint8_t ch, int fg, int bg, float scale);
    // The projection draw makes, for the current angle, without advancing it.
    void project(float px, float py, float pz, float scale, wire_point (&out)[8]) const;
};
