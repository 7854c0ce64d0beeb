// Per-frame effects on a text banner: shown flat, burnt into the fire, or
// scrolled along a sine wave. Each starts with the window step, which first
// slides the letters in from the right and then keeps the window filled.
#pragma once
#include <cstdint>

#include "text/text_banner.h"

extern double wave_phase;  // the scroller's phase; +1.0 per call, never reset

// The window step shared by the effects; rotate applies the scroller's row
// rotation in the full step. True when it made a slide step.
bool advance_window(text_banner& banner, bool rotate);
// Draws the window flat at rows top..top+5; nothing while sliding.
void draw_banner(text_banner& banner, int top, int foreground, int background);
// Sets the fire blocks under the window's ink characters to 255; nothing while sliding.
void burn_banner(text_banner& banner, std::uint8_t* field, int top, std::uint8_t ink);
// Scrolls the letters left one column a call and draws columns 0..78 along a sine.
void wave_scroll(text_banner& banner, int centre, int divisor, int amplitude, int foreground,
                 int background);
