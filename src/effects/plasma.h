// Full-screen colour plasma of 'O's from three sine waves that drift with the
// frame clock. No state: one call draws one frame over all 2000 cells.
#pragma once
#include <cstdint>

// Overwrites every cell; frame_deadline is the pacing clock in ms.
void plasma_frame(std::uint32_t frame_deadline);
