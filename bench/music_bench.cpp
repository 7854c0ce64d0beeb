// The music clock: the cost of one read (the schedule reads it several times a
// frame) and the processor time the playback takes. Without SDL_AUDIODRIVER
// set, the dummy driver plays, which keeps real time like a sound card.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdlib>
#include <ctime>

#include "sound/music.h"

namespace {

void start(bool mute)
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    music_options o;
    o.mute = mute;
    o.score = true;
    music_configure(o);
    music_start("");
}

double cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

void music_time_read_playing(benchmark::State& state)
{
    start(false);
    for (auto _ : state) benchmark::DoNotOptimize(music_time());
    music_shutdown();
}
BENCHMARK(music_time_read_playing);

void music_time_read_silent(benchmark::State& state)
{
    start(true);
    for (auto _ : state) benchmark::DoNotOptimize(music_time());
    music_shutdown();
}
BENCHMARK(music_time_read_silent);

// Processor seconds per wall second while the built-in score plays and the
// main thread sleeps: the audio thread's whole cost.
void music_playback_cpu(benchmark::State& state)
{
    start(false);
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double before = cpu_seconds();
        timespec t0{};
        timespec t1{};
        clock_gettime(CLOCK_MONOTONIC, &t0);
        const timespec second{1, 0};
        nanosleep(&second, nullptr);
        clock_gettime(CLOCK_MONOTONIC, &t1);
        cpu += cpu_seconds() - before;
        wall += static_cast<double>(t1.tv_sec - t0.tv_sec) + static_cast<double>(t1.tv_nsec - t0.tv_nsec) * 1e-9;
    }
    state.counters["cpu_s_per_s"] = cpu / wall;
    music_shutdown();
}
BENCHMARK(music_playback_cpu)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
