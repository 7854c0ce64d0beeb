// The built-in score: synthesised in real time, stereo 16-bit at score_rate.
#pragma once
#include <cstdint>

inline constexpr int score_rate = 44100;  // frames a second, stereo interleaved int16

// Total length in frames.
std::uint32_t score_length_frames();
// Back to the start.
void score_reset();
// Writes the next frames (stereo); silence after the end; real-time safe.
void score_render(std::int16_t* out, std::uint32_t frames);
