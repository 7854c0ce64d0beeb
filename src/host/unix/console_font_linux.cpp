// The Linux console's font, read from the kernel: its unicode map lists
// every code point the font draws and the glyph that draws it.
#include "host/unix/console_font.h"

#include <linux/kd.h>
#include <sys/ioctl.h>

#include <cstring>

namespace {

// Room for as many entries as the map's count can say: never too few.
unipair entries[65535];

}  // namespace

bool console_font_read(int fd, glyph_set& set)
{
    unimapdesc map{};
    map.entry_ct = static_cast<unsigned short>(sizeof entries / sizeof entries[0]);
    map.entries = entries;
    if (ioctl(fd, GIO_UNIMAP, &map) != 0 || map.entry_ct == 0) return false;
    std::memset(set.bits, 0, sizeof set.bits);
    for (int i = 0; i < map.entry_ct; ++i) glyph_set_add(set, entries[i].unicode);
    return true;
}

const glyph_set& console_font_glyphs(int fd)
{
    static glyph_set font;
    if (!console_font_read(fd, font)) glyph_set_common(font);
    return font;
}
