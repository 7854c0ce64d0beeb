// The music clock's shared half: which sound plays (nothing when muted, the
// soundtrack file, the built-in score when there is no file or it was asked
// for, the silent clock when nothing can play), each device buffer copied
// from the file or rendered from the score, the clock's clamp, and pause and
// seek. The audio device itself is per system (music_device.h).
#include "sound/music.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/monotonic_clock.h"
#include "sound/music_device.h"
#include "score/score.h"

music_source music_playing{};

namespace {

constexpr std::int64_t ns_per_ms = 1000000;
// The end of a stream counts from this many frames before it (the "still
// playing" test of a second start).
constexpr std::int64_t end_margin_frames = 256;

enum clock_mode { clock_stopped, clock_silent, clock_playing };

music_options options;
decoded_audio track;               // the soundtrack's samples while it plays
clock_mode mode = clock_stopped;
bool device_open_now = false;      // the device holds music_playing
std::int64_t silent_start_ns = 0;  // the silent clock's 0
std::int32_t origin_ms = 0;        // music time at the device clock's origin
std::int32_t last_ms = 0;          // the previous read
std::int32_t suspended_ms = -1;    // the silent clock's time at a suspend, -1 when not suspended
bool paused = false;               // the viewer paused the show: the clock stands at last_ms

char problem[320];
bool has_problem = false;

void start_silent(std::int32_t from_ms)
{
    mode = clock_silent;
    silent_start_ns = monotonic_ns() - from_ms * ns_per_ms;
}

void close_stream()
{
    device_close();
    device_open_now = false;
    audio_free(track);
    music_playing = music_source{};
}

// The clock's last word: never past 2^31 - 1 ms, never back.
std::int32_t clamp_forward(std::int64_t ms)
{
    if (ms > INT32_MAX) ms = INT32_MAX;
    if (ms > last_ms) last_ms = static_cast<std::int32_t>(ms);
    return last_ms;
}

}  // namespace

void music_fill(std::int16_t* out, std::uint32_t frames)
{
    music_source& src = music_playing;
    const std::uint32_t left = src.length - src.cursor;
    const std::uint32_t n = frames < left ? frames : left;
    if (src.samples) {
        std::memcpy(out, src.samples + static_cast<std::size_t>(src.cursor) * music_channels,
                    static_cast<std::size_t>(n) * music_channels * sizeof(std::int16_t));
        std::memset(out + static_cast<std::size_t>(n) * music_channels, 0,
                    static_cast<std::size_t>(frames - n) * music_channels * sizeof(std::int16_t));
    } else {
        score_render(out, frames);  // silence after its end by itself
    }
    src.cursor += n;
}

void music_move_source(std::int32_t ms)
{
    music_source& src = music_playing;
    const std::int64_t frame = static_cast<std::int64_t>(ms < 0 ? 0 : ms) * src.rate / 1000;
    src.cursor = frame < src.length ? static_cast<std::uint32_t>(frame) : src.length;
    if (!src.samples) score_seek(src.cursor);
}

void music_set_problem(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(problem, sizeof problem, format, args);
    va_end(args);
    has_problem = true;
}

void music_configure(const music_options& o) { options = o; }

void music_prepare(const char* name) { device_prepare(options.mute || options.score ? nullptr : name); }

int music_start(const char* name)
{
    if (device_open_now) {
        const std::int64_t position = device_stream_position();
        if (mode == clock_playing && position != 0 && position < music_playing.length - end_margin_frames) return 2;
        close_stream();
    }
    has_problem = false;
    last_ms = 0;
    origin_ms = 0;
    paused = false;
    if (options.mute) {
        start_silent(0);
        return 0;
    }

    bool score = options.score;
    if (!score) {
        char why[256];
        const decode_status status = device_decode(name, track, why, sizeof why);
        if (status == decode_absent) {
            score = true;
        } else if (status == decode_failed) {
            music_set_problem("no sound: %s", why);
            start_silent(0);
            return 0;
        }
    }
    if (score) score_reset();
    music_playing.samples = score ? nullptr : track.samples;
    music_playing.length = score ? score_length_frames() : track.frames;
    music_playing.cursor = 0;
    music_playing.rate = score ? score_rate : track.rate;
    device_open_now = true;
    if (!device_open(options.latency_ms)) {
        close_stream();
        start_silent(0);
        return 0;
    }
    mode = clock_playing;
    device_run();
    return 1;
}

std::int32_t music_time() { return music_time_ahead(0); }

std::int32_t music_time_ahead(std::int64_t lead_ns)
{
    if (lead_ns < 0) lead_ns = 0;
    if (paused) return last_ms;
    std::int64_t ms = last_ms;
    if (mode == clock_silent) {
        ms = (monotonic_ns() + lead_ns - silent_start_ns) / ns_per_ms;
    } else if (mode == clock_playing) {
        std::int64_t played = 0;
        if (!device_time(lead_ns, played)) {
            start_silent(last_ms);
            return last_ms;
        }
        ms = origin_ms + played;
    }
    return clamp_forward(ms);
}

void music_suspend()
{
    if (mode == clock_silent && !paused) suspended_ms = music_time();
}

void music_resume()
{
    if (mode == clock_silent && suspended_ms >= 0) start_silent(suspended_ms);
    suspended_ms = -1;
}

void music_pause(bool pause)
{
    if (pause == paused || mode == clock_stopped) return;
    if (pause) {
        music_time();  // where it stands goes into last_ms
        paused = true;
        if (mode == clock_playing) device_pause();
        return;
    }
    paused = false;
    if (mode == clock_silent) start_silent(last_ms);
    else device_resume();
}

void music_seek(std::int32_t ms)
{
    if (mode == clock_stopped) return;
    if (ms < 0) ms = 0;
    last_ms = ms;
    suspended_ms = -1;
    if (mode == clock_silent) {
        start_silent(ms);
        return;
    }
    origin_ms = ms;
    device_seek(ms, paused);
}

void music_shutdown()
{
    device_shutdown();
    device_open_now = false;
    audio_free(track);
    music_playing = music_source{};
    mode = clock_stopped;
    paused = false;
}

const char* music_problem() { return has_problem ? problem : nullptr; }
