#include "effects/plasma.h"

void plasma_frame(std::uint32_t) {}
