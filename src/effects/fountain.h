// A particle fountain: 90 particles thrown up from the bottom centre, falling
// under gravity, bouncing and respawning while the caller allows it.
#pragma once
#include <cstdint>

#include "render/ascii_render.h"

inline constexpr int fountain_count = 90;

struct fountain {                         // owned by the driver for the whole run
    double x[fountain_count];             // column
    double y[fountain_count];             // row
    double vx[fountain_count];            // columns per frame
    double vy[fountain_count];            // rows per frame, negative upwards
    std::int32_t bounces[fountain_count]; // since the last respawn
    screen_cell cell[fountain_count];     // look, chosen at respawn
    std::uint32_t active_countdown;       // particles not yet active: 90 after init, down to 0
};

// Construction, once at start-up; draws no random values. Every particle
// waits below the screen (y = 25.0) and right of it (x = 85.0) at rest, with
// the transparent cell 0x0020, so it respawns at its first handling while
// spawn is 1 and is never drawn before that.
void fountain_init(fountain& particles);
// One frame; spawn non-zero allows respawns (six random values each). One
// more particle joins per call. Draws over the screen, clears nothing.
void fountain_frame(fountain& particles, int spawn);
