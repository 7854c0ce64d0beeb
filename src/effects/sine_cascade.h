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
    std::uint32_t active_countdown;       // particles not yet active: 200 after init, down to 0
    std::uint32_t restart_hold;           // 0 until the first respawn in the update loop, then 200
    double phase;                         // radians; drives spawn column and shade
};

// Construction, once at start-up; draws no random values. x = 85.0 (right of
// the screen) for all, at rest on row 0 with shade 0; countdown 200, no
// restart hold, phase 0.0.
void cascade_init(sine_cascade& cascade);
// One frame: advance the phase, let one more particle join, renew particle 0
// and shift the chain while allowed, then bounce, respawn, draw and move the
// active particles. spawn = 0 renews nothing, so the display runs dry.
void cascade_frame(sine_cascade& cascade, int spawn);
