// The picture on a screen: where each scale puts it in windows of common
// shapes, and the sharp scaling: whole factors copy pixels exactly, other
// factors soften an edge by one output pixel at most and keep its weight.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "capture/picture_scale.h"

namespace {

struct placed {
    picture_scale scale;
    int window_width, window_height;
    int x, y, width, height;
};

TEST(place_picture, keeps_4_to_3_letterboxed_and_whole_multiples_where_asked)
{
    const placed cases[] = {
        {scale_fit, 1920, 1080, 240, 0, 1440, 1080},      // 16:9: bars left and right
        {scale_fit, 1280, 1024, 0, 32, 1280, 960},        // 5:4: bars above and below
        {scale_fit, 1024, 768, 0, 0, 1024, 768},          // 4:3: the whole window
        {scale_integer, 1920, 1080, 426, 140, 1067, 800}, // 800 lines, 1067 x 800
        {scale_integer, 3840, 2160, 586, 80, 2667, 2000},
        {scale_integer, 1000, 900, 233, 250, 533, 400},   // 800 lines are too wide: 400
        {scale_integer, 600, 300, 100, 0, 400, 300},      // under 400 lines: as fit
        {scale_square, 1920, 1080, 240, 140, 1440, 800},
        {scale_square, 700, 500, 0, 55, 700, 389},        // under 720 x 400: the largest 9:5
    };
    for (const placed& c : cases) {
        const picture_place p = place_picture(c.scale, c.window_width, c.window_height);
        EXPECT_EQ(p.x, c.x) << c.window_width << " x " << c.window_height << ", scale " << c.scale;
        EXPECT_EQ(p.y, c.y) << c.window_width << " x " << c.window_height << ", scale " << c.scale;
        EXPECT_EQ(p.width, c.width) << c.window_width << " x " << c.window_height << ", scale " << c.scale;
        EXPECT_EQ(p.height, c.height) << c.window_width << " x " << c.window_height << ", scale " << c.scale;
    }
    const picture_place tiny = place_picture(scale_fit, 1, 1);
    EXPECT_EQ(tiny.width, 1);
    EXPECT_EQ(tiny.height, 1);
    const picture_place huge = place_picture(scale_fit, 20000, 20000);
    EXPECT_LE(huge.width, scaled_max);
    EXPECT_LE(huge.height, scaled_max);
}

// Colour 0 black and colour 15 white, the others a grey of their own.
const std::uint32_t* colours()
{
    static std::uint32_t table[16];
    for (std::uint32_t c = 0; c < 16; ++c) table[c] = (c * 17) * 0x010101u;
    return table;
}

std::vector<std::uint32_t> scaled(picture_scaler& s, const std::vector<std::uint8_t>& picture, int width, int height)
{
    scaler_init(s, width, height);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height);
    scale_picture(s, picture.data(), colours(), out.data(), width * 4);
    return out;
}

picture_scaler scaler;

TEST(scale_picture, whole_factors_repeat_each_pixel_exactly)
{
    std::vector<std::uint8_t> picture(image_pixels);
    for (int i = 0; i < image_pixels; ++i) picture[i] = static_cast<std::uint8_t>(i * 7 % 16);
    const std::vector<std::uint32_t> out = scaled(scaler, picture, 2 * image_width, 3 * image_height);
    for (int y = 0; y < 3 * image_height; ++y)
        for (int x = 0; x < 2 * image_width; ++x)
            ASSERT_EQ(out[y * 2 * image_width + x], colours()[picture[y / 3 * image_width + x / 2]]) << x << ", " << y;
}

TEST(scale_picture, an_edge_between_pixels_is_one_output_pixel_soft_and_keeps_its_weight)
{
    // One white row and one white column on black, at the fit scale of a
    // 1080-line screen: 2.7 lines a row, 2 pixels a column.
    std::vector<std::uint8_t> picture(image_pixels, 0);
    const int row = 201, column = 333;
    for (int x = 0; x < image_width; ++x) picture[row * image_width + x] = 15;
    for (int y = 0; y < image_height; ++y) picture[y * image_width + column] = 15;
    const int width = 1440, height = 1080;
    const std::vector<std::uint32_t> out = scaled(scaler, picture, width, height);
    // Down a column away from the white one: full white rows, at most one
    // mixed row at each edge, and the white's weight is 2.7 rows.
    int lit = 0, mixed = 0, weight = 0;
    for (int y = 0; y < height; ++y) {
        const int level = static_cast<int>(out[y * width + 10] & 0xFF);
        lit += level == 255;
        mixed += level != 0 && level != 255;
        weight += level;
    }
    EXPECT_EQ(lit, 2);
    EXPECT_LE(mixed, 2);
    EXPECT_NEAR(weight, 2.7 * 255, 2);
    // Across a row away from the white one: exactly two white pixels.
    int across = 0;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t pixel = out[10 * width + x];
        EXPECT_TRUE(pixel == 0 || pixel == 0xFFFFFF) << x;
        across += pixel == 0xFFFFFF;
    }
    EXPECT_EQ(across, 2);
    // A flat field stays exactly its colour, mixed or not.
    std::vector<std::uint8_t> flat(image_pixels, 9);
    for (const std::uint32_t pixel : scaled(scaler, flat, 1067, 800)) ASSERT_EQ(pixel, colours()[9]);
}

}  // namespace
