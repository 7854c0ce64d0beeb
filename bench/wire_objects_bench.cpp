// One frame of each wireframe object: angle step, transform, projection and
// the edges drawn into the screen buffer.
#include <benchmark/benchmark.h>

#include "render/ascii_render.h"
#include "wire/wire_objects.h"

namespace {

void wire_cube_draw(benchmark::State& state)
{
    wire_cube cube;
    cube.init(0, 0, 22, 10);
    for (auto _ : state) {
        cube.draw(0, 0, 20, '8', 11, 9, 0.1f);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(wire_cube_draw);

void wire_glyph_draw(benchmark::State& state)
{
    wire_glyph glyph;
    glyph.init(0, 0, 20, 10);
    for (auto _ : state) {
        glyph.draw(0, 0, 20, '8', 15, 8, 0.1f);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(wire_glyph_draw);

}  // namespace
