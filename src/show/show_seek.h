// Moving about the show: the viewer's seeks, --from and the loop re-run the
// show's state from its start (the random generator included) through every
// frame before the time moved to, as the uninterrupted show runs them, so
// the frame shown there is exactly the one the uninterrupted show shows.
// The whole show re-runs in a fraction of a second.
#pragma once
#include <cstdint>

// Every effect, banner and scene variable back to its state at the music
// start, the generator seeded again with demo.seed. Allocates nothing.
void show_reset();

// Resets, then runs the scenes of the frames before music time ms (frame j
// reads j x step_ms, its plasma clock is the first deadline + frame_ms x j)
// without presenting them. Returns how many frames ran: the next frame is the
// uninterrupted show's frame k, at music time k x step_ms.
std::uint32_t show_replay(std::int32_t ms, std::uint32_t step_ms);

// Where the arrows go from music time now: the start of the next scene
// (-1 past the last), or of the current one, or of the one before when the
// current one began less than a second ago.
std::int32_t next_scene_start(std::int32_t now);
std::int32_t previous_scene_start(std::int32_t now);
