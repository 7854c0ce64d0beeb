// The frame work of the whole show: clear plus scene, on a scripted music
// clock of 20 ms a frame, cycling through all 7850 frames.
#include <benchmark/benchmark.h>

#include "core/driver.h"
#include "core/schedule.h"

namespace {

std::int32_t music_ms = 0;
std::uint32_t zero_ticks() { return 0; }
bool yes() { return true; }
std::uint32_t same(std::uint32_t d) { return d; }
void no_present(const screen_cell*, int, int) {}
int started(const char*) { return 1; }
std::int32_t scripted_time() { return music_ms; }
void nothing() {}
constexpr platform_api scripted{zero_ticks, yes, yes, same, no_present, started, scripted_time, nothing};

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
        music_ms = 20 * k++;
        clear_screen();
        run_scene();
        demo.frame_deadline += 20;
        benchmark::DoNotOptimize(screen_buffer[0]);
    }
}
BENCHMARK(show_frame)->Iterations(7850 * 2);

}  // namespace
