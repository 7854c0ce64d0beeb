#include "effects/star_streaks.h"

void streaks_init(star_streaks&) {}
void streaks_frame(star_streaks&) {}
