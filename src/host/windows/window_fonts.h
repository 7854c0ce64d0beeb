// The window's glyphs on Windows, made from Unifont when the program was
// built (cmake/font_source.cpp), so that the program needs no font file
// and no zlib at run time.
#pragma once

#include "capture/cell_font.h"

// Code pages 437, 850 and 865, in that order.
extern const cell_font window_fonts[3];
