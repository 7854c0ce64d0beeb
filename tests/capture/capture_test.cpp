// The font reader and the cell-to-pixel rules of captured pictures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "capture/cell_font.h"
#include "capture/screen_image.h"
#include "scratch_dir.h"

namespace {

std::string write_temp(const scratch_dir& dir, const char* name, const std::string& text)
{
    const std::string path = dir / name;
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    return path;
}

TEST(font_load, unifont_covers_the_three_code_pages_with_console_shapes)
{
    static cell_font font;
    char why[512] = "";
    for (int codepage : {437, 865, 850}) {
        ASSERT_TRUE(font_load(font, default_font_path, codepage, why, sizeof why)) << why;
        for (int r = 0; r < glyph_height; ++r) {
            EXPECT_EQ(font.rows[0xDB][r], 0xFF) << "full block, row " << r;
            EXPECT_EQ(font.rows[0x00][r], 0x00) << "byte 0 is blank, row " << r;
        }
        EXPECT_EQ(font.rows[0xB1][0], 0xAA);  // medium shade: alternate pixels
        EXPECT_EQ(font.rows[0xB1][1], 0x55);
    }
    // Code page 850's soft hyphen (0xF0) looks like the hyphen, not a wide picture of its name.
    EXPECT_EQ(std::memcmp(font.rows[0xF0], font.rows['-'], glyph_height), 0);
}

TEST(font_load, names_the_file_and_what_is_wrong)
{
    static cell_font font;
    char why[512] = "";
    EXPECT_FALSE(font_load(font, "/nonexistent/font.hex", 437, why, sizeof why));
    EXPECT_NE(std::strstr(why, "/nonexistent/font.hex"), nullptr) << why;

    const scratch_dir dir("font");
    const std::string words = write_temp(dir, "words.hex", "0041:not hex at all\n");
    EXPECT_FALSE(font_load(font, words.c_str(), 437, why, sizeof why));
    EXPECT_NE(std::strstr(why, "is not a font"), nullptr) << why;

    const std::string one = write_temp(dir, "one.hex", "0041:0000000018242442427E424242420000\n");
    EXPECT_FALSE(font_load(font, one.c_str(), 437, why, sizeof why));
    EXPECT_NE(std::strstr(why, "no 8 x 16 glyph for U+0020 (byte 0x00 of code page 437)"), nullptr) << why;

    // Unifont with a 16-pixel-wide dark shade, which does not fit a cell.
    std::ifstream unifont(default_font_path);
    std::string wide_font, line;
    while (std::getline(unifont, line))
        if (line.rfind("2593:", 0) != 0) wide_font += line + "\n";
    wide_font += "2593:" + std::string(64, 'F') + "\n";
    const std::string wide = write_temp(dir, "wide.hex", wide_font);
    EXPECT_FALSE(font_load(font, wide.c_str(), 437, why, sizeof why));
    EXPECT_NE(std::strstr(why, "no narrow (8 x 16) glyph for U+2593"), nullptr) << why;
}

TEST(draw_screen_image, glyph_left_and_ninth_column_only_for_line_graphics)
{
    static cell_font font;
    std::memset(font.rows, 0, sizeof font.rows);
    for (int b : {0xBF, 0xC0, 0xDF, 0xE0}) std::memset(font.rows[b], 0xFF, glyph_height);
    font.rows['A'][3] = 0x81;  // left and right pixel of one row
    static screen_cell cells[screen_cells] = {};
    cells[0] = make_cell(0xBF, 14, 1);
    cells[1] = make_cell(0xC0, 14, 1);
    cells[2] = make_cell(0xDF, 14, 1);
    cells[3] = make_cell(0xE0, 14, 1);
    cells[screen_cells - 1] = make_cell('A', 15, 12);  // bright background, not blinking
    static std::uint8_t pixels[image_pixels];
    draw_screen_image(font, cells, pixels);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(pixels[y * image_width + 7], 14);
        EXPECT_EQ(pixels[y * image_width + 8], 1) << "0xBF: no ninth column";
        EXPECT_EQ(pixels[y * image_width + 17], 14) << "0xC0 joins its neighbour";
        EXPECT_EQ(pixels[y * image_width + 26], 14) << "0xDF joins its neighbour";
        EXPECT_EQ(pixels[y * image_width + 35], 1) << "0xE0: no ninth column";
    }
    const std::uint8_t* last = pixels + (24 * 16 + 3) * image_width + 79 * 9;
    const std::uint8_t expected[9] = {15, 12, 12, 12, 12, 12, 12, 15, 12};
    EXPECT_EQ(std::memcmp(last, expected, 9), 0);
}

}  // namespace
