#include "text/text_banner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "text/big_font.h"

namespace {

std::string glyph_row(std::uint8_t c, int r) { return find_glyph(c)->rows[r]; }

TEST(big_font, has_45_glyphs_of_eight_ink_or_space_columns)
{
    int glyphs = 0;
    for (int c = 0; c < 256; ++c) {
        const big_glyph* glyph = find_glyph(static_cast<std::uint8_t>(c));
        if (!glyph) continue;
        ++glyphs;
        EXPECT_EQ(glyph->character, c);
        for (const auto& row : glyph->rows) {
            const std::string s = row;
            EXPECT_EQ(s.size(), 8u) << c;
            EXPECT_EQ(s.find_first_not_of("$ "), std::string::npos) << c;
            EXPECT_EQ(s.back(), ' ') << c;
        }
    }
    EXPECT_EQ(glyphs, big_font_size);
}

TEST(big_font, capitals_only_with_the_three_norwegian_ones)
{
    for (int c : std::initializer_list<int>{'A', 'Z', '0', '9', ' ', '!', '+', ',', '.', '?', 0xC5, 0xC6, 0xD8})
        EXPECT_NE(find_glyph(static_cast<std::uint8_t>(c)), nullptr) << c;
    for (int c : std::initializer_list<int>{'a', 'z', '-', ':', '\'', 0xE5, 0xE6, 0xF8, 0x00})
        EXPECT_EQ(find_glyph(static_cast<std::uint8_t>(c)), nullptr) << c;
    // Two of the irregular glyphs, as drawn.
    EXPECT_EQ(glyph_row('I', 1), "        ");
    EXPECT_EQ(glyph_row('A', 0), "$$      ");
}

TEST(text_banner, rows_are_the_glyph_rows_side_by_side)
{
    text_banner banner;
    banner_create(banner, "AZ");
    for (int r = 0; r < banner_rows; ++r)
        EXPECT_EQ(std::string(banner.rows[r]), glyph_row('A', r) + glyph_row('Z', r)) << r;
    EXPECT_STREQ(banner.text, "AZ");
    for (const auto& row : banner.window)
        EXPECT_EQ(std::string(row, window_columns), std::string(window_columns, ' '));

    text_banner lower;
    banner_create(lower, "az");
    EXPECT_STREQ(lower.text, "AZ");  // upper-cased in place
    for (int r = 0; r < banner_rows; ++r) EXPECT_STREQ(lower.rows[r], banner.rows[r]);
}

TEST(text_banner, only_ascii_letters_are_upper_cased_and_missing_glyphs_stay_blank)
{
    text_banner banner;
    banner_create(banner, "\xC5\xE5-x ");
    EXPECT_STREQ(banner.text, "\xC5\xE5-X ");  // 0xE5 is not turned into 0xC5
    for (int r = 0; r < banner_rows; ++r) {
        const std::string row = banner.rows[r];
        ASSERT_EQ(row.size(), 40u);
        EXPECT_EQ(row.substr(0, 8), glyph_row(0xC5, r));
        EXPECT_EQ(row.substr(8, 16), std::string(16, ' '));  // 0xE5 and '-' have no glyph
        EXPECT_EQ(row.substr(24, 8), glyph_row('X', r));
        EXPECT_EQ(row.substr(32), std::string(8, ' '));
    }

    text_banner empty;
    banner_create(empty, "");
    for (const char* row : empty.rows) EXPECT_STREQ(row, "");
}

}  // namespace
