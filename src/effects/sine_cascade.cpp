#include "effects/sine_cascade.h"

void cascade_init(sine_cascade&) {}
void cascade_frame(sine_cascade&, int) {}
