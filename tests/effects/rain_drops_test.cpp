#include "effects/rain_drops.h"

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

// The look of a drop by speed 1..6.
constexpr screen_cell look[7] = {0, 0x012E, 0x013A, 0x012E, 0x092E, 0x092E, 0x093A};

int drawn_cells()
{
    int n = 0;
    for (screen_cell cell : screen_buffer) n += cell != 0;
    return n;
}

TEST(drops_init, two_draws_a_drop_column_first_then_sixty_waiting)
{
    glim::srand(2024);
    rain_drops rain;
    drops_init(rain);
    EXPECT_EQ(draws_since(2024), 2 * drop_count);
    EXPECT_EQ(rain.active_countdown, 60u);

    glim::srand(2024);
    for (int k = 0; k < drop_count; ++k) {
        const int column_value = glim::rand();
        const int speed_value = glim::rand();
        EXPECT_EQ(rain.column[k], column_value % 80);
        EXPECT_EQ(rain.row[k], 0);
        EXPECT_EQ(rain.speed[k], speed_value % 6 + 1);
    }
}

TEST(drops_frame, first_call_moves_and_draws_only_drop_zero)
{
    glim::srand(11);
    rain_drops rain;
    drops_init(rain);
    clear_screen();
    drops_frame(rain);
    EXPECT_EQ(rain.active_countdown, 59u);
    EXPECT_EQ(rain.row[0], rain.speed[0]);
    for (int k = 1; k < drop_count; ++k) EXPECT_EQ(rain.row[k], 0);
    EXPECT_EQ(drawn_cells(), 1);
    EXPECT_NE(cell_at(rain.row[0], rain.column[0]), 0);
}

TEST(drops_frame, sixtieth_call_and_later_handle_all_drops)
{
    glim::srand(12);
    rain_drops rain;
    drops_init(rain);
    for (int call = 0; call < 59; ++call) drops_frame(rain);
    EXPECT_EQ(rain.active_countdown, 1u);
    EXPECT_EQ(rain.row[59], 0);
    drops_frame(rain);
    EXPECT_EQ(rain.active_countdown, 0u);
    EXPECT_EQ(rain.row[59], rain.speed[59]);
    drops_frame(rain);
    EXPECT_EQ(rain.active_countdown, 0u);
    EXPECT_EQ(rain.row[59], 2 * rain.speed[59]);
}

TEST(drops_frame, a_restart_takes_two_values_column_first_and_draws_at_row_zero)
{
    rain_drops rain;
    for (int k = 0; k < drop_count; ++k) {
        rain.column[k] = k;
        rain.row[k] = 0;
        rain.speed[k] = 1;
    }
    rain.row[7] = 22;
    rain.speed[7] = 3;
    rain.active_countdown = 0;
    glim::srand(4321);
    const int column_value = glim::rand();
    const int speed_value = glim::rand();
    glim::srand(4321);
    clear_screen();

    drops_frame(rain);
    EXPECT_EQ(draws_since(4321), 2);
    EXPECT_EQ(rain.row[7], 0);
    EXPECT_EQ(rain.column[7], column_value % 80);
    EXPECT_EQ(rain.speed[7], speed_value % 6 + 1);
    // Drops 0..59 sit on row 1 in columns 0..59; row 0 holds only the restarted one.
    EXPECT_EQ(cell_at(0, rain.column[7]), look[rain.speed[7]]);
}

TEST(drops_frame, a_frame_without_restarts_draws_no_values_and_each_speed_has_its_cell)
{
    rain_drops rain;
    for (int k = 0; k < drop_count; ++k) {
        rain.column[k] = k;
        rain.row[k] = 0;
        rain.speed[k] = k % 6 + 1;
    }
    rain.active_countdown = 0;
    glim::srand(8);
    clear_screen();
    drops_frame(rain);
    EXPECT_EQ(draws_since(8), 0);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(cell_at(k + 1, k), look[k + 1]) << k;
}

}  // namespace
