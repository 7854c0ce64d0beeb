// The rain: 60 drops that join one per frame and fall at six speeds in blue
// and light blue; a drop past the bottom restarts at the top.
#include "effects/rain_drops.h"

#include "base/random.h"
#include "render/ascii_render.h"

namespace {

constexpr int speed_count = 6;  // speeds 1..6

// The look of a drop by speed - 1: slow ones blue, fast ones light blue.
constexpr screen_cell drop_cell[speed_count] = {
    make_cell('.', 1, 0),  // 1
    make_cell(':', 1, 0),  // 2
    make_cell('.', 1, 0),  // 3
    make_cell('.', 9, 0),  // 4
    make_cell('.', 9, 0),  // 5
    make_cell(':', 9, 0),  // 6
};

// Two draws, in this order: column, then speed.
void new_track(rain_drops& rain, int k)
{
    rain.column[k] = glim::rand() % screen_width;
    rain.row[k] = 0;
    rain.speed[k] = glim::rand() % speed_count + 1;
}

}  // namespace

void drops_init(rain_drops& rain)
{
    for (int k = 0; k < drop_count; ++k) new_track(rain, k);
    rain.active_countdown = drop_count;
}

void drops_frame(rain_drops& rain)
{
    if (rain.active_countdown > 0) --rain.active_countdown;
    const int active = drop_count - static_cast<int>(rain.active_countdown);
    for (int k = 0; k < active; ++k) {
        rain.row[k] += rain.speed[k];
        // Unsigned, so a negative row would restart as well.
        if (static_cast<std::uint32_t>(rain.row[k]) > screen_height - 1u) new_track(rain, k);
        const int row = rain.row[k];
        const int column = rain.column[k];
        const int speed = rain.speed[k];
        // The speed test keeps the six-entry table safe from a corrupted drop.
        if (row >= 0 && row < screen_height && column >= 0 && column < screen_width &&
            speed >= 1 && speed <= speed_count)
            screen_buffer[row * screen_width + column] = drop_cell[speed - 1];
    }
}
