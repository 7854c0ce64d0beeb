// The frame work of the whole show: clear plus scene, on a scripted music
// clock of 20 ms a frame, cycling through all 7850 frames.
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
        if (k == 7850) {  // start the show again; the effects keep their state
            k = 0;
            demo.scene = 0;
        }
        scripted_music_ms = 20 * k++;
        clear_screen();
        run_scene();
        demo.frame_deadline += 20;
        benchmark::DoNotOptimize(screen_buffer[0]);
    }
}
BENCHMARK(show_frame)->Iterations(7850 * 2);

}  // namespace
