#include "platform/music.h"

#include <ctime>

namespace {
music_options options;
bool started = false;
std::int64_t start_ns = 0;

std::int64_t now_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
}  // namespace

void music_configure(const music_options& o) { options = o; }

int music_start(const char*)
{
    if (started) return 2;
    started = true;
    start_ns = now_ns();
    return 0;
}

std::int32_t music_time()
{
    if (!started) return 0;
    return static_cast<std::int32_t>((now_ns() - start_ns) / 1000000);
}

void music_shutdown() {}

const char* music_problem() { return nullptr; }
