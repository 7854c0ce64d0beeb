// What the built-in score's callers and every stage of its synthesiser agree
// on: the rate of its sound and its voices, as bits of a mask.
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
