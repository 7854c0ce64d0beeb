// The glyphs a VGA text screen draws its cells with: one 8 x 16 bitmap per
// code-page byte, read at start-up from a bitmap font file in GNU Unifont's
// .hex format (plain or gzip-compressed), looked up byte -> Unicode -> glyph.
#pragma once
#include <cstdint>

inline constexpr int glyph_width = 8;
inline constexpr int glyph_height = 16;

// Where Debian's unifont package puts the font.
inline constexpr char default_font_path[] = "/usr/share/unifont/unifont.hex";

struct cell_font {
    std::uint8_t rows[256][glyph_height];  // per byte, top row first; bit 7 is the left pixel
};

// Reads the glyph of every byte of code page 437, 850 or 865 from the font at
// path. False, with one line naming the file and the problem in why (size
// bytes), when the file cannot be read, is not a .hex font, or has no 8 x 16
// glyph for one of the 256 characters.
bool font_load(cell_font& font, const char* path, int codepage, char* why, int size);
