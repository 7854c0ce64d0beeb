// One fire frame (blur and rise, sparks, draw) on a burning field: once with
// the decay standing still, once with it moving every frame as in the show.
#include <benchmark/benchmark.h>

#include "effects/fire.h"
#include "render/ascii_render.h"

namespace {

// A field that has burnt for a while, so most blocks are drawn.
void burning_fire(double decay, double target, double step)
{
    fire_init(12345);
    fire_set_palette(fire_stored_palette);
    fire_set_sparks(0);
    fire_set_decay(0.25, 0.25, 0.002);
    for (int frame = 0; frame < 300; ++frame) fire_frame();
    fire_set_decay(decay, target, step);
}

void fire_frame_steady_decay(benchmark::State& state)
{
    burning_fire(0.25, 0.25, 0.002);
    for (auto _ : state) {
        fire_frame();
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(fire_frame_steady_decay);

// The flames shrinking slowly: the decay changes on every frame.
void fire_frame_moving_decay(benchmark::State& state)
{
    burning_fire(0.22, 25.0, -0.0005);
    for (auto _ : state) {
        if (fire_decay >= 1.0) fire_decay = 0.22;
        fire_frame();
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(fire_frame_moving_decay);

// The final flare: a negative decay, quotients wrapping.
void fire_frame_negative_decay(benchmark::State& state)
{
    burning_fire(-0.3, -0.3, 0.5);
    for (auto _ : state) {
        fire_frame();
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(fire_frame_negative_decay);

}  // namespace
