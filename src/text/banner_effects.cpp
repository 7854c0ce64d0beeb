#include "text/banner_effects.h"

double wave_phase = 0.0;

bool advance_window(text_banner&, bool) { return true; }
void draw_banner(text_banner&, int, int, int) {}
void burn_banner(text_banner&, std::uint8_t*, int, std::uint8_t) {}
void wave_scroll(text_banner&, int, int, int, int, int) {}
