// Cells to pixels, as a VGA text screen shows them: 9 x 16 pixels a cell
// (720 x 400 for the grid), the glyph in the left 8 columns in the
// foreground colour, the rest in the background colour. A pixel is a console
// colour number (0-15); console_rgb says what it looks like. The ninth column repeats the eighth for the
// line-drawing bytes 0xC0-0xDF, so that their lines join, and is background
// for every other byte.
#pragma once
#include <cstdint>

#include "capture/cell_font.h"
#include "render/ascii_render.h"

inline constexpr int cell_pixel_width = 9;
inline constexpr int cell_pixel_height = glyph_height;
inline constexpr int image_width = screen_width * cell_pixel_width;     // 720
inline constexpr int image_height = screen_height * cell_pixel_height;  // 400
inline constexpr int image_pixels = image_width * image_height;

// Draws the 80 x 25 cells into pixels (image_pixels colour numbers, rows top
// first). Background colours 8-15 are bright, not blinking.
void draw_screen_image(const cell_font& font, const screen_cell* cells, std::uint8_t* pixels);
