#include "effects/plasma.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "render/ascii_render.h"

namespace {

screen_cell cell_at(int row, int column) { return screen_buffer[row * screen_width + column]; }

// The attribute of one cell written out with the given factors, so the test
// can tell the single-precision constants from the double ones.
std::uint8_t attribute_with(std::uint32_t t, int row, int column, double f_row, double f_column)
{
    const double r = 2.0 * std::sin(f_row * static_cast<double>(t / 42 + row)) +
                     std::sin(f_row * static_cast<double>(t / 58 + row));
    const double v = 2.0 * (r + std::sin(f_column * static_cast<double>(t / 20 + column)) + 4.0);
    return static_cast<std::uint8_t>(static_cast<int>(v));
}

TEST(plasma_frame, clock_zero_corner_is_dark_grey_and_every_cell_is_an_o)
{
    std::fill(std::begin(screen_buffer), std::end(screen_buffer), screen_cell{0xFFFF});
    plasma_frame(0);
    EXPECT_EQ(cell_at(0, 0), 0x084F);
    for (screen_cell cell : screen_buffer) {
        EXPECT_EQ(cell & 0xFF, 'O');
        EXPECT_LE(cell >> 8, 0x10);
    }
}

TEST(plasma_frame, column_wave_moves_one_column_left_per_frame)
{
    // 1050 and 1070 ms share a = 25 and b = 18; only c0 grows, 52 to 53.
    screen_cell before[screen_cells];
    plasma_frame(1050);
    std::copy(std::begin(screen_buffer), std::end(screen_buffer), before);
    plasma_frame(1070);
    for (int r = 0; r < screen_height; ++r)
        for (int c = 0; c + 1 < screen_width; ++c)
            ASSERT_EQ(cell_at(r, c), before[r * screen_width + c + 1]) << r << "," << c;
}

TEST(plasma_frame, uses_single_precision_factors_in_double_arithmetic)
{
    // Late in a long-running tick count the arguments are large enough that
    // 0.04f and 0.04 give visibly different pictures.
    const std::uint32_t t = 4000000000u;
    plasma_frame(t);
    int differs_from_double_factors = 0;
    for (int r = 0; r < screen_height; ++r)
        for (int c = 0; c < screen_width; ++c) {
            const std::uint8_t single = attribute_with(t, r, c, 0.03999999910593033, 0.029999999329447746);
            ASSERT_EQ(cell_at(r, c), (single << 8) | 'O') << r << "," << c;
            if (single != attribute_with(t, r, c, 0.04, 0.03)) ++differs_from_double_factors;
        }
    EXPECT_GT(differs_from_double_factors, 100);
}

}  // namespace
