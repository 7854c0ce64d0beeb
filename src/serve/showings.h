// When shared showings begin, and where a viewer is in the show. Ticks count
// the server's frames (20 ms) from its start. A showing is the show started
// at some tick and looping: at tick t it shows frame (t - start) mod
// loop_frames. Shared showings start only at 32 places of the loop (about
// every 5 s), so however long the server runs and however the viewers come,
// at most 32 of them are ever at different places; a viewer who pauses or
// seeks leaves for a showing of its own.
#pragma once
#include <cstdint>

inline constexpr int showing_places = 32;

// The first tick after tick at which a shared showing starts.
std::int64_t next_showing_start(std::int64_t tick);
// The last tick at or before tick at which a shared showing started.
std::int64_t last_showing_start(std::int64_t tick);
// The frame a showing that started at start shows at tick (start <= tick).
int showing_frame(std::int64_t start, std::int64_t tick);
// The frame a seek of scenes (+1 a right arrow, -1 a left arrow, more for
// several) lands on from frame, as the terminal show moves: to the start of
// the next scene (past the last, the show's start), or of this one (of the
// one before within its first second).
int seek_frame(int frame, int scenes);
