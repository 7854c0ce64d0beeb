#include "effects/sine_bars.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "render/ascii_render.h"

namespace {

screen_cell cell_at(int row, int column) { return screen_buffer[row * screen_width + column]; }

// Every cell of the row holds cell.
bool row_is(int row, screen_cell cell)
{
    for (int c = 0; c < screen_width; ++c)
        if (cell_at(row, c) != cell) return false;
    return true;
}

TEST(bars_init, angles_accumulate_step_by_step)
{
    bars_init(0, 0.0);
    EXPECT_EQ(sine_bars[0].row[0], 12.0);
    EXPECT_EQ(sine_bars[0].depth[0], 1.0);
    // Six additions of 0.04 give 0.24000000000000002, not 6 * 0.04.
    EXPECT_EQ(sine_bars[0].angle, 0.24000000000000002);
    EXPECT_EQ(sine_bars[0].row[2], std::sin(0.04 + 0.04) * 12.5 + 12.0);
}

TEST(bars_draw_front, layer_zero_after_init_puts_point_0_light_red_on_row_12)
{
    bars_init(0, 0.0);
    clear_screen();
    const sine_bars_layer before = sine_bars[0];
    bars_draw_front(0);
    // Points 0 and 1 fill row 12 light red, but point 2 (12.9989...) also
    // truncates to row 12 and, drawn later, leaves it light green.
    EXPECT_TRUE(row_is(12, 0xAA38));
    EXPECT_TRUE(row_is(13, 0x9938));
    EXPECT_TRUE(row_is(14, 0x9938));
    EXPECT_TRUE(row_is(11, 0));
    EXPECT_TRUE(row_is(15, 0));

    // Point 0 alone: its light red band on row 12.
    for (int i = 1; i < bars_points; ++i) sine_bars[0].depth[i] = 0.0;
    clear_screen();
    bars_draw_front(0);
    EXPECT_TRUE(row_is(12, 0xCC38));

    // Drawing the front changes nothing, so repeated calls show a still picture.
    sine_bars[0] = before;
    for (int frame = 0; frame < 3; ++frame) bars_draw_front(0);
    EXPECT_EQ(std::memcmp(&before, &sine_bars[0], sizeof before), 0);
}

TEST(bars_draw_back, layer_one_starts_behind_and_its_first_step_draws_dark_bars_above_the_middle)
{
    bars_init(1, 3.141592653589793);
    EXPECT_EQ(sine_bars[1].depth[0], -1.0);
    EXPECT_GT(sine_bars[1].row[0], 12.0);
    EXPECT_EQ(static_cast<int>(sine_bars[1].row[0]), 12);

    clear_screen();
    bars_draw_back(1);
    // Points now at pi + 0.04 .. pi + 0.20 and the new one at pi + 0.28.
    EXPECT_TRUE(row_is(8, 0x1138));
    EXPECT_TRUE(row_is(9, 0x1138));
    EXPECT_TRUE(row_is(10, 0x2238));
    EXPECT_TRUE(row_is(11, 0x4438));
    for (int r : {0, 7, 12, 24}) EXPECT_TRUE(row_is(r, 0)) << r;

    bars_draw_front(1);
    EXPECT_TRUE(row_is(12, 0));
}

TEST(bars_draw, zero_and_nan_depths_draw_nothing_rows_truncate_toward_zero)
{
    sine_bars_layer& bars = sine_bars[0];
    // Point 5 is replaced by the step to angle 0: depth 1, row 12, in front.
    bars.angle = -bars_angle_step;
    const double depth[bars_points] = {-0.5, -0.5, 0.0, -0.0, std::numeric_limits<double>::quiet_NaN(), -0.5};
    const double row[bars_points] = {0.0, -0.5, 3.0, 4.0, 5.0, 24.99};
    for (int i = 0; i < bars_points; ++i) {
        bars.depth[i] = depth[i];
        bars.row[i] = row[i];
    }
    clear_screen();
    bars_draw_back(0);
    // After the shift: point 0 at row -0.5 (red, on row 0), points 1..3 not
    // drawn, point 4 at 24.99 (blue, row 24), point 5 in front.
    EXPECT_TRUE(row_is(0, 0x4438));
    for (int r = 1; r < 24; ++r) EXPECT_TRUE(row_is(r, 0)) << r;
    EXPECT_TRUE(row_is(24, 0x1138));

    clear_screen();
    bars_draw_front(0);
    for (int r = 0; r < screen_height; ++r) EXPECT_TRUE(row_is(r, r == 12 ? 0x9938 : 0)) << r;
}

TEST(bars_draw, rows_outside_the_screen_after_truncation_are_skipped)
{
    sine_bars_layer& bars = sine_bars[0];
    bars.angle = -bars_angle_step;  // point 5 lands in front
    // Point 0 is shifted out; the others become points 0..4.
    const double row[bars_points] = {12.0, -1.0, 25.0, -7.5, 40.0, std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < bars_points; ++i) {
        bars.depth[i] = -1.0;
        bars.row[i] = row[i];
    }
    clear_screen();
    bars_draw_back(0);
    for (int r = 0; r < screen_height; ++r) EXPECT_TRUE(row_is(r, 0)) << r;
}

}  // namespace
