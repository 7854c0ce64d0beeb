#include "capture/screen_image.h"

namespace {

constexpr int line_graphics_first = 0xC0;
constexpr int line_graphics_last = 0xDF;

}  // namespace

void draw_screen_image(const cell_font& font, const screen_cell* cells, std::uint8_t* pixels)
{
    for (int row = 0; row < screen_height; ++row) {
        for (int column = 0; column < screen_width; ++column) {
            const screen_cell cell = cells[row * screen_width + column];
            const int character = cell & 0xFF;
            const std::uint8_t fg = (cell >> 8) & 15;
            const std::uint8_t bg = static_cast<std::uint8_t>(cell >> 12);
            const bool ninth_repeats = character >= line_graphics_first && character <= line_graphics_last;
            for (int y = 0; y < cell_pixel_height; ++y) {
                const int bits = font.rows[character][y];
                std::uint8_t* p = pixels + (row * cell_pixel_height + y) * image_width + column * cell_pixel_width;
                for (int x = 0; x < glyph_width; ++x) p[x] = (bits << x) & 0x80 ? fg : bg;
                p[glyph_width] = ninth_repeats && (bits & 1) ? fg : bg;
            }
        }
    }
}
