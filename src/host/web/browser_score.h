// The built-in score for a web page: rendered here ahead of time, a piece at
// a time, which the page schedules as sound buffers one after another.
#pragma once
#include <cstdint>

inline constexpr std::uint32_t browser_score_piece = 4096;  // frames at most a call (93 ms)

// Renders the score's next frames (at most browser_score_piece; silence past
// its end) into a buffer of stereo interleaved 16-bit samples, and returns it.
// The buffer is overwritten by the next call.
const std::int16_t* browser_score_next(std::uint32_t frames);
