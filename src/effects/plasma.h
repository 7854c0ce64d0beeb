// Full-screen colour plasma of 'O's from three sine waves that drift with the
// frame clock. No state: one call draws one frame over all 2000 cells.
#pragma once
#include <cstdint>

// Overwrites every cell with 'O' in a foreground colour 0..15 on black, taken
// from two row waves (clock / 42 and / 58 ms) and one column wave (clock / frame_ms).
// Called once a frame by the plasma scenes; frame_deadline is the pacing clock in ms.
void plasma_frame(std::uint32_t frame_deadline);
