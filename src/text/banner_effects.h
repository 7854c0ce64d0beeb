// Per-frame effects on a text banner: shown flat, burnt into the fire, or
// scrolled along a sine wave. Each starts with the window step, which first
// slides the letters in from the right (one column a call, 80 calls for a new
// banner) and then keeps the window filled from the start of the rows.
// The rows must be at least 80 characters long (texts of 10 or more).
#pragma once
#include <cstdint>

#include "text/text_banner.h"

extern double wave_phase;  // the scroller's phase; +1.0 per call, 0 again only by wave_reset

// The scroller's phase back to 0, as at start-up; when the show re-runs.
void wave_reset();

// The window step shared by the effects. Sliding (slide_column >= 1): copies
// the first window_width - slide_column row columns to window column
// slide_column on, then slide_column - 1; returns true. Arrived: copies row
// columns 0..79 into the window and, when rotate is set, turns the first N - 1
// characters of every row left by one (N the row length) and counts the turn
// in turns; returns false.
bool advance_window(text_banner& banner, bool rotate);
// Draws the 6 x 80 window flat at screen rows top..top+5 in foreground on
// background, spaces transparent; nothing while sliding. Once a frame.
void draw_banner(text_banner& banner, int top, int foreground, int background);
// Sets the six heat bytes of the 240 x 50 fire field block under every window
// cell equal to ink to 255; nothing while sliding. Once a frame.
void burn_banner(text_banner& banner, std::uint8_t* field, int top, std::uint8_t ink);
// Scrolls the letters left one column a call (rotating the rows once arrived)
// and draws window columns 0..78 (never 79), each column's six rows shifted
// to centre + amplitude * sin(x * 0.5 / divisor - wave_phase / divisor),
// truncated, in double. wave_phase grows by 1.0 first. Divisor not 0.
void wave_scroll(text_banner& banner, int centre, int divisor, int amplitude, int foreground,
                 int background);
