// The glyphs of the Linux console's font. Its fonts hold 256 or 512 glyphs,
// and a character the font lacks shows as its replacement glyph; knowing the
// font, the terminal output sends the nearest glyph it has instead.
#pragma once

#include "render/glyph_fallback.h"

// The glyphs of the console on fd, for a terminal that says it is the Linux
// console: its font's unicode map where fd is that console, else (a console
// reached over ssh, or a map that cannot be read) the glyphs common to
// Debian's console fonts. Once, at take-over; the set lives on.
const glyph_set& console_font_glyphs(int fd);

// Reads the unicode map of the Linux console on fd into set. False, with set
// untouched, where fd is no such console or its map cannot be read.
bool console_font_read(int fd, glyph_set& set);
