#include "show/driver.h"

#include "show/schedule.h"
#include "show/show_seek.h"
#include "render/ascii_pictures.h"

namespace {

void present_screen() { demo.platform->present(screen_buffer, screen_width, screen_height); }

// The deadline moves by exactly frame_ms from its previous value, so a slow frame
// is followed by frames that present at once until it catches up.
void pace_and_present()
{
    demo.frame_deadline = demo.platform->pace(demo.frame_deadline) + frame_ms;
    present_screen();
}

// Re-runs the show up to ms and moves the music there; the next frame is the
// uninterrupted show's frame at that time, and is presented without delay.
void move_to(const platform_api& platform, const demo_config& config, std::int32_t ms)
{
    const std::uint32_t k = show_replay(ms, config.replay_step_ms);
    demo.frame_deadline = platform.tick_count();
    demo.show_clock_shift = demo.first_deadline + frame_ms * k - demo.frame_deadline;
    if (platform.music_seek) platform.music_seek(static_cast<std::int32_t>(k * config.replay_step_ms));
}

void run_frame_and_present()
{
    clear_screen();
    run_scene();
    pace_and_present();
}

enum frame_plan { end_show, run_frame, hold_frame };

// The viewer's keys and the loop, before a frame: pause, move, or end.
frame_plan viewer_controls(const platform_api& platform, const demo_config& config)
{
    const viewer_keys keys = platform.take_keys ? platform.take_keys() : viewer_keys{};
    if (config.screensaver && keys.any) return end_show;
    if (keys.pause) {
        demo.paused = !demo.paused;
        if (platform.music_pause) platform.music_pause(demo.paused);
    }
    std::int32_t target = -1;
    for (int step = 0; step < keys.seek || step < -keys.seek; ++step) {
        const std::int32_t from = target >= 0 ? target : platform.music_time();
        const std::int32_t to = keys.seek > 0 ? next_scene_start(from) : previous_scene_start(from);
        if (to < 0 && !config.loop) break;  // past the last scene: stay
        target = to < 0 ? 0 : to;
    }
    if (target < 0 && config.loop && !demo.paused && platform.music_time() > show_end_ms) target = 0;
    if (target >= 0) {
        move_to(platform, config, target);
        return run_frame;  // also when paused: the frame moved to is shown
    }
    if (!demo.paused) return run_frame;
    demo.show_clock_shift -= frame_ms;  // the plasma's clock stands too
    return hold_frame;
}

}  // namespace

void demo_setup(const platform_api& platform, const demo_config& config)
{
    demo.platform = &platform;
    picture_setup();
    demo.seed = config.seed_given ? config.seed : platform.tick_count();
    banner_create(demo.scroll_banner, scroll_text);
    for (int g = 0; g < greeting_count; ++g) {
        demo.greeting_banners[g] = new text_banner;  // std::bad_alloc is not caught
        banner_create(*demo.greeting_banners[g], greeting_texts[g]);
    }
    show_reset();
    demo.show_clock_shift = 0;
    demo.paused = false;
}

void demo_open(const platform_api& platform, const demo_config& config)
{
    demo_setup(platform, config);
    if (!config.screensaver) {
        draw_picture(start_picture, 15, 0, '.');
        present_screen();
    }
}

void demo_start(const demo_config& config)
{
    demo.scene = 0;
    demo.scene_counter = 0;
    demo.platform->music_start(config.soundtrack);
    demo.frame_deadline = demo.platform->tick_count();
    demo.first_deadline = demo.frame_deadline;
    if (config.from_ms > 0) move_to(*demo.platform, config, config.from_ms);
}

bool demo_step(const demo_config& config)
{
    const frame_plan plan = viewer_controls(*demo.platform, config);
    if (plan == end_show) return false;
    if (plan == hold_frame) pace_and_present();  // the paused frame stays on screen
    else run_frame_and_present();
    return true;
}

int run_demo(const platform_api& platform, const demo_config& config)
{
    demo_open(platform, config);
    if (!config.screensaver && !platform.wait_for_space()) {
        platform.shutdown();
        return 0;
    }
    demo_start(config);
    // ESC already down when SPACE came: leave before the first frame.
    while (!platform.escape_down() && demo_step(config)) {}
    platform.shutdown();
    return 0;
}
