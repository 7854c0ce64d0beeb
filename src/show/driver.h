// The demo driver: start-up in a fixed order, the start picture and the wait
// for SPACE, then fixed-rate frames (clear, scene, pace, present) until ESC.
// Between frames the viewer may pause, move to another scene, or loop.
#pragma once
#include <cstdint>

#include "show/demo_state.h"
#include "render/ascii_render.h"

struct demo_config {
    const char* soundtrack = default_soundtrack;  // handed to music_start
    bool seed_given = false;               // seed the generator with seed instead of the tick count
    std::uint32_t seed = 0;
    std::int32_t from_ms = 0;              // the show begins at this music time
    bool loop = false;                     // after the show's end, again from its start
    bool screensaver = false;              // no start picture; any key ends the show
    std::uint32_t replay_step_ms = frame_ms;  // music time between the frames of a re-run
};

// Runs start-up and the frame loop on the given platform; returns the exit
// status (0 after ESC). Calls the platform's shutdown on the way out.
int run_demo(const platform_api& platform, const demo_config& config);

// Start-up only (every set-up step up to the start picture); for tests.
void demo_setup(const platform_api& platform, const demo_config& config);

// The steps of run_demo, for a platform whose loop is not ours (a browser
// calls back once a display frame and must not be blocked):
// start-up and the start picture, presented.
void demo_open(const platform_api& platform, const demo_config& config);
// After SPACE: the first scene, the music start and the first frame deadline.
void demo_start(const demo_config& config);
// One step of the show as the viewer steers it: the viewer's keys and the
// loop, then a frame (clear, scene, pace, present), or the paused frame
// presented again. False when the show ends (a key in a screensaver). The
// caller tests ESC before each.
bool demo_step(const demo_config& config);
