// What a present costs: the bytes the encoder sends for the show's frames (the
// first 30 s and the whole show, in each colour mode) and the time of one
// present (encode plus the write into a pseudo-terminal).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "show/driver.h"
#include "platform/scripted.h"
#include "show/schedule.h"
#include "terminal/ansi_encoder.h"
#include "render/codepages.h"

namespace {

constexpr int first_30_seconds = 30 * frames_per_second;

const platform_api scripted = scripted_platform();

// The whole show's frames, rendered once, as the headless run makes them.
const std::vector<screen_cell>& show()
{
    static const std::vector<screen_cell> frames = [] {
        std::vector<screen_cell> all;
        all.reserve(static_cast<std::size_t>(show_frame_count) * screen_cells);
        demo_config config;
        config.seed_given = true;
        config.seed = 1;
        demo_setup(scripted, config);
        demo.scene = 0;
        demo.frame_deadline = 0;
        for (int k = 0; k < show_frame_count; ++k) {
            scripted_music_ms = frame_ms * k;
            clear_screen();
            run_scene();
            demo.frame_deadline += frame_ms;
            all.insert(all.end(), screen_buffer, screen_buffer + screen_cells);
        }
        return all;
    }();
    return frames;
}

ansi_encoder encoder;
char bytes[ansi_frame_capacity];

// Encodes the first range(1) frames in colour mode range(0), over and over;
// reports the mean and the largest frame in bytes (the first frame, a full
// redraw, included).
void present_bytes(benchmark::State& state)
{
    const std::vector<screen_cell>& frames = show();
    const int color = static_cast<int>(state.range(0));
    const int count = static_cast<int>(state.range(1));
    double total = 0, largest = 0;
    int k = 0, encoded = 0;
    encoder_init(encoder, default_codepage, color, screen_width, screen_height);
    for (auto _ : state) {
        if (k == count) {
            k = 0;
            encoder_resize(encoder, screen_width, screen_height);
        }
        const int n = encode_frame(encoder, frames.data() + static_cast<std::size_t>(k++) * screen_cells, bytes);
        benchmark::DoNotOptimize(bytes[0]);
        total += n;
        ++encoded;
        if (n > largest) largest = n;
    }
    state.counters["bytes_per_frame"] = total / encoded;
    state.counters["largest_frame"] = largest;
}
BENCHMARK(present_bytes)
    ->ArgsProduct({{16, 256, 24}, {first_30_seconds}})
    ->Iterations(first_30_seconds);
BENCHMARK(present_bytes)->ArgsProduct({{16, 256, 24}, {show_frame_count}})->Iterations(show_frame_count);

// One present as the terminal backend makes it: encode the frame and write it
// to a pseudo-terminal, whose other side is drained after each frame.
void present_to_pty(benchmark::State& state)
{
    const std::vector<screen_cell>& frames = show();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const int slave = open(ptsname(master), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    fcntl(master, F_SETFL, O_NONBLOCK);
    encoder_init(encoder, default_codepage, 16, screen_width, screen_height);
    char drain[65536];
    int k = 0;
    for (auto _ : state) {
        if (k == show_frame_count) k = 0;
        const int n = encode_frame(encoder, frames.data() + static_cast<std::size_t>(k++) * screen_cells, bytes);
        for (int done = 0; done < n;) {
            const ssize_t w = write(slave, bytes + done, static_cast<std::size_t>(n - done));
            if (w > 0) done += static_cast<int>(w);
            state.PauseTiming();
            while (read(master, drain, sizeof drain) > 0) {
            }
            state.ResumeTiming();
        }
    }
    close(slave);
    close(master);
}
BENCHMARK(present_to_pty)->Iterations(show_frame_count);

}  // namespace
