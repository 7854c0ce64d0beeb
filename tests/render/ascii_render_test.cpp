#include "render/ascii_render.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace {

// The cells that differ from zero, as (column, row) points.
std::set<std::pair<int, int>> plotted()
{
    std::set<std::pair<int, int>> points;
    for (int i = 0; i < screen_cells; ++i)
        if (screen_buffer[i]) points.insert({i % screen_width, i / screen_width});
    return points;
}

std::set<std::pair<int, int>> line_points(int x0, int y0, int x1, int y1)
{
    clear_screen();
    draw_line(x0, y0, x1, y1, '#', 15, 0);
    return plotted();
}

TEST(put_char, stores_background_foreground_and_character)
{
    clear_screen();
    put_char(3, 7, 0xC9, 14, 1);
    EXPECT_EQ(screen_buffer[3 * 80 + 7], 0x1EC9);
}

TEST(put_char, space_is_transparent_and_off_screen_is_dropped)
{
    clear_screen();
    screen_buffer[0] = 0x0741;
    put_char(0, 0, ' ', 15, 4);
    EXPECT_EQ(screen_buffer[0], 0x0741);
    for (auto [row, column] : {std::pair{25, 0}, {0, 80}, {-1, 5}, {5, -1}})
        put_char(row, column, 'X', 15, 0);
    EXPECT_EQ(plotted().size(), 1u);
}

TEST(draw_string, never_draws_its_last_character_and_wraps_linearly)
{
    clear_screen();
    EXPECT_EQ(draw_string(4, 75, "ABCDEFGHIJ", 15, 0), 9);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(screen_buffer[4 * 80 + 75 + i], 0x0F00 | ('A' + i));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(screen_buffer[5 * 80 + i], 0x0F00 | ('F' + i));
    EXPECT_EQ(screen_buffer[5 * 80 + 4], 0);  // the tenth character

    clear_screen();
    EXPECT_EQ(draw_string(0, 0, "A", 15, 0), 0);
    EXPECT_EQ(draw_string(-1, 0, "ABC", 15, 0), 0);
    EXPECT_EQ(draw_string(25, 0, "ABC", 15, 0), 0);
    EXPECT_EQ(draw_string(2, 0, "A B!", 15, 0), 3);  // the space leaves its cell alone
    EXPECT_EQ(plotted(), (std::set<std::pair<int, int>>{{0, 2}, {2, 2}}));
}

TEST(draw_line, single_point_and_exact_diagonal)
{
    EXPECT_EQ(line_points(5, 3, 5, 3), (std::set<std::pair<int, int>>{{5, 3}}));
    EXPECT_EQ(line_points(0, 0, 3, 3),
              (std::set<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
}

TEST(draw_line, steep_and_shallow_lines_truncate_the_minor_coordinate)
{
    // Steep, walked over rows: x = trunc(0 + y * 0.5).
    EXPECT_EQ(line_points(0, 0, 2, 4),
              (std::set<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}}));
    // Shallow, walked over columns with rows per column g = 1/s.
    EXPECT_EQ(line_points(0, 0, 4, 2),
              (std::set<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    // Negative direction: from (4, 0) down-left to (0, 2), computed from the smaller end.
    EXPECT_EQ(line_points(4, 0, 0, 2),
              (std::set<std::pair<int, int>>{{0, 2}, {1, 1}, {2, 1}, {3, 0}, {4, 0}}));
}

TEST(draw_line, swapped_end_points_plot_the_same_cells)
{
    const int cases[][4] = {{3, 2, 70, 20}, {10, 24, 12, 0}, {79, 0, 0, 24},
                            {5, 5, 5, 20},  {2, 7, 60, 7},  {40, 12, 33, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(line_points(c[0], c[1], c[2], c[3]), line_points(c[2], c[3], c[0], c[1]))
            << c[0] << "," << c[1] << " - " << c[2] << "," << c[3];
}

TEST(draw_line, drops_points_off_the_screen_one_by_one)
{
    const auto partly = line_points(-5, 10, 5, 10);
    EXPECT_EQ(partly.size(), 6u);
    EXPECT_EQ(*partly.begin(), (std::pair{0, 10}));
    EXPECT_TRUE(line_points(-10, -3, -2, -30).empty());
    EXPECT_TRUE(line_points(85, 30, 100, 40).empty());
    clear_screen();
    draw_line(0, 0, 10, 0, ' ', 15, 4);  // a space draws nothing
    EXPECT_TRUE(plotted().empty());
}

TEST(draw_line, trunc_toward_zero_keeps_minus_half_on_the_edge)
{
    // x = trunc(-1 + y * 0.25): y = 0..3 gives -1, -0.75, -0.5, -0.25 -> -1, 0, 0, 0.
    EXPECT_EQ(line_points(-1, 0, 0, 4),
              (std::set<std::pair<int, int>>{{0, 1}, {0, 2}, {0, 3}, {0, 4}}));
}

}  // namespace
