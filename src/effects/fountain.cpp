#include "effects/fountain.h"

void fountain_init(fountain&) {}
void fountain_frame(fountain&, int) {}
