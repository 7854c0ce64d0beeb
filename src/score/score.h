// The built-in score: a small synthesiser (oscillators, envelopes, filters, a
// noise source, drum voices, a bass, a pad, leads, echo and room) playing a
// song written for the show, in time with its script: beat n starts at
// n x 338 - 30 ms. Rendered in real time, stereo 16-bit at score_rate; the
// same samples on every run and for every split into calls. This is its
// sequencer, which plays the song's notes and cues at their frames; the rate
// and the voices' bits come with this header.
#pragma once
#include <cstdint>

#include "score/score_format.h"

// Total length in frames (beat 468 begins; about 158 s).
std::uint32_t score_length_frames();
// Back to the start; the voice mask stays. Not while score_render runs.
void score_reset();
// Back to the start, then on to frame (renders there and drops it: about a
// second of processor time for the whole score). Not while score_render runs.
void score_seek(std::uint32_t frame);
// Writes the next frames (stereo interleaved); silence after the end. Real-time
// safe: no allocation, locks or I/O. The result does not depend on how the
// score is split into calls.
void score_render(std::int16_t* out, std::uint32_t frames);
// Which voices are heard (score_all_voices at start-up); the others still run,
// silently. For tests and for listening to one part; takes effect at once.
void score_set_voices(std::uint32_t mask);
