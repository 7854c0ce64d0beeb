// The built-in score's cost in the audio callback: one second of sound
// rendered in device-sized calls. Time per iteration is the time per rendered
// second: 10 ms is 1% of one core.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "score/score.h"

namespace {

void BM_score_one_second(benchmark::State& state)
{
    constexpr std::uint32_t callback_frames = 1024;
    static std::int16_t buffer[callback_frames * 2];
    score_set_voices(score_all_voices);
    score_reset();
    std::uint32_t played = 0;
    for (auto _ : state) {
        for (std::uint32_t done = 0; done < score_rate; done += callback_frames) {
            const std::uint32_t n = score_rate - done < callback_frames ? score_rate - done : callback_frames;
            score_render(buffer, n);
            benchmark::DoNotOptimize(buffer);
        }
        played += score_rate;
        if (played + score_rate > score_length_frames()) {  // loop over the sounding part only
            state.PauseTiming();
            score_reset();
            played = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_score_one_second)->Unit(benchmark::kMillisecond);

}  // namespace
