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
    std::uint32_t active_countdown;       // particles not yet active
};

// Construction: draws no random values; every particle waits below the screen.
void fountain_init(fountain& particles);
// One frame; spawn non-zero allows respawns. Draws over the screen, clears nothing.
void fountain_frame(fountain& particles, int spawn);
