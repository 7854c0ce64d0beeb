// The sine cascade: particles start on the top row at a column that swings
// with a phase angle and fall straight down, bouncing until the eighth
// bounce. While new particles come in, the whole chain moves one place older
// every frame and particle 0 is renewed at the current phase.
#include "effects/sine_cascade.h"

#include <cmath>

#include "base/process_exit.h"
#include "render/ascii_render.h"

namespace {

constexpr double waiting_x = 85.0;     // right of the screen: respawned at the first handling
constexpr double phase_step = 0.1;
constexpr double swing_centre = 40.0;
constexpr double swing_width = 20.0;
constexpr double shade_centre = 2.0;
constexpr double shade_width = 1.5;
constexpr double bounce_floor = 24.5;
constexpr double bounce_factor = 0.47619047619047616;  // 10 / 21
constexpr int max_bounces = 7;
constexpr double right_limit = 79.0;
constexpr double gravity = 0.015;
constexpr std::uint32_t hold_for_good = cascade_count;

// The look by truncated shade: dim and small to bright and large. No entry is
// the transparent 0x0020, so every on-screen particle is drawn.
constexpr int shade_count = 4;
constexpr screen_cell shade_cell[shade_count] = {
    make_cell('.', 1, 0),    // blue
    make_cell('o', 9, 0),    // light blue
    make_cell('O', 3, 0),    // cyan
    make_cell('*', 11, 0),   // light cyan
};

void renew(sine_cascade& c, int k)
{
    c.x[k] = std::sin(c.phase) * swing_width + swing_centre;
    c.y[k] = 0.0;
    c.bounces[k] = 0;
    c.shade[k] = std::cos(c.phase) * shade_width + shade_centre;
    c.vy[k] = 0.0;
}

}  // namespace

void cascade_init(sine_cascade& cascade)
{
    for (int k = 0; k < cascade_count; ++k) {
        cascade.x[k] = waiting_x;
        cascade.y[k] = 0.0;
        cascade.shade[k] = 0.0;
        cascade.vy[k] = 0.0;
        cascade.bounces[k] = 0;
    }
    cascade.active_countdown = cascade_count;
    cascade.restart_hold = 0;
    cascade.phase = 0.0;
}

void cascade_frame(sine_cascade& c, int spawn)
{
    c.phase += phase_step;
    if (c.active_countdown > 0) --c.active_countdown;

    // Without spawn the shift still runs and copies the old particle 0 down the chain.
    if (c.active_countdown > 0 || c.restart_hold != 0) {
        if (spawn != 0) renew(c, 0);
        for (int k = cascade_count - 2; k >= 0; --k) {
            c.x[k + 1] = c.x[k];
            c.y[k + 1] = c.y[k];
            c.shade[k + 1] = c.shade[k];
            c.vy[k + 1] = c.vy[k];
            c.bounces[k + 1] = c.bounces[k];
        }
    }

    const int active = cascade_count - static_cast<int>(c.active_countdown);
    for (int k = 0; k < active; ++k) {
        if (c.y[k] > bounce_floor) {
            c.vy[k] = -(c.vy[k] * bounce_factor);
            ++c.bounces[k];
            c.y[k] -= 1.0;
        }
        // A NaN x meets neither limit and is never respawned.
        if (spawn != 0 && (c.x[k] < 0.0 || c.x[k] > right_limit || c.bounces[k] > max_bounces)) {
            renew(c, k);
            c.restart_hold = hold_for_good;
        }

        // Shades stay within 0.5 .. 3.5 once set, and the construction's are 0.
        GLIM_ASSERT(c.shade[k] >= 0.0 && c.shade[k] < shade_count);
        const screen_cell cell = shade_cell[static_cast<int>(c.shade[k])];
        // Tested on the doubles so that only in-range values are converted;
        // x or y in (-1, 0) truncates to 0 and is drawn there.
        if (c.x[k] > -1.0 && c.x[k] < screen_width && c.y[k] > -1.0 && c.y[k] < screen_height) {
            const int column = static_cast<int>(c.x[k]);
            const int row = static_cast<int>(c.y[k]);
            screen_buffer[row * screen_width + column] = cell;
        }

        c.y[k] += c.vy[k];
        c.vy[k] += gravity;
    }
}
