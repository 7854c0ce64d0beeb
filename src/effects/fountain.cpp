// The fountain: particles thrown up from the bottom centre with a small
// sideways speed fall back under gravity, bounce on the bottom losing a third
// of their speed, and are thrown again after the third bounce or once they
// leave the screen sideways.
#include "effects/fountain.h"

#include "base/random.h"

namespace {

constexpr double start_y = 25.0;           // below the screen: the first handling bounces
constexpr double waiting_x = 85.0;         // right of the screen: the first handling respawns
constexpr screen_cell never_drawn = 0x0020;

constexpr double spawn_column = 39.0;      // plus 0 or 1
constexpr double spawn_row = 24.0;
constexpr double inverse_rand_max = 3.051850947599719e-05;  // 1 / 32767
constexpr double bounce_floor = 24.5;
constexpr double bounce_factor = 0.6666666666666666;        // 2 / 3
constexpr int max_bounces = 2;
constexpr double right_limit = 79.0;
constexpr double gravity = 0.015;

constexpr std::uint8_t looks[4] = {'.', 'o', 'O', '*'};

// Six draws, in this order: column, vx, vy, character, colour, brightness.
void respawn(fountain& p, int k)
{
    p.x[k] = spawn_column + glim::rand() % 2;
    p.bounces[k] = 0;
    p.y[k] = spawn_row;
    p.vx[k] = glim::rand() * 0.4 * inverse_rand_max - 0.2;     // -0.2 .. 0.2
    p.vy[k] = -(glim::rand() * 0.1 * inverse_rand_max) - 0.7;  // -0.8 .. -0.7
    const std::uint8_t character = looks[glim::rand() % 4];
    int attribute = glim::rand() % 2 == 1 ? 0x03 : 0x01;        // cyan or blue
    if (glim::rand() % 2 == 1) attribute += 0x08;              // light
    p.cell[k] = static_cast<screen_cell>((attribute << 8) | character);
}

}  // namespace

void fountain_init(fountain& particles)
{
    for (int k = 0; k < fountain_count; ++k) {
        particles.x[k] = waiting_x;
        particles.y[k] = start_y;
        particles.vx[k] = 0.0;
        particles.vy[k] = 0.0;
        particles.bounces[k] = 0;
        particles.cell[k] = never_drawn;
    }
    particles.active_countdown = fountain_count;
}

void fountain_frame(fountain& p, int spawn)
{
    if (p.active_countdown > 0) --p.active_countdown;
    const int active = fountain_count - static_cast<int>(p.active_countdown);
    for (int k = 0; k < active; ++k) {
        if (p.y[k] > bounce_floor) {
            p.vy[k] = -(p.vy[k] * bounce_factor);
            ++p.bounces[k];
            p.y[k] -= 1.0;
        }
        // A NaN x meets neither limit and is never respawned.
        if (spawn != 0 && (p.x[k] < 0.0 || p.x[k] > right_limit || p.bounces[k] > max_bounces))
            respawn(p, k);

        // Tested on the doubles so that only in-range values are converted;
        // x or y in (-1, 0) truncates to 0 and is drawn there.
        if (p.x[k] > -1.0 && p.x[k] < screen_width && p.y[k] > -1.0 && p.y[k] < screen_height &&
            p.cell[k] != never_drawn) {
            const int column = static_cast<int>(p.x[k]);
            const int row = static_cast<int>(p.y[k]);
            screen_buffer[row * screen_width + column] = p.cell[k];
        }

        p.x[k] += p.vx[k];
        p.y[k] += p.vy[k];
        p.vy[k] += gravity;
    }
}
