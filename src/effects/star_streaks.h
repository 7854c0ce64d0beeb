// A sideways starfield: 30 dots fly left to right at six speeds and come back
// at the left edge on a new random row.
#pragma once
#include <cstdint>

inline constexpr int streak_count = 30;

struct star_streaks {                  // owned by the driver for the whole run
    std::int32_t x[streak_count];      // column, 0..79 after each update
    std::int32_t row[streak_count];    // 0..24
    std::int32_t speed[streak_count];  // columns per frame, 1..6
};

// Once at start-up: x = 0; two random values a star, row first.
void streaks_init(star_streaks& stars);
// Once a frame while the stars are shown: move each star by its speed; one
// past column 79 it wraps to column 0 on a new row with a new speed (two
// random values, row first) and is drawn there in the same frame. Fast stars
// (4..6) are white, slow ones dark grey. Clears nothing.
void streaks_frame(star_streaks& stars);
