#include "render/ascii_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "scratch_dir.h"

namespace {

struct fixed_row {
    int row;
    const char* text;
};

// The rows every reader of these pictures relies on, as they must stand.
const fixed_row start_fixed[] = {
    {5, "....8...8.8.88888.....888..8....88888......88888.8...8.88888.88888.8888........."},
    {6, "....8...8.8...8......8...8.8......8....8...8.....88..8...8...8.....8...8........"},
    {7, "....88888.8...8......88888.8......8..88888.8888..8.8.8...8...8888..8888........."},
    {8, "....8...8.8...8......8...8.8......8....8...8.....8..88...8...8.....8...8........"},
    {9, "....8...8.8...8......8...8.88888..8........88888.8...8...8...88888.8...8........"},
    {12, "........88888.8...8.88888.8...8.....88888..8888...888...8888.88888.............."},
    {13, "..........8...8...8.8.....88..8....8.......8...8.8...8.8.....8.................."},
    {14, "..........8...88888.8888..8.8.8.....88888..8888..88888.8.....8888..............."},
    {15, "..........8...8...8.8.....8..88..........8.8.....8...8.8.....8.................."},
    {16, "..........8...8...8.88888.8...8.....88888..8.....8...8..8888.88888.............."},
};
const fixed_row word_jeg_fixed[] = {
    {1, "........99..99999...9999........................................................"},
    {2, ".......99..99.....99............................................................"},
    {3, "......99..9999...99.9999........................................................"},
    {4, ".99..99..99.....99...99........................................................."},
    {5, "..9999..99999....9999..........................................................."},
};
const fixed_row word_ser_fixed[] = {
    {10, ".....................................................99999...999999..99999......"},
    {11, ".....................................................99.......99......99..99...."},
    {12, ".......................................................99999...99999...99999...."},
    {13, "............................................................99..99......99..99.."},
    {14, ".........................................................99999...999999..99...99"},
};
const fixed_row word_horer_fixed[] = {
    {19, ".....99...99...9999....99999....999999..999999.................................."},
    {20, "....99...99..99...99..99..99...99......99...99.................................."},
    {21, "...9999999..99...99..99999....99999...999999...................................."},
    {22, "..99...99..99...99..99..99...99......99...99...................................."},
    {23, ".99...99....9999...99....99.999999..99.....99..................................."},
};
const fixed_row title_fixed[] = {
    {14, "............................8888888888...8888...8888888888.....88888888888......"},
    {15, "...........................8888888888...8888...888888888888...88888888888......."},
    {16, "...........................8888.........8888...8888.....8888..8888.............."},
    {17, "...........................8888.........8888...8888....8888...8888.............."},
    {18, "...........................888888888....8888...8888..8888.....888888888........."},
    {19, "...........................88888888.....8888...8888...8888....8888888..........."},
    {20, "...........................8888.........8888...8888....8888...8888.............."},
    {21, "...........................8888.........8888...8888.....8888..888888888888......"},
    {22, "..........................8888.........8888...8888.......8888.88888888888......."},
};

struct named_picture {
    const char* name;
    const ascii_picture* picture;
    std::size_t row_length;
};

const named_picture pictures[] = {
    {"start", &start_picture, 80},          {"title", &title_picture, 80},
    {"word_jeg", &word_jeg_picture, 80},    {"word_ser", &word_ser_picture, 80},
    {"word_horer", &word_horer_picture, 80}, {"credit_first", &credit_first_picture, 79},
    {"credit_second", &credit_second_picture, 79}, {"logo", &logo_picture, 80},
};

class pictures_test : public testing::Test {
protected:
    void SetUp() override { picture_setup(); }
};

bool is_blank(const char* row)
{
    for (int c = 0; row[c] != 0; ++c)
        if (row[c] != '.') return false;
    return true;
}

// Every row not listed must be blank.
void expect_rows(const ascii_picture& picture, const fixed_row* fixed, std::size_t count)
{
    std::set<int> listed;
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_STREQ(picture.rows[fixed[i].row], fixed[i].text) << "row " << fixed[i].row;
        listed.insert(fixed[i].row);
    }
    for (int r = 0; r < screen_height; ++r)
        if (!listed.count(r)) {
            EXPECT_TRUE(is_blank(picture.rows[r])) << "row " << r;
        }
}

// The smallest box of rows and columns holding every cell that is not '.'.
struct ink_box {
    int top = screen_height, bottom = -1, left = screen_width, right = -1;
};

ink_box ink_of(const ascii_picture& picture, int first_row, int last_row)
{
    ink_box box;
    for (int r = first_row; r <= last_row; ++r)
        for (int c = 0; picture.rows[r][c] != 0; ++c)
            if (picture.rows[r][c] != '.') {
                box.top = std::min(box.top, r), box.bottom = std::max(box.bottom, r);
                box.left = std::min(box.left, c), box.right = std::max(box.right, c);
            }
    return box;
}

std::set<char> characters_of(const ascii_picture& picture)
{
    std::set<char> used;
    for (const char* row : picture.rows)
        for (int c = 0; row[c] != 0; ++c) used.insert(row[c]);
    return used;
}

TEST_F(pictures_test, fixed_rows_stand_as_given_and_the_rest_is_blank)
{
    expect_rows(start_picture, start_fixed, std::size(start_fixed));
    expect_rows(word_jeg_picture, word_jeg_fixed, std::size(word_jeg_fixed));
    expect_rows(word_ser_picture, word_ser_fixed, std::size(word_ser_fixed));
    expect_rows(word_horer_picture, word_horer_fixed, std::size(word_horer_fixed));
    for (const fixed_row& fixed : title_fixed) EXPECT_STREQ(title_picture.rows[fixed.row], fixed.text);
    for (int r : {0, 1, 2, 3, 4, 12, 13, 23, 24}) EXPECT_TRUE(is_blank(title_picture.rows[r])) << r;
}

TEST_F(pictures_test, rows_are_80_long_or_79_in_the_credits_and_shared)
{
    const char* blank80 = start_picture.rows[0];
    const char* blank79 = credit_first_picture.rows[0];
    for (const named_picture& p : pictures)
        for (int r = 0; r < screen_height; ++r) {
            const char* row = p.picture->rows[r];
            ASSERT_EQ(std::strlen(row), p.row_length) << p.name << " row " << r;
            if (is_blank(row)) {
                EXPECT_EQ(row, p.row_length == 80 ? blank80 : blank79) << p.name << " row " << r;
            }
        }
    EXPECT_EQ(title_picture.rows[5], title_picture.rows[6]);  // the bar over the title
}

TEST_F(pictures_test, title_logo_keeps_to_its_rows_and_columns)
{
    const std::string bar = "...." + std::string(11, '8') + std::string(65, '.');
    EXPECT_EQ(title_picture.rows[5], bar);
    EXPECT_EQ(title_picture.rows[6], bar);
    const ink_box word = ink_of(title_picture, 7, 11);
    EXPECT_EQ(word.top, 7);
    EXPECT_EQ(word.bottom, 11);
    EXPECT_EQ(word.left, 4);
    EXPECT_EQ(word.right, 68);
    EXPECT_EQ(characters_of(title_picture), (std::set<char>{'.', '8'}));
}

TEST_F(pictures_test, credits_and_logo_keep_to_their_rows_columns_and_characters)
{
    EXPECT_EQ(characters_of(credit_first_picture), (std::set<char>{'.', '#', ':'}));
    const ink_box name = ink_of(credit_first_picture, 5, 16);
    EXPECT_EQ(name.top, 5);
    EXPECT_EQ(name.left, 0);
    EXPECT_EQ(name.right, 78);
    const ink_box lower = ink_of(credit_first_picture, 17, 24);
    EXPECT_EQ(lower.bottom, 20);
    for (int r = 17; r <= 20; ++r)  // the descender left of the role word, which is all '#'
        for (int c = 0; c < 79; ++c) {
            const char ch = credit_first_picture.rows[r][c];
            if (c >= 46) {
                EXPECT_TRUE(ch == '.' || (ch == '#' && r >= 18 && c <= 73)) << r << " " << c;
            } else if (ch != '.') {
                EXPECT_LE(r, 19) << r << " " << c;
            }
        }
    const ink_box role = ink_of(credit_first_picture, 18, 20);
    EXPECT_EQ(role.right, 73);

    EXPECT_EQ(characters_of(credit_second_picture), (std::set<char>{'.', '#'}));
    const ink_box second = ink_of(credit_second_picture, 0, 15);
    EXPECT_EQ(second.top, 5);
    EXPECT_EQ(second.left, 2);
    EXPECT_EQ(second.right, 75);
    EXPECT_TRUE(is_blank(credit_second_picture.rows[16]));
    const ink_box music = ink_of(credit_second_picture, 16, 24);
    EXPECT_EQ(music.top, 17);
    EXPECT_EQ(music.bottom, 19);
    EXPECT_EQ(music.left, 52);
    EXPECT_EQ(music.right, 72);

    EXPECT_EQ(characters_of(logo_picture), (std::set<char>{'.', 'o', '8', '#'}));
    const ink_box logo = ink_of(logo_picture, 0, 24);
    EXPECT_EQ(logo.top, 0);
    EXPECT_EQ(logo.bottom, 23);
    EXPECT_GE(logo.left, 6);
    EXPECT_LE(logo.right, 65);
    int hashes = 0;
    for (const char* row : logo_picture.rows) hashes += static_cast<int>(std::count(row, row + 80, '#'));
    EXPECT_EQ(hashes, 2);
}

TEST_F(pictures_test, start_picture_in_white_leaves_dots_untouched)
{
    clear_screen();
    draw_picture(start_picture, 15, 0, '.');
    for (int r = 0; r < screen_height; ++r)
        for (int c = 0; c < screen_width; ++c)
            ASSERT_EQ(screen_buffer[r * 80 + c], start_picture.rows[r][c] == '8' ? 0x0F38 : 0) << r << " " << c;
}

TEST_F(pictures_test, title_as_a_black_mask_keeps_only_the_cells_under_its_letters)
{
    for (int i = 0; i < screen_cells; ++i) screen_buffer[i] = static_cast<screen_cell>(0x4100 + i);
    draw_picture(title_picture, 0, 0, '8');
    int kept = 0;
    for (int r = 0; r < screen_height; ++r)
        for (int c = 0; c < screen_width; ++c) {
            const int i = r * 80 + c;
            const bool ink = title_picture.rows[r][c] == '8';
            ASSERT_EQ(screen_buffer[i], ink ? 0x4100 + i : 0x002E) << r << " " << c;
            kept += ink;
        }
    EXPECT_GT(kept, 300);
}

TEST_F(pictures_test, credits_draw_character_0_in_column_79)
{
    for (const ascii_picture* credit : {&credit_first_picture, &credit_second_picture}) {
        clear_screen();
        draw_picture(*credit, 15, 0, '.');
        for (int r = 0; r < screen_height; ++r) EXPECT_EQ(screen_buffer[r * 80 + 79], 0x0F00) << r;
        // The next row starts where it should: column 0 is the row's first character.
        EXPECT_EQ(screen_buffer[5 * 80], credit->rows[5][0] == '.' ? 0 : 0x0F00 | credit->rows[5][0]);
    }
}

TEST_F(pictures_test, drawing_twice_is_drawing_once)
{
    for (const named_picture& p : pictures) {
        clear_screen();
        draw_picture(*p.picture, 14, 1, '.');
        std::vector<screen_cell> once(std::begin(screen_buffer), std::end(screen_buffer));
        draw_picture(*p.picture, 14, 1, '.');
        EXPECT_TRUE(std::equal(once.begin(), once.end(), screen_buffer)) << p.name;
    }
}

TEST_F(pictures_test, pictures_file_holds_the_first_80_bytes_of_every_row)
{
    const scratch_dir scratch("pictures");
    const std::string path = scratch / "pictures.bin";
    ASSERT_TRUE(write_pictures_file(path.c_str()));
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bytes.size(), 16000u);
    std::string expected;
    for (const named_picture& p : pictures)
        for (const char* row : p.picture->rows) expected.append(row, 80);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(bytes[5 * 2000 + 79], '\0');  // a credit row ends with byte 0
    EXPECT_EQ(bytes.substr(1 * 2000 + 14 * 80, 80), title_fixed[0].text);
}

TEST_F(pictures_test, pictures_file_reports_write_errors)
{
    EXPECT_FALSE(write_pictures_file("/nonexistent-directory/pictures.bin"));
    EXPECT_FALSE(write_pictures_file("/dev/full"));  // the data is buffered: fails on close
}

}  // namespace
