// glimfant in a web browser: the entry points the page (web/page.js) calls.
// The page owns the loop and the browser's events; one instance of this
// module is one show from its start picture, so a show that ends (ESC) is
// followed by a fresh instance, in the state a first load has.
#include <emscripten/emscripten.h>

#include "show/driver.h"
#include "host/web/browser.h"
#include "host/web/browser_score.h"
#include "score/score.h"

namespace {

// Frames one display frame may run to catch up (a slow frame before it);
// further behind, the pacing takes the deadline from now instead.
constexpr int catch_up_frames = browser_catch_up_limit_ms / frame_ms + 1;

platform_api browser;
demo_config config;
int changed_first = 0;  // the first pixel row of the last web_changed_rows

}  // namespace

extern "C" {

// Start-up and the start picture. seed_given: seed the generator with seed,
// else with the tick count. virtual_clock, step_ms, frames: see browser_options.
// loop: the show again from its start after its end; from_ms: it begins there.
EMSCRIPTEN_KEEPALIVE void web_open(int seed_given, std::uint32_t seed, int virtual_clock, std::uint32_t step_ms,
                                   std::uint32_t frames, std::uint32_t tick, int loop, std::int32_t from_ms)
{
    browser_options o;
    o.virtual_clock = virtual_clock != 0;
    o.step_ms = step_ms;
    o.frames = frames;
    o.record_checksums = o.virtual_clock;
    browser_set_clocks(tick, 0);
    browser = browser_platform(o);
    config.seed_given = seed_given != 0 || o.virtual_clock;  // a virtual clock starts at tick 0, as headless
    config.seed = seed;
    config.loop = loop != 0;
    config.from_ms = from_ms;
    // A move re-runs the frames as this clock runs them.
    config.replay_step_ms = o.virtual_clock ? step_ms : frame_ms;
    demo_open(browser, config);
}

// The show starts (the page has started the music, whose time is 0 now;
// web_take_seek says where it must go on from instead).
EMSCRIPTEN_KEEPALIVE void web_start(std::uint32_t tick)
{
    browser_set_clocks(tick, 0);
    demo_start(config);
}

// Runs the frames due by the page's clocks; returns how many ran.
EMSCRIPTEN_KEEPALIVE int web_step(std::uint32_t tick, std::int32_t music_ms)
{
    browser_set_clocks(tick, music_ms);
    int ran = 0;
    while (ran < catch_up_frames && browser_frame_due(demo.frame_deadline) && demo_step(config)) ++ran;
    return ran;
}

EMSCRIPTEN_KEEPALIVE std::uint16_t* web_glyphs() { return browser_glyphs(); }
EMSCRIPTEN_KEEPALIVE const std::uint32_t* web_pixels() { return browser_pixels(); }
// Pixel rows changed since the last call, from web_changed_first.
EMSCRIPTEN_KEEPALIVE int web_changed_rows() { return browser_take_changed_rows(&changed_first); }
EMSCRIPTEN_KEEPALIVE int web_changed_first() { return changed_first; }
EMSCRIPTEN_KEEPALIVE std::uint32_t web_frames() { return browser_frames(); }
EMSCRIPTEN_KEEPALIVE std::uint32_t web_frames_passed_over() { return browser_frames_passed_over(); }
EMSCRIPTEN_KEEPALIVE const std::uint32_t* web_checksums() { return browser_checksums(); }
EMSCRIPTEN_KEEPALIVE const std::int16_t* web_score_next(std::uint32_t frames) { return browser_score_next(frames); }
EMSCRIPTEN_KEEPALIVE std::uint32_t web_score_length() { return score_length_frames(); }
EMSCRIPTEN_KEEPALIVE std::int32_t web_scene() { return demo.scene; }
// A viewer's key (browser_key_pause, _next, _previous) for the next frame.
EMSCRIPTEN_KEEPALIVE void web_key(int key) { browser_key(key); }
EMSCRIPTEN_KEEPALIVE int web_music_paused() { return browser_music_paused(); }
EMSCRIPTEN_KEEPALIVE std::int32_t web_take_seek() { return browser_take_seek(); }
EMSCRIPTEN_KEEPALIVE std::int32_t web_music_time() { return demo.platform->music_time(); }
// The score's next frames from frame on (web_score_next goes on from there).
EMSCRIPTEN_KEEPALIVE void web_score_seek(std::uint32_t frame) { score_seek(frame); }
// The music time scene i starts at; -1 past the last.
EMSCRIPTEN_KEEPALIVE std::int32_t web_scene_start(int i)
{
    return i >= 0 && i < show_scene_count ? scene_start_ms(show_scenes[i].beat) : -1;
}
// The name of scene i as --from and the page's from= take it, in the engine's
// memory; null past the last.
EMSCRIPTEN_KEEPALIVE const char* web_scene_name(int i)
{
    return i >= 0 && i < show_scene_count ? show_scenes[i].name : nullptr;
}

}  // extern "C"
