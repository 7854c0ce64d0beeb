// Falling rain: drops join one per frame, fall 1..6 rows a frame and
// restart at the top in a new column once they pass the bottom row.
#pragma once
#include <cstdint>

inline constexpr int drop_count = 60;

struct rain_drops {                     // owned by the driver for the whole run
    std::int32_t column[drop_count];    // 0..79
    std::int32_t row[drop_count];       // 0..24 after each update
    std::int32_t speed[drop_count];     // rows per frame, 1..6
    std::uint32_t active_countdown;     // drops not yet falling: 60 after init, down to 0
};

// Once at start-up: row 0; two random values a drop, column first; countdown 60.
void drops_init(rain_drops& rain);
// Once a frame while the rain is shown: count down (one more drop joins),
// then move and draw drops 0 .. 59 - countdown in order. A drop past row 24
// restarts at row 0 (two random values, column first) and is drawn there in
// the same frame. Clears nothing.
void drops_frame(rain_drops& rain);
