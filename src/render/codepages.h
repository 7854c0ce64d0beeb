// The console code pages: what each character byte looks like, as the
// Unicode code point a terminal font draws for it.
#pragma once
#include <cstdint>

// The code page the show's bytes are drawn in unless told otherwise: the
// console's own.
inline constexpr int default_codepage = 437;

// The 256 code points of code page 437, 850 or 865; nullptr for any other
// number. Bytes 1-31 and 127 are the console's picture glyphs (smileys,
// arrows, the house), never control codes; byte 0 is a blank (U+0020).
const std::uint16_t* codepage_table(int codepage);
