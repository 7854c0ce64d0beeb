// The terminal backend: takes over the user's terminal (alternate screen,
// hidden cursor, raw keys), shows frames as changed cells in UTF-8 and SGR
// colours, and gives the terminal back exactly as found on every way out.
#pragma once

#include "platform/platform.h"

struct terminal_options {
    int codepage = 437;  // 437, 850 or 865: how character bytes become Unicode
    int color = 0;       // 0 choose from COLORTERM, else 16, 256 or 24 (truecolor)
};

// Takes over standard input and output and fills api (music from music.h).
// False, with a reason in why, when there is no usable terminal.
bool terminal_platform(platform_api& api, const terminal_options& options, const char** why);
