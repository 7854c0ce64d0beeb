// The show's state that the driver owns for the whole run and the scene
// bodies and the seeks work on: one record, one instance.
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
    std::uint32_t frame_deadline;      // ms tick the present waits for; +frame_ms a frame
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
