// Systems without the Linux console: a terminal that says it is one is that
// console reached over the network, whose font cannot be read from here.
#include "host/unix/console_font.h"

bool console_font_read(int, glyph_set&) { return false; }

const glyph_set& console_font_glyphs(int)
{
    static glyph_set font;
    glyph_set_common(font);
    return font;
}
