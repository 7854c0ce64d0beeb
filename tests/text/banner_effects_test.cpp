#include "text/banner_effects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "effects/fire.h"
#include "render/ascii_render.h"

namespace {

constexpr const char* sample_text = "HELLO, FIRE AND WAVES!  ";  // 24 characters, 192 columns

text_banner new_banner(const char* text = sample_text)
{
    text_banner banner;
    banner_create(banner, text);
    banner_reset(banner);
    return banner;
}

std::string window_row(const text_banner& banner, int r) { return {banner.window[r], window_columns}; }

bool screen_is_clear()
{
    for (screen_cell cell : screen_buffer)
        if (cell) return false;
    return true;
}

TEST(advance_window, slides_in_one_column_a_call_then_fills_from_the_row_start)
{
    text_banner banner = new_banner();
    const std::string row0 = banner.rows[0];

    EXPECT_TRUE(advance_window(banner, false));  // copies nothing
    EXPECT_EQ(window_row(banner, 0), std::string(80, ' '));
    EXPECT_TRUE(advance_window(banner, false));
    EXPECT_EQ(window_row(banner, 0), std::string(79, ' ') + row0[0]);
    for (int call = 3; call <= 80; ++call) EXPECT_TRUE(advance_window(banner, false));
    EXPECT_EQ(banner.slide_column, 0);
    EXPECT_EQ(window_row(banner, 0), " " + row0.substr(0, 79));
    EXPECT_FALSE(advance_window(banner, false));
    EXPECT_EQ(window_row(banner, 0), row0.substr(0, 80));
    EXPECT_EQ(std::string(banner.rows[0]), row0);  // rows turn only for the scroller

    // A narrower slide copies window_width - slide_column columns.
    text_banner narrow = new_banner();
    narrow.slide_column = 50;
    narrow.window_width = 60;
    advance_window(narrow, false);
    EXPECT_EQ(window_row(narrow, 0), std::string(50, ' ') + row0.substr(0, 10) + std::string(20, ' '));
    EXPECT_EQ(narrow.slide_column, 49);
}

TEST(banner_reset, turns_the_rows_back_and_slides_the_text_in_again)
{
    text_banner banner = new_banner();
    const std::string row0 = banner.rows[0];
    for (int call = 0; call < 500; ++call) advance_window(banner, true);  // 80 slide, then 420 turns
    ASSERT_NE(std::string(banner.rows[0]), row0);
    banner_reset(banner);
    EXPECT_EQ(std::string(banner.rows[0]), row0);
    EXPECT_EQ(window_row(banner, 0), std::string(window_columns, ' '));
    EXPECT_TRUE(advance_window(banner, false));  // sliding in again
}

TEST(draw_banner, the_81st_call_is_the_first_that_draws)
{
    text_banner banner = new_banner();
    clear_screen();
    for (int call = 1; call <= 80; ++call) draw_banner(banner, 8, 15, 7);
    EXPECT_TRUE(screen_is_clear());

    for (int call = 81; call <= 82; ++call) {  // an arrived banner draws the same every call
        clear_screen();
        draw_banner(banner, 8, 15, 7);
        for (int row = 0; row < 25; ++row) {
            for (int c = 0; c < 80; ++c) {
                const char ch = row >= 8 && row < 14 ? banner.rows[row - 8][c] : ' ';
                const screen_cell expected = ch == ' ' ? 0 : make_cell(ch, 15, 7);
                ASSERT_EQ(screen_buffer[row * 80 + c], expected) << call << " " << row << " " << c;
            }
        }
    }
}

TEST(burn_banner, heats_only_the_blocks_under_ink_and_nothing_while_sliding)
{
    text_banner banner = new_banner();
    std::memset(fire_field, 7, sizeof fire_field);
    for (int call = 1; call <= 80; ++call) burn_banner(banner, fire_field, 8, '$');
    for (std::uint8_t heat : fire_field) ASSERT_EQ(heat, 7);

    burn_banner(banner, fire_field, 8, '#');  // an ink that does not occur
    for (std::uint8_t heat : fire_field) ASSERT_EQ(heat, 7);

    burn_banner(banner, fire_field, 8, '$');
    int hot = 0;
    for (int y = 0; y < fire_height; ++y) {
        for (int x = 0; x < fire_width; ++x) {
            const int text_row = y / 2 - 8;
            const bool ink = text_row >= 0 && text_row < 6 && banner.window[text_row][x / 3] == '$';
            ASSERT_EQ(fire_field[y * fire_width + x], ink ? 255 : 7) << y << " " << x;
            hot += ink;
        }
    }
    EXPECT_GT(hot, 0);
}

TEST(wave_scroll, rows_return_after_n_minus_1_full_steps)
{
    text_banner banner = new_banner();
    banner.slide_column = 0;
    std::vector<std::string> before(banner.rows, banner.rows + banner_rows);
    const std::size_t n = before[0].size();

    wave_scroll(banner, 10, 20, 8, 11, 9);
    for (int r = 0; r < banner_rows; ++r) {
        const std::string& b = before[r];
        EXPECT_EQ(std::string(banner.rows[r]), b.substr(1, n - 2) + b[0] + b[n - 1]) << r;
        EXPECT_EQ(window_row(banner, r), b.substr(0, 80));  // the window is filled before the turn
    }
    for (std::size_t step = 2; step < n; ++step) wave_scroll(banner, 10, 20, 8, 11, 9);
    for (int r = 0; r < banner_rows; ++r) EXPECT_EQ(std::string(banner.rows[r]), before[r]) << r;
}

TEST(wave_scroll, slides_in_then_moves_one_column_a_call)
{
    text_banner banner = new_banner();
    const std::string row0 = banner.rows[0];
    for (int call = 1; call <= 80; ++call) wave_scroll(banner, 10, 20, 8, 11, 9);
    EXPECT_EQ(window_row(banner, 0), " " + row0.substr(0, 79));
    wave_scroll(banner, 10, 20, 8, 11, 9);
    EXPECT_EQ(window_row(banner, 0), row0.substr(0, 80));
    wave_scroll(banner, 10, 20, 8, 11, 9);
    EXPECT_EQ(window_row(banner, 0), row0.substr(1, 80));
}

TEST(wave_scroll, first_drawing_uses_phase_one_and_never_column_79)
{
    text_banner banner = new_banner("HHHHHHHHHHHH");  // ink in column 0 of glyph rows 0 and 1
    banner.slide_column = 0;
    wave_reset();
    clear_screen();
    wave_scroll(banner, 10, 20, 8, 11, 9);
    EXPECT_EQ(wave_phase, 1.0);
    // Column 0 sits at trunc(10 + 8 sin(-1 / 20)) = 9; with phase 0 it would be 10.
    EXPECT_EQ(screen_buffer[8 * 80], 0);
    EXPECT_EQ(screen_buffer[9 * 80], make_cell('$', 11, 9));
    EXPECT_EQ(screen_buffer[9 * 80], 0x9B24);

    // Every column is drawn in one piece at its own height; column 79 never.
    text_banner solid = new_banner("MMMMMMMMMMMMMMMM");  // M row 2 is all ink
    for (int call = 0; call < 400; ++call) {
        clear_screen();
        wave_scroll(solid, 10, 20, 8, 11, 9);
        for (int row = 0; row < 25; ++row) ASSERT_EQ(screen_buffer[row * 80 + 79], 0) << call;
        if (call < 80) continue;
        for (int x = 0; x < 79; ++x) {
            if (solid.window[2][x] != '$') continue;  // the blank column between letters
            const int y = static_cast<int>(10 + 8 * std::sin(x * 0.5 / 20 - wave_phase / 20));
            ASSERT_EQ(screen_buffer[(y + 2) * 80 + x], make_cell('$', 11, 9)) << call << " " << x;
        }
    }
}

}  // namespace
