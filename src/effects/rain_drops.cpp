#include "effects/rain_drops.h"

void drops_init(rain_drops&) {}
void drops_frame(rain_drops&) {}
