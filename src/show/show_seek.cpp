#include "show/show_seek.h"

#include "show/demo_state.h"
#include "show/schedule.h"
#include "effects/fire.h"
#include "effects/sine_bars.h"
#include "text/banner_effects.h"

namespace {

// A left arrow this soon after a scene began goes to the one before.
constexpr std::int32_t previous_grace_ms = 1000;

std::int32_t replay_ms = 0;  // the music time of the frame being re-run
std::int32_t replay_time() { return replay_ms; }

}  // namespace

// Each room resets what it owns; the random draws come in the start-up's order.
void show_reset()
{
    fire_init(demo.seed);
    bars_reset();
    streaks_init(demo.streaks);
    drops_init(demo.rain);
    fountain_init(demo.fountain_particles);
    cascade_init(demo.cascade);
    banner_reset(demo.scroll_banner);
    for (text_banner* banner : demo.greeting_banners) banner_reset(*banner);
    wave_reset();
    demo.cube_amplitude = 0.0f;
    demo.cube_pattern = 0;
    demo.cube.init(0, 0, 22, 10);
    demo.glyph.init(0, 0, 20, 10);
    demo.scene = 0;
    demo.scene_counter = 0;
}

std::uint32_t show_replay(std::int32_t ms, std::uint32_t step_ms)
{
    show_reset();
    // The scenes read the music time through the platform: for the re-run,
    // one that gives the re-run frame's time.
    const platform_api* live = demo.platform;
    platform_api replay = *live;
    replay.music_time = replay_time;
    demo.platform = &replay;
    const std::uint32_t deadline = demo.frame_deadline;
    demo.show_clock_shift = 0;  // the re-run is the uninterrupted show
    std::uint32_t k = 0;
    for (; static_cast<std::int64_t>(k) * step_ms < ms; ++k) {
        replay_ms = static_cast<std::int32_t>(static_cast<std::int64_t>(k) * step_ms);
        demo.frame_deadline = demo.first_deadline + frame_ms * k;
        clear_screen();
        run_scene();
    }
    demo.frame_deadline = deadline;
    demo.platform = live;
    return k;
}

std::int32_t next_scene_start(std::int32_t now)
{
    for (const show_scene& scene : show_scenes)
        if (scene_start_ms(scene.beat) > now) return scene_start_ms(scene.beat);
    return -1;
}

std::int32_t previous_scene_start(std::int32_t now)
{
    int current = 0;
    for (int i = 0; i < show_scene_count; ++i)
        if (scene_start_ms(show_scenes[i].beat) <= now) current = i;
    if (current > 0 && now - scene_start_ms(show_scenes[current].beat) < previous_grace_ms) --current;
    return scene_start_ms(show_scenes[current].beat);
}
