#include "effects/sine_bars.h"

sine_bars_layer sine_bars[bars_layers];

void bars_init(int, double) {}
void bars_draw_back(int) {}
void bars_draw_front(int) {}
