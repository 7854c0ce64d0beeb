// Stand-ins for the glyphs a terminal's font lacks. The Linux console draws
// from a font of 256 or 512 glyphs, and Debian's Latin fonts lack some of the
// code pages' characters (the dark shade, the half blocks, most Greek
// letters); there each such character is sent as the nearest glyph the font
// has, so that every cell keeps its shape instead of showing the font's
// replacement glyph. A terminal in a locale that is not UTF-8 gets ASCII
// look-alikes the same way.
#pragma once
#include <cstdint>

// The code points a font can draw: one bit for each of the Basic Multilingual
// Plane. 8 KiB; set up once, at start-up.
struct glyph_set {
    std::uint64_t bits[65536 / 64];
};

inline bool glyph_set_has(const glyph_set& set, unsigned code_point)
{
    return code_point < 65536 && (set.bits[code_point >> 6] >> (code_point & 63) & 1) != 0;
}

inline void glyph_set_add(glyph_set& set, unsigned code_point)
{
    if (code_point < 65536) set.bits[code_point >> 6] |= std::uint64_t{1} << (code_point & 63);
}

// Every code point but those with stand-ins: the glyphs of the code pages
// common to Debian's console fonts for the Latin alphabets, assumed where the
// console's own font cannot be read (a console reached over ssh).
void glyph_set_common(glyph_set& set);

// ASCII's printable characters, 0x20 to 0x7E: all a terminal shows whose
// locale's character set is not UTF-8.
void glyph_set_ascii(glyph_set& set);

// The code point to send for code_point to a terminal whose font holds the
// glyphs in font: code_point itself where the font has it, else the first of
// its stand-ins that the font has (the last one is ASCII), else, for any
// other character of the code pages, its ASCII look-alike; else code_point.
std::uint16_t glyph_stand_in(std::uint16_t code_point, const glyph_set& font);
