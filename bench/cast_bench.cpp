// What recording costs a frame: the show's frames, as the encoder sends them
// in truecolor (the most bytes), go through cast_output into a file, one
// event a frame, then the write to the file that the wait for the next
// deadline does. Reports the slowest of each too.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "capture/asciicast.h"
#include "show/driver.h"
#include "show/schedule.h"
#include "terminal/ansi_encoder.h"
#include "render/codepages.h"
#include "platform/scripted.h"

namespace {

constexpr int frames = show_frame_count;

cast_file cast;
ansi_encoder encoder;
char bytes[ansi_frame_capacity];

// The whole show's byte stream, one string a frame.
const std::vector<std::string>& show_bytes()
{
    static const std::vector<std::string> all = [] {
        static const platform_api scripted = scripted_platform();
        std::vector<std::string> out;
        demo_config config;
        config.seed_given = true;
        config.seed = 1;
        demo_setup(scripted, config);
        demo.scene = 0;
        demo.frame_deadline = 0;
        encoder_init(encoder, default_codepage, 24, screen_width, screen_height);
        for (int k = 0; k < frames; ++k) {
            scripted_music_ms = frame_ms * k;
            clear_screen();
            run_scene();
            demo.frame_deadline += frame_ms;
            out.emplace_back(bytes, static_cast<std::size_t>(encode_frame(encoder, screen_buffer, bytes)));
        }
        return out;
    }();
    return all;
}

void cast_output_per_frame(benchmark::State& state)
{
    const std::vector<std::string>& show = show_bytes();
    char dir[] = "/tmp/glimfant-cast-bench-XXXXXX";  // a folder of this run's own
    if (!mkdtemp(dir)) {
        state.SkipWithError("cannot make a scratch folder");
        return;
    }
    const std::string path = std::string(dir) + "/bench.cast";
    cast_open(cast, path.c_str());
    cast_write_header(cast, cast_header{});
    double slowest_us = 0, slowest_write_us = 0;
    std::int64_t k = 0;
    for (auto _ : state) {
        const std::string& frame = show[static_cast<std::size_t>(k % frames)];
        const auto start = std::chrono::steady_clock::now();
        cast_output(cast, 20000 * k++, frame.data(), frame.size());
        const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        if (took.count() > slowest_us) slowest_us = took.count();
        cast_write_due(cast);  // as the terminal does while it waits for the next deadline
        const std::chrono::duration<double, std::micro> wrote = std::chrono::steady_clock::now() - start - took;
        if (wrote.count() > slowest_write_us) slowest_write_us = wrote.count();
    }
    cast_finish(cast);
    unlink(path.c_str());
    rmdir(dir);
    state.counters["slowest_output_us"] = slowest_us;
    state.counters["slowest_write_us"] = slowest_write_us;
}
BENCHMARK(cast_output_per_frame)->Iterations(frames)->Unit(benchmark::kMicrosecond);

}  // namespace
