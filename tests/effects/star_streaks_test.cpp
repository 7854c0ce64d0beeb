#include "effects/star_streaks.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "base/random.h"
#include "render/ascii_render.h"

namespace {

// Number of generator steps from state before to the current state (-1 if
// more than 10000).
int draws_since(std::uint32_t before)
{
    for (int n = 0; n <= 10000; ++n, before = before * 214013u + 2531011u)
        if (before == glim::rand_state()) return n;
    return -1;
}

screen_cell cell_at(int row, int column) { return screen_buffer[row * screen_width + column]; }

// Every star still on its row, moving one column a frame from x = 10.
void slow_stars(star_streaks& stars)
{
    for (int k = 0; k < streak_count; ++k) {
        stars.x[k] = 10;
        stars.row[k] = k % screen_height;
        stars.speed[k] = 1;
    }
}

TEST(streaks_init, two_draws_a_star_row_first_all_at_column_zero)
{
    glim::srand(777);
    star_streaks stars;
    streaks_init(stars);
    EXPECT_EQ(draws_since(777), 2 * streak_count);

    glim::srand(777);
    for (int k = 0; k < streak_count; ++k) {
        const int row_value = glim::rand();
        const int speed_value = glim::rand();
        EXPECT_EQ(stars.x[k], 0);
        EXPECT_EQ(stars.row[k], row_value % 25);
        EXPECT_EQ(stars.speed[k], speed_value % 6 + 1);
    }
}

TEST(streaks_frame, first_frame_draws_each_star_at_its_speed_without_drawing_values)
{
    glim::srand(31337);
    star_streaks stars;
    streaks_init(stars);
    clear_screen();
    const std::uint32_t before = glim::rand_state();
    streaks_frame(stars);
    EXPECT_EQ(draws_since(before), 0);

    for (int k = 0; k < streak_count; ++k) EXPECT_EQ(stars.x[k], stars.speed[k]);
    // The last star on a cell wins; fast ones white, slow ones dark grey.
    for (int k = streak_count - 1; k >= 0; --k) {
        bool covered = false;
        for (int later = k + 1; later < streak_count; ++later)
            covered = covered || (stars.row[later] == stars.row[k] && stars.x[later] == stars.x[k]);
        if (covered) continue;
        EXPECT_EQ(cell_at(stars.row[k], stars.x[k]), stars.speed[k] >= 4 ? 0x0F2E : 0x082E) << k;
    }
}

TEST(streaks_frame, a_wrap_takes_two_values_row_first_and_draws_at_column_zero)
{
    star_streaks stars;
    slow_stars(stars);
    stars.x[5] = 78;
    stars.speed[5] = 2;
    clear_screen();
    glim::srand(99);
    const int row_value = glim::rand();
    const int speed_value = glim::rand();
    glim::srand(99);

    streaks_frame(stars);
    EXPECT_EQ(draws_since(99), 2);
    EXPECT_EQ(stars.x[5], 0);
    EXPECT_EQ(stars.row[5], row_value % 25);
    EXPECT_EQ(stars.speed[5], speed_value % 6 + 1);
    EXPECT_EQ(cell_at(stars.row[5], 0), stars.speed[5] >= 4 ? 0x0F2E : 0x082E);
    EXPECT_EQ(stars.x[6], 11);
}

TEST(streaks_frame, column_79_stays_and_negative_columns_wrap_as_unsigned)
{
    star_streaks stars;
    slow_stars(stars);
    stars.x[0] = 78;   // reaches 79: no wrap
    stars.x[1] = -5;   // -4 compared as unsigned: wraps
    glim::srand(5);
    streaks_frame(stars);
    EXPECT_EQ(draws_since(5), 2);
    EXPECT_EQ(stars.x[0], 79);
    EXPECT_EQ(stars.x[1], 0);
}

}  // namespace
