// The big-letter font: 45 glyphs of six rows by eight columns, '$' ink on
// spaces, row 0 at the top. The eighth column is always blank, so neighbouring
// letters keep one column apart. Capitals only; no lower case.
#pragma once
#include <cstdint>

inline constexpr int glyph_height = 6;
inline constexpr int glyph_width = 8;
inline constexpr int big_font_size = 45;
inline constexpr char glyph_ink = '$';

struct big_glyph {
    std::uint8_t character;                    // the byte it draws (Windows-1252 for 0xC5, 0xC6, 0xD8)
    char rows[glyph_height][glyph_width + 1];  // exactly 8 characters each, zero-terminated
};

// The whole font in byte order: space ! + , . 0-9 ? A-Z and the capitals
// 0xC5, 0xC6, 0xD8. Several glyphs are irregular on purpose (A, D, I, P, R, Y).
extern const big_glyph big_font[big_font_size];

// The glyph for byte c, or nullptr when the font has none (lower case,
// 0xE5, 0xE6, 0xF8 and most punctuation among them).
const big_glyph* find_glyph(std::uint8_t c);
