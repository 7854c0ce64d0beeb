// A frame's whole work before its bytes are written: clear, scene and the
// terminal encoding (16 colours), over the whole show on a scripted music
// clock. Besides the mean, reports the slowest frame and the 99th percentile,
// since one slow frame is what delays a present.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "show/driver.h"
#include "platform/scripted.h"
#include "show/schedule.h"
#include "terminal/ansi_encoder.h"
#include "render/codepages.h"

namespace {

const platform_api scripted = scripted_platform();

ansi_encoder encoder;
char bytes[ansi_frame_capacity];

void frame_work(benchmark::State& state)
{
    demo_config config;
    config.seed_given = true;
    config.seed = 1;
    demo_setup(scripted, config);
    encoder_init(encoder, default_codepage, 16, screen_width, screen_height);
    demo.scene = 0;
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(state.max_iterations));
    int k = 0;
    for (auto _ : state) {
        if (k == show_frame_count) {  // the show again; the effects keep their state
            k = 0;
            demo.scene = 0;
        }
        const auto start = std::chrono::steady_clock::now();
        scripted_music_ms = frame_ms * k++;
        clear_screen();
        run_scene();
        demo.frame_deadline += frame_ms;
        benchmark::DoNotOptimize(encode_frame(encoder, screen_buffer, bytes));
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["slowest_us"] = micros.back();
}
BENCHMARK(frame_work)->Iterations(show_frame_count);

}  // namespace
