// Writes the page's glyphs: the 256 characters of the default code page as the
// picture writer draws them (the font read by font_load, the cells drawn by
// draw_screen_image), so that the canvas and --png show the same pixels.
// 256 glyphs of 16 rows, top first; a row is a little-endian 16-bit value
// whose bit 8 is the left pixel and bit 0 the ninth.
// Usage: glyph_sheet FONT.hex OUTPUT
#include <cstdio>

#include "capture/cell_font.h"
#include "capture/screen_image.h"
#include "render/codepages.h"

namespace {

constexpr int glyph_count = 256;
constexpr int lit = 1;  // the foreground colour the glyphs are drawn in

cell_font font;
screen_cell cells[screen_cells];
std::uint8_t pixels[image_pixels];
unsigned char sheet[glyph_count * cell_pixel_height * 2];

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: glyph_sheet FONT.hex OUTPUT\n", stderr);
        return 2;
    }
    char why[512];
    if (!font_load(font, argv[1], default_codepage, why, sizeof why)) {
        std::fprintf(stderr, "glyph_sheet: %s\n", why);
        return 1;
    }
    for (int c = 0; c < glyph_count; ++c) cells[c] = make_cell(static_cast<std::uint8_t>(c), lit, 0);
    draw_screen_image(font, cells, pixels);
    for (int c = 0; c < glyph_count; ++c) {
        const int top = c / screen_width * cell_pixel_height;
        const int left = c % screen_width * cell_pixel_width;
        for (int y = 0; y < cell_pixel_height; ++y) {
            unsigned bits = 0;
            for (int x = 0; x < cell_pixel_width; ++x)
                bits = bits << 1 | (pixels[(top + y) * image_width + left + x] == lit ? 1u : 0u);
            unsigned char* out = sheet + (c * cell_pixel_height + y) * 2;
            out[0] = static_cast<unsigned char>(bits & 0xFF);
            out[1] = static_cast<unsigned char>(bits >> 8);
        }
    }
    std::FILE* f = std::fopen(argv[2], "wb");
    const bool ok = f && std::fwrite(sheet, 1, sizeof sheet, f) == sizeof sheet;
    if (!f || std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "glyph_sheet: cannot write '%s'\n", argv[2]);
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
