// The demo driver: start-up in a fixed order, the start picture and the wait
// for SPACE, then fixed-rate frames (clear, scene, pace, present) until ESC.
// Between frames the viewer may pause, move to another scene, or loop.
#pragma once
#include <cstdint>

#include "effects/fountain.h"
#include "effects/rain_drops.h"
#include "effects/sine_cascade.h"
#include "effects/star_streaks.h"
#include "platform/platform.h"
#include "text/text_banner.h"
#include "timeline/show_timeline.h"
#include "wire/wire_objects.h"

// Everything the driver owns for the whole run.
struct demo_state {
    const platform_api* platform;      // clocks, keys, output, music
    int scene;                         // code of the scene running now; 0 before the first frame
    int scene_counter;                 // stamps made inside the current scene
    std::uint32_t frame_deadline;      // ms tick the present waits for; +20 a frame
    std::uint32_t seed;                // the generator's seed, for re-running the show
    std::uint32_t first_deadline;      // the first frame's deadline
    // Added to frame_deadline for the plasma's clock: 0 in an uninterrupted
    // show; after a pause or a move, what makes it the uninterrupted show's.
    std::uint32_t show_clock_shift;
    bool paused;                       // the viewer paused: the last frame stays
    float cube_amplitude;              // cube pulse: 0.0 or 10.0
    int cube_pattern;                  // cube pulse: corner 0..3
    text_banner scroll_banner;
    text_banner* greeting_banners[greeting_count];  // heap objects, never freed
    star_streaks streaks;
    rain_drops rain;
    fountain fountain_particles;
    sine_cascade cascade;
    wire_cube cube;
    wire_glyph glyph;
};

extern demo_state demo;  // the one demo, for the scene bodies

struct demo_config {
    const char* soundtrack = "brumo.mp3";  // handed to music_start
    bool seed_given = false;               // seed the generator with seed instead of the tick count
    std::uint32_t seed = 0;
    std::int32_t from_ms = 0;              // the show begins at this music time
    bool loop = false;                     // after the show's end, again from its start
    bool screensaver = false;              // no start picture; any key ends the show
    std::uint32_t replay_step_ms = 20;     // music time between the frames of a re-run
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
