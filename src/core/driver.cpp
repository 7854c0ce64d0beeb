#include "core/driver.h"

#include "core/schedule.h"
#include "effects/fire.h"
#include "effects/sine_bars.h"
#include "render/ascii_pictures.h"

demo_state demo;

namespace {

void present_screen() { demo.platform->present(screen_buffer, screen_width, screen_height); }

}  // namespace

void demo_setup(const platform_api& platform, const demo_config& config)
{
    demo.platform = &platform;
    picture_setup();
    fire_init(config.seed_given ? config.seed : platform.tick_count());
    bars_init(0, 0.0);
    bars_init(1, 3.141592653589793);
    streaks_init(demo.streaks);
    drops_init(demo.rain);
    fountain_init(demo.fountain_particles);
    cascade_init(demo.cascade);

    banner_create(demo.scroll_banner, scroll_text);
    demo.scroll_banner.slide_column = window_columns;
    demo.scroll_banner.window_width = window_columns;
    for (int g = 0; g < greeting_count; ++g) {
        demo.greeting_banners[g] = new text_banner;  // std::bad_alloc is not caught
        banner_create(*demo.greeting_banners[g], greeting_texts[g]);
    }
    for (text_banner* banner : demo.greeting_banners) {
        banner->slide_column = window_columns;
        banner->window_width = window_columns;
    }

    demo.cube_amplitude = 0.0f;
    demo.cube_pattern = 0;
    demo.cube.init(0, 0, 22, 10);
    demo.glyph.init(0, 0, 20, 10);
}

void demo_open(const platform_api& platform, const demo_config& config)
{
    demo_setup(platform, config);
    draw_picture(start_picture, 15, 0, '.');
    present_screen();
}

void demo_start(const demo_config& config)
{
    demo.scene = 0;
    demo.scene_counter = 0;
    demo.platform->music_start(config.soundtrack);
    demo.frame_deadline = demo.platform->tick_count();
}

void demo_frame()
{
    clear_screen();
    run_scene();
    // The deadline moves by exactly 20 from its previous value, so a slow
    // frame is followed by frames that present at once until it catches up.
    demo.frame_deadline = demo.platform->pace(demo.frame_deadline) + 20;
    present_screen();
}

int run_demo(const platform_api& platform, const demo_config& config)
{
    demo_open(platform, config);
    if (!platform.wait_for_space()) {
        platform.shutdown();
        return 0;
    }
    demo_start(config);
    // ESC already down when SPACE came: leave before the first frame.
    while (!platform.escape_down()) demo_frame();
    platform.shutdown();
    return 0;
}
