// The program's one random generator: a 15-bit linear congruential generator
// with a 32-bit state, seeded once by the fire's set-up. Effects draw from it
// in a fixed order, so the same seed gives the same show.
#pragma once
#include <cstdint>

namespace glim {

inline constexpr int rand_max = 32767;  // the fire's spark column relies on this bound

// state = state * 214013 + 2531011 (mod 2^32); returns (state >> 16) & 0x7FFF.
int rand();
// Sets the state.
void srand(std::uint32_t seed);
// The raw state, for tests that count draws.
std::uint32_t rand_state();

}  // namespace glim
