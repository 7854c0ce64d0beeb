// The built-in score: a small synthesiser (oscillators, envelopes, filters, a
// noise source, drum voices, a bass, a pad, leads, echo and room) playing a
// song written for the show, in time with its script: beat n starts at
// n x 338 - 30 ms. Rendered in real time, stereo 16-bit at score_rate; the
// same samples on every run and for every split into calls.
#pragma once
#include <cstdint>

inline constexpr int score_rate = 44100;  // frames a second, stereo interleaved int16

// The voices, as bits of the mask given to score_set_voices.
enum score_voice : std::uint32_t {
    score_kick = 1u << 0,    // the beat voice: it sounds on whole beats only
    score_snare = 1u << 1,   // snare, fills and the plasma's flash claps
    score_hat = 1u << 2,
    score_crash = 1u << 3,
    score_bass = 1u << 4,
    score_pad = 1u << 5,
    score_arp = 1u << 6,
    score_lead = 1u << 7,
    score_stab = 1u << 8,    // the fountain's word hits and the cube's pulses
    score_zap = 1u << 9,     // the cube's white flash every 676 ms
    score_riser = 1u << 10,  // noise swells leading into the burns and the flare
    score_boom = 1u << 11,   // the burns (title, credits, greetings) and the flare
    score_chime = 1u << 12,  // a greeting comes in
    score_all_voices = (1u << 13) - 1,
};

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
// Writes the whole score from its start as a 16-bit stereo WAV file at
// score_rate; false on an I/O error. Uses the one playback state, so not while
// the score plays; leaves it reset.
bool write_score_wav(const char* path);
