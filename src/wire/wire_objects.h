// Wireframe objects drawn as character lines: a cube that tumbles about two
// axes and a flat four-stroke figure that spins about the vertical axis. Each
// advances its own angle once per draw call.
#pragma once
#include <cstdint>

struct wire_cube {
    float x[8], y[8], z[8];  // model vertices; y points down the screen, z away from the viewer
    float position[3];       // as created; draw does not read it
    float angle;             // radians, pi/4 at creation

    void init(float px, float py, float pz, float half_size);
    // Advances angle by pi/60 (reset to 0 at 8 pi), turns, places at (px, py, pz),
    // projects and draws the twelve edges with ch in fg on bg.
    void draw(float px, float py, float pz, std::uint8_t ch, int fg, int bg, float scale);
};

struct wire_glyph {
    float x[8], y[8], z[8];
    float position[3];
    float angle;

    void init(float px, float py, float pz, float half_size);
    // Advances angle by pi/15, spins about the vertical axis, places at
    // (px, py, pz + 10) and draws the four strokes.
    void draw(float px, float py, float pz, std::uint8_t ch, int fg, int bg, float scale);
};
