// A sine-swung particle cascade: 200 particles dropped from the top row at a
// column that swings along a sine, falling straight down and bouncing; the
// chain is shifted each frame so the newest particle stands at the front.
#pragma once
#include <cstdint>

inline constexpr int cascade_count = 200;

struct sine_cascade {                     // owned by the driver for the whole run
    double x[cascade_count];              // column, fixed from respawn on
    double y[cascade_count];              // row
    double shade[cascade_count];          // 0.5..3.5, truncated to pick the cell
    double vy[cascade_count];             // rows per frame
    std::int32_t bounces[cascade_count];  // since the last respawn
    std::uint32_t active_countdown;       // particles not yet active
    std::uint32_t restart_hold;           // 0 until the first respawn in the update loop, then 200
    double phase;                         // radians; drives spawn column and shade
};

// Construction: draws no random values; x = 85.0 for all, countdown 200.
void cascade_init(sine_cascade& cascade);
// One frame; spawn non-zero allows new particles. Draws over the screen.
void cascade_frame(sine_cascade& cascade, int spawn);
