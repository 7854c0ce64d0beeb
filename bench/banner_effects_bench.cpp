// One frame of each banner effect on an arrived banner of the scroll text's
// length (214 characters, rows of 1712 columns).
#include <benchmark/benchmark.h>

#include <string>

#include "effects/fire.h"
#include "render/ascii_render.h"
#include "text/banner_effects.h"

namespace {

text_banner arrived_banner()
{
    static const std::string text = [] {
        std::string t;
        while (t.size() < 214) t += "HELLO, WORLD! 0123456789 ";
        return t.substr(0, 214);
    }();
    text_banner banner;
    banner_create(banner, text.c_str());
    banner.slide_column = 0;
    banner.window_width = window_columns;
    return banner;
}

void banner_draw(benchmark::State& state)
{
    text_banner banner = arrived_banner();
    for (auto _ : state) {
        draw_banner(banner, 8, 15, 7);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(banner_draw);

void banner_burn(benchmark::State& state)
{
    text_banner banner = arrived_banner();
    for (auto _ : state) {
        burn_banner(banner, fire_field, 8, '$');
        benchmark::DoNotOptimize(fire_field);
    }
}
BENCHMARK(banner_burn);

void banner_wave_scroll(benchmark::State& state)
{
    text_banner banner = arrived_banner();
    for (auto _ : state) {
        wave_scroll(banner, 10, 20, 8, 11, 9);
        benchmark::DoNotOptimize(screen_buffer);
    }
}
BENCHMARK(banner_wave_scroll);

}  // namespace
