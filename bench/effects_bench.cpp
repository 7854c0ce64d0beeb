// One frame of each layered effect, in its full state: the plasma over the
// whole screen, both bar layers, the stars, the full rain, the fountain and
// the cascade with all their particles active and respawning.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "base/random.h"
#include "effects/fountain.h"
#include "effects/plasma.h"
#include "effects/rain_drops.h"
#include "effects/sine_bars.h"
#include "effects/sine_cascade.h"
#include "effects/star_streaks.h"
#include "render/ascii_render.h"

namespace {

void plasma(benchmark::State& state)
{
    std::uint32_t deadline = 123456;
    for (auto _ : state) {
        plasma_frame(deadline);
        deadline += frame_ms;
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(plasma);

// Both layers as the bars scene calls them, without its middle layer.
void sine_bars_both_layers(benchmark::State& state)
{
    bars_init(0, 0.0);
    bars_init(1, 3.141592653589793);
    for (auto _ : state) {
        bars_draw_back(0);
        bars_draw_back(1);
        bars_draw_front(0);
        bars_draw_front(1);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(sine_bars_both_layers);

void star_streaks_frame(benchmark::State& state)
{
    glim::srand(1);
    static star_streaks stars;
    streaks_init(stars);
    for (auto _ : state) {
        streaks_frame(stars);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(star_streaks_frame);

void rain_drops_frame(benchmark::State& state)
{
    glim::srand(2);
    static rain_drops rain;
    drops_init(rain);
    for (int frame = 0; frame < drop_count; ++frame) drops_frame(rain);
    for (auto _ : state) {
        drops_frame(rain);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(rain_drops_frame);

void fountain_full(benchmark::State& state)
{
    glim::srand(3);
    static fountain particles;
    fountain_init(particles);
    for (int frame = 0; frame < 300; ++frame) fountain_frame(particles, 1);
    for (auto _ : state) {
        fountain_frame(particles, 1);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(fountain_full);

void sine_cascade_full(benchmark::State& state)
{
    static sine_cascade cascade;
    cascade_init(cascade);
    for (int frame = 0; frame < 600; ++frame) cascade_frame(cascade, 1);
    for (auto _ : state) {
        cascade_frame(cascade, 1);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(sine_cascade_full);

}  // namespace
