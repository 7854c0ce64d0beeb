// The frame work of the whole show: clear plus scene, on a scripted music
// clock that moves a frame time a frame, cycling through the whole show.
#include <benchmark/benchmark.h>

#include "show/driver.h"
#include "platform/scripted.h"
#include "show/schedule.h"

namespace {

const platform_api scripted = scripted_platform();

void show_frame(benchmark::State& state)
{
    demo_config config;
    config.seed_given = true;
    config.seed = 1;
    demo_setup(scripted, config);
    demo.scene = 0;
    int k = 0;
    for (auto _ : state) {
        if (k == show_frame_count) {  // start the show again; the effects keep their state
            k = 0;
            demo.scene = 0;
        }
        scripted_music_ms = frame_ms * k++;
        clear_screen();
        run_scene();
        demo.frame_deadline += frame_ms;
        benchmark::DoNotOptimize(screen_buffer[0]);
    }
}
BENCHMARK(show_frame)->Iterations(show_frame_count * 2);

}  // namespace
