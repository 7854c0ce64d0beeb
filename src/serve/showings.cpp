#include "serve/showings.h"

#include "serve/show_frames.h"
#include "show/show_seek.h"

namespace {

// Place j of the loop begins at this frame.
std::int64_t place_frame(int j) { return static_cast<std::int64_t>(j) * loop_frames / showing_places; }

std::int64_t floor_mod(std::int64_t a, std::int64_t m)
{
    const std::int64_t r = a % m;
    return r < 0 ? r + m : r;
}

}  // namespace

std::int64_t next_showing_start(std::int64_t tick)
{
    const std::int64_t phase = floor_mod(tick, loop_frames);
    const std::int64_t loop_start = tick - phase;
    for (int j = 0; j < showing_places; ++j)
        if (place_frame(j) > phase) return loop_start + place_frame(j);
    return loop_start + loop_frames;
}

std::int64_t last_showing_start(std::int64_t tick)
{
    const std::int64_t phase = floor_mod(tick, loop_frames);
    const std::int64_t loop_start = tick - phase;
    for (int j = showing_places - 1; j >= 0; --j)
        if (place_frame(j) <= phase) return loop_start + place_frame(j);
    return loop_start;  // place 0 is at phase 0
}

int showing_frame(std::int64_t start, std::int64_t tick)
{
    return static_cast<int>(floor_mod(tick - start, loop_frames));
}

int seek_frame(int frame, int scenes)
{
    std::int32_t ms = frame * frame_ms;
    for (int step = 0; step < scenes || step < -scenes; ++step) {
        const std::int32_t to = scenes > 0 ? next_scene_start(ms) : previous_scene_start(ms);
        ms = to < 0 ? 0 : to;  // past the last scene: the show again, as it loops
    }
    // The first frame at or past the time moved to, as a re-run lands.
    const int k = (ms + frame_ms - 1) / frame_ms;
    return k < loop_frames ? k : 0;
}
