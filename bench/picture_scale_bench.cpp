// What the window does with a new frame before handing it over: the cells
// drawn as the 720 x 400 VGA picture, then scaled to the picture's size on
// screen (1440 x 1080, fit on a 1080-line screen; 1067 x 800, integer; 2880 x
// 2160 on a 4K one).
#include <benchmark/benchmark.h>

#include <vector>

#include "capture/picture_scale.h"
#include "capture/screen_image.h"

namespace {

picture_scaler scaler;

void draw_picture(benchmark::State& state)
{
    static cell_font font;  // the glyphs' bits do not change the work
    for (int c = 0; c < 256; ++c)
        for (int y = 0; y < glyph_height; ++y) font.rows[c][y] = static_cast<std::uint8_t>(c * 31 + y * 7);
    std::vector<screen_cell> cells(screen_cells);
    for (int i = 0; i < screen_cells; ++i) cells[i] = make_cell(static_cast<std::uint8_t>(i * 13), i % 16, i / 80 % 8);
    std::vector<std::uint8_t> pixels(image_pixels);
    for (auto _ : state) {
        draw_screen_image(font, cells.data(), pixels.data());
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(draw_picture)->Unit(benchmark::kMicrosecond);

void scale(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    std::vector<std::uint8_t> pixels(image_pixels);
    for (int i = 0; i < image_pixels; ++i) pixels[i] = static_cast<std::uint8_t>(i * 7 / 9 % 16);
    std::uint32_t colours[16];
    for (std::uint32_t c = 0; c < 16; ++c) colours[c] = c * 0x111111u;
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height);
    scaler_init(scaler, width, height);
    for (auto _ : state) {
        scale_picture(scaler, pixels.data(), colours, out.data(), width * 4);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(scale)->Args({1440, 1080})->Args({1067, 800})->Args({2880, 2160})->Unit(benchmark::kMicrosecond);

}  // namespace
