// The music clock on SDL2's audio subsystem: our own callback copies the
// decoded soundtrack (or renders the score) into each device buffer and
// publishes, without a lock, how many frames went out before that buffer and
// when. The clock interpolates from there, so it moves smoothly between
// callbacks instead of in buffer-sized steps.
#include "platform/music.h"

#include <SDL.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/monotonic_clock.h"
#include "platform/audio_decode.h"
#include "platform/audio_quiet.h"
#include "score/score.h"

namespace {

constexpr int channels = 2;
constexpr int bytes_per_frame = channels * 2;
constexpr std::int64_t ns_per_s = 1000000000;
constexpr std::int64_t ns_per_ms = 1000000;
// The end of a stream counts from this many frames before it (the "still
// playing" test of a second start).
constexpr std::int64_t end_margin_frames = 256;
// Callbacks this late, with the device gone, mean it was unplugged: the clock
// goes on in real time rather than stand still.
constexpr std::int64_t stall_ns = 250 * ns_per_ms;

// Callbacks whose timing is pooled: about 0.4 s at 44.1 kHz.
constexpr int phase_window = 16;

enum clock_mode { clock_stopped, clock_silent, clock_playing };

// What the callback plays; set before the device runs, read only by it.
struct stream_source {
    const std::int16_t* samples;  // the decoded file, or nullptr for the score
    std::uint32_t length;         // frames in the stream
    std::uint32_t cursor;         // frames of it played so far
    std::int64_t handed;          // frames handed to the device, silence after the end included
    // When the device's frame 0 was due, from each of the last callbacks
    // (callback time less the frames handed before it), for the earliest.
    std::int64_t phase_ns[phase_window];
    int phases;                   // how many of phase_ns hold a value, up to phase_window
    int next_phase;               // where the next one goes
};

// Written by the callback, read by the clock: a sequence count that is odd
// while a write is under way, so a reader that saw it change tries again.
struct clock_share {
    std::atomic<std::uint32_t> sequence{0};
    std::atomic<std::int64_t> frames{0};    // frames handed over before the newest buffer
    std::atomic<std::int64_t> time_ns{0};   // monotonic time of the newest callback
    std::atomic<std::uint32_t> position{0}; // frames of the stream played
};

music_options options;
bool sound_ready = false;          // the audio subsystem is up
SDL_AudioDeviceID music_stream = 0;  // the open device, 0 when none
decoded_audio track;               // the soundtrack's samples while it plays
stream_source source{};
clock_share share;

clock_mode mode = clock_stopped;
int stream_rate = 0;               // frames a second of the playing stream
std::int64_t buffer_ns = 0;        // one device buffer
std::int64_t latency_ns = 0;       // subtracted from the frames handed over
std::int64_t silent_start_ns = 0;  // the silent clock's 0
std::int32_t last_ms = 0;          // the previous read
std::int32_t suspended_ms = -1;    // the silent clock's time at a suspend, -1 when not suspended

char problem[320];
bool has_problem = false;

// The soundtrack decoded ahead, on a thread of its own, while the start
// screen waits; music_start takes the result.
struct decode_ahead {
    pthread_t thread{};
    bool running = false;         // started and not yet joined
    bool held = false;            // name and the result are for music_start to take
    char name[4096] = "";         // the file it decodes
    decoded_audio audio;          // the result, once joined
    decode_status status = decode_absent;
    char why[256] = "";
    std::atomic<bool> stop{false};  // set to end the decode early
};
decode_ahead ahead;

void publish(std::int64_t frames, std::int64_t time)
{
    const std::uint32_t s = share.sequence.load(std::memory_order_relaxed);
    share.sequence.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    share.frames.store(frames, std::memory_order_relaxed);
    share.time_ns.store(time, std::memory_order_relaxed);
    share.sequence.store(s + 2, std::memory_order_release);
}

void read_published(std::int64_t& frames, std::int64_t& time)
{
    for (;;) {
        const std::uint32_t s = share.sequence.load(std::memory_order_acquire);
        frames = share.frames.load(std::memory_order_relaxed);
        time = share.time_ns.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (!(s & 1) && share.sequence.load(std::memory_order_relaxed) == s) return;
    }
}

std::int64_t frames_to_ns(std::int64_t frames)
{
    return frames / stream_rate * ns_per_s + frames % stream_rate * ns_per_s / stream_rate;
}

// A callback can come late but never early: the device asks for more when
// its buffer runs low, and the sound server or the scheduler wakes us some
// time after that (a PulseAudio sink in steps of its own period, a few ms).
// So the earliest phase of the last callbacks is when the device really
// plays; each callback's own time would make the clock lag by half a step
// and jitter by a whole one. A phase a buffer later than the earliest means
// the device fell behind (a stall, an underrun): counting starts again.
std::int64_t earliest_phase(stream_source& src, std::int64_t phase)
{
    std::int64_t earliest = phase;
    for (int i = 0; i < src.phases; ++i)
        if (src.phase_ns[i] < earliest) earliest = src.phase_ns[i];
    if (phase - earliest > buffer_ns) {
        src.phases = 0;
        src.next_phase = 0;
        earliest = phase;
    }
    src.phase_ns[src.next_phase] = phase;
    src.next_phase = (src.next_phase + 1) % phase_window;
    if (src.phases < phase_window) ++src.phases;
    return earliest;
}

// The audio thread: no allocation, locks or I/O.
void fill_buffer(void* data, Uint8* bytes, int length)
{
    stream_source& src = *static_cast<stream_source*>(data);
    auto* out = reinterpret_cast<std::int16_t*>(bytes);
    const std::uint32_t frames = static_cast<std::uint32_t>(length) / bytes_per_frame;
    publish(src.handed, earliest_phase(src, monotonic_ns() - frames_to_ns(src.handed)) + frames_to_ns(src.handed));

    const std::uint32_t left = src.length - src.cursor;
    const std::uint32_t n = frames < left ? frames : left;
    if (src.samples) {
        std::memcpy(out, src.samples + static_cast<std::size_t>(src.cursor) * channels,
                    static_cast<std::size_t>(n) * bytes_per_frame);
        std::memset(out + static_cast<std::size_t>(n) * channels, 0,
                    static_cast<std::size_t>(frames - n) * bytes_per_frame);
    } else {
        score_render(out, frames);  // silence after its end by itself
    }
    src.cursor += n;
    src.handed += frames;
    share.position.store(src.cursor, std::memory_order_release);
}

void set_problem(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(problem, sizeof problem, format, args);
    va_end(args);
    has_problem = true;
}

// SDL logs some of its choices on standard error, right over the picture.
void sdl_quiet(void*, int, SDL_LogPriority, const char*) {}

bool open_device(int rate)
{
    char shown[200];
    if (!sound_ready) {
        audio_quiet_system_errors();
        SDL_LogSetOutputFunction(sdl_quiet, nullptr);
        // The terminal backend owns the signals.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            printable_copy(SDL_GetError(), shown, sizeof shown);
            set_problem("no sound: the audio system cannot start (%s)", shown);
            return false;
        }
        sound_ready = true;
    }
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = channels;
    want.samples = music_buffer_frames;
    want.callback = fill_buffer;
    want.userdata = &source;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to the device's format itself, so the
    // callback always sees the stream's own rate and buffer size.
    music_stream = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (music_stream == 0) {
        printable_copy(SDL_GetError(), shown, sizeof shown);
        set_problem("no sound: no audio device (%s)", shown);
        return false;
    }
    stream_rate = rate;
    buffer_ns = static_cast<std::int64_t>(have.samples) * ns_per_s / rate;
    latency_ns = options.latency_ms < 0 ? buffer_ns : options.latency_ms * ns_per_ms;
    return true;
}

// Closing the device waits for its callback to finish; only then go the samples.
void close_stream()
{
    if (music_stream != 0) SDL_CloseAudioDevice(music_stream);
    music_stream = 0;
    audio_free(track);
    source = stream_source{};
    share.position.store(0, std::memory_order_relaxed);
}

void* decode_ahead_thread(void*)
{
    ahead.status = audio_decode(ahead.name, ahead.audio, ahead.why, sizeof ahead.why, &ahead.stop);
    return nullptr;
}

// Waits for the decode ahead, stopping it first unless its result is wanted.
void finish_ahead(bool wanted)
{
    if (!ahead.running) return;
    if (!wanted) ahead.stop.store(true, std::memory_order_relaxed);
    pthread_join(ahead.thread, nullptr);
    ahead.running = false;
}

void drop_ahead()
{
    finish_ahead(false);
    audio_free(ahead.audio);
    ahead.held = false;
}

// The soundtrack's samples in track: the decode ahead when it was for this
// file, else decoded now.
decode_status decode_soundtrack(const char* name, char* why, int size)
{
    if (ahead.held && std::strcmp(ahead.name, name) == 0) {
        finish_ahead(true);
        const decode_status status = ahead.status;
        audio_free(track);
        track = ahead.audio;
        ahead.audio = decoded_audio{};
        ahead.held = false;
        std::snprintf(why, static_cast<std::size_t>(size), "%s", ahead.why);
        return status;
    }
    drop_ahead();
    return audio_decode(name, track, why, size);
}

void start_silent(std::int32_t from_ms)
{
    mode = clock_silent;
    silent_start_ns = monotonic_ns() - from_ms * ns_per_ms;
}

}  // namespace

void music_configure(const music_options& o) { options = o; }

void music_prepare(const char* name)
{
    drop_ahead();
    // A name too long to keep is decoded by music_start instead.
    if (options.mute || options.score || std::strlen(name) >= sizeof ahead.name) return;
    std::memcpy(ahead.name, name, std::strlen(name) + 1);
    ahead.status = decode_absent;
    ahead.why[0] = '\0';
    ahead.stop.store(false, std::memory_order_relaxed);
    // Signals stay with the main thread, whose handlers expect them there.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    ahead.running = pthread_create(&ahead.thread, nullptr, decode_ahead_thread, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ahead.held = ahead.running;  // else music_start decodes
}

int music_start(const char* name)
{
    if (music_stream != 0) {
        const std::int64_t position = share.position.load(std::memory_order_acquire);
        if (mode == clock_playing && position != 0 && position < source.length - end_margin_frames) return 2;
        close_stream();
    }
    has_problem = false;
    last_ms = 0;
    if (options.mute) {
        start_silent(0);
        return 0;
    }

    bool score = options.score;
    if (!score) {
        char why[256];
        const decode_status status = decode_soundtrack(name, why, sizeof why);
        if (status == decode_absent) {
            score = true;
        } else if (status == decode_failed) {
            set_problem("no sound: %s", why);
            start_silent(0);
            return 0;
        }
    }
    if (score) score_reset();
    source.samples = score ? nullptr : track.samples;
    source.length = score ? score_length_frames() : track.frames;
    source.cursor = 0;
    source.handed = 0;
    source.phases = 0;
    source.next_phase = 0;
    if (!open_device(score ? score_rate : track.rate)) {
        close_stream();
        start_silent(0);
        return 0;
    }
    // The device opens paused and SDL does not call back until it runs, so
    // nothing races this first publish.
    publish(0, monotonic_ns());
    mode = clock_playing;
    SDL_PauseAudioDevice(music_stream, 0);
    return 1;
}

std::int32_t music_time() { return music_time_ahead(0); }

std::int32_t music_time_ahead(std::int64_t lead_ns)
{
    if (lead_ns < 0) lead_ns = 0;
    std::int64_t ms = last_ms;
    if (mode == clock_silent) {
        ms = (monotonic_ns() + lead_ns - silent_start_ns) / ns_per_ms;
    } else if (mode == clock_playing) {
        std::int64_t frames = 0;
        std::int64_t time = 0;
        read_published(frames, time);
        const std::int64_t since = monotonic_ns() - time;
        if (since > stall_ns && SDL_GetAudioDeviceStatus(music_stream) == SDL_AUDIO_STOPPED) {
            start_silent(last_ms);
            return last_ms;
        }
        // Between callbacks the device plays on at its rate, but not past
        // the buffer the callback handed over (and what it will have been
        // handed by the time looked ahead to). The callback that hands the
        // next may itself come up to about a buffer late: two buffers.
        const std::int64_t played = since + lead_ns;
        const std::int64_t most = 2 * buffer_ns + lead_ns;
        const std::int64_t ahead = played < 0 ? 0 : played < most ? played : most;
        ms = (frames_to_ns(frames) + ahead - latency_ns) / ns_per_ms;
    }
    if (ms > INT32_MAX) ms = INT32_MAX;
    if (ms > last_ms) last_ms = static_cast<std::int32_t>(ms);
    return last_ms;
}

void music_suspend()
{
    if (mode == clock_silent) suspended_ms = music_time();
}

void music_resume()
{
    if (mode == clock_silent && suspended_ms >= 0) start_silent(suspended_ms);
    suspended_ms = -1;
}

void music_shutdown()
{
    drop_ahead();
    close_stream();
    if (sound_ready) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sound_ready = false;
    mode = clock_stopped;
}

const char* music_problem() { return has_problem ? problem : nullptr; }
