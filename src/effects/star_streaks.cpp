// The star streaks: 30 dots on fixed rows moving right; a star that leaves
// the right edge comes back at the left on a fresh row and speed.
#include "effects/star_streaks.h"

#include "base/random.h"
#include "render/ascii_render.h"

namespace {

constexpr int speed_count = 6;  // speeds 1..6
constexpr int fast_speed = 4;   // 4..6 white, 1..3 dark grey
constexpr screen_cell fast_cell = make_cell('.', 15, 0);
constexpr screen_cell slow_cell = make_cell('.', 8, 0);

// Two draws, in this order: row, then speed.
void new_track(star_streaks& stars, int k)
{
    stars.row[k] = glim::rand() % screen_height;
    stars.speed[k] = glim::rand() % speed_count + 1;
}

}  // namespace

void streaks_init(star_streaks& stars)
{
    for (int k = 0; k < streak_count; ++k) {
        stars.x[k] = 0;
        new_track(stars, k);
    }
}

void streaks_frame(star_streaks& stars)
{
    for (int k = 0; k < streak_count; ++k) {
        stars.x[k] += stars.speed[k];
        // Unsigned, so a negative column would wrap as well.
        if (static_cast<std::uint32_t>(stars.x[k]) > screen_width - 1u) {
            stars.x[k] = 0;
            new_track(stars, k);
        }
        const int row = stars.row[k];
        const int x = stars.x[k];
        if (row >= 0 && row < screen_height && x >= 0 && x < screen_width)
            screen_buffer[row * screen_width + x] = stars.speed[k] >= fast_speed ? fast_cell : slow_cell;
    }
}
