// Big-letter banners: a line of text rendered once, at start-up, into six rows
// of 8-column glyphs of '$' on spaces, with an 80-column window onto them that
// the banner effects fill and show.
#pragma once
#include <cstdint>

#include "render/ascii_render.h"

inline constexpr int banner_rows = 6;
inline constexpr int window_columns = screen_width;

struct text_banner {
    char* text;                                // own copy; a-z upper-cased in place by render_rows
    char* rows[banner_rows];                   // 8 x strlen(text) characters each, '$' or space
    char window[banner_rows][window_columns];  // what is shown; no terminators
    std::int32_t slide_column;                 // window column where the sliding text begins; <= 0: arrived
    std::int32_t window_width;                 // right edge (exclusive) of a slide step's copy, <= 80
    std::int32_t turns;                        // the rows' turns left since rendered, 0 .. N - 2 (N: row length)
};

// Copies text (out-of-memory exit on failure), clears the window and renders
// the rows. Leaves slide_column and window_width for the creator to set.
// Once per banner at start-up; nothing is ever freed.
void banner_create(text_banner& banner, const char* text);
// Sets all 6 x 80 window characters to spaces; touches nothing else.
void clear_window(text_banner& banner);
// Turns the rows back as rendered, clears the window and sets the text to
// slide in again from the right edge (slide_column and window_width at
// window_columns). After banner_create, and whenever the show re-runs from
// its start.
void banner_reset(text_banner& banner);
// Builds the six rows from text with the big font, upper-casing a-z of text
// in place (bytes 0x80-0xFF untouched). A character without a glyph keeps its
// eight columns blank. Working storage failing throws std::bad_alloc; a row
// copy failing takes the out-of-memory exit. Once per banner.
void render_rows(text_banner& banner);
