// The music clock's device on SDL2's audio subsystem (Unix, SDL loaded on the
// first open: sdl_library.h): our own callback
// fills each device buffer (music_fill) and publishes, without a lock, how
// many frames went out before that buffer and when. The clock interpolates
// from there, so it moves smoothly between callbacks instead of in
// buffer-sized steps. The soundtrack is decoded ahead on a thread of its own.
#include "sound/music_device.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "base/monotonic_clock.h"
#include "host/unix/audio_quiet.h"
#include "host/unix/sdl_library.h"
#include "sound/music.h"

namespace {

constexpr int bytes_per_frame = music_channels * 2;
constexpr std::int64_t ns_per_s = 1000000000;
constexpr std::int64_t ns_per_ms = 1000000;
// Callbacks this late, with the device gone, mean it was unplugged: the clock
// goes on in real time rather than stand still.
constexpr std::int64_t stall_ns = 250 * ns_per_ms;

// Callbacks whose timing is pooled: about 0.4 s at 44.1 kHz.
constexpr int phase_window = 16;

// The callback's own count and timing; set before the device runs or while
// it is locked, else only the callback touches them.
struct stream_timing {
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

bool sound_ready = false;          // the audio subsystem is up
SDL_AudioDeviceID music_stream = 0;  // the open device, 0 when none
stream_timing source{};
clock_share share;

int stream_rate = 0;               // frames a second of the playing stream
std::int64_t buffer_ns = 0;        // one device buffer
std::int64_t latency_ns = 0;       // subtracted from the frames handed over
std::int64_t origin_frames = 0;    // frames handed at the clock's origin (the open or a seek)

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
std::int64_t earliest_phase(stream_timing& src, std::int64_t phase)
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
    stream_timing& src = *static_cast<stream_timing*>(data);
    const std::uint32_t frames = static_cast<std::uint32_t>(length) / bytes_per_frame;
    publish(src.handed, earliest_phase(src, monotonic_ns() - frames_to_ns(src.handed)) + frames_to_ns(src.handed));
    music_fill(reinterpret_cast<std::int16_t*>(bytes), frames);
    src.handed += frames;
    share.position.store(music_playing.cursor, std::memory_order_release);
}

// The device goes on from here: the frames handed so far are played out, the
// next buffer is due now. The callbacks' timing is counted afresh.
void restart_timing()
{
    source.phases = 0;
    source.next_phase = 0;
    publish(source.handed, monotonic_ns());
}

// The clock starts from here: frames handed so far count from now on.
void set_origin()
{
    origin_frames = source.handed;
    restart_timing();
}

}  // namespace

bool device_open(int latency_ms)
{
    const int rate = music_playing.rate;
    char shown[200];
    if (!sound_ready) {
        char why[640];
        if (!sdl_load(why, sizeof why)) {
            music_set_problem("no sound: %s", why);
            return false;
        }
        audio_quiet_system_errors();
        if (sdl.InitSubSystem(SDL_INIT_AUDIO) != 0) {
            printable_copy(sdl.GetError(), shown, sizeof shown);
            music_set_problem("no sound: the audio system cannot start (%s)", shown);
            return false;
        }
        sound_ready = true;
    }
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = music_channels;
    want.samples = music_buffer_frames;
    want.callback = fill_buffer;
    want.userdata = &source;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to the device's format itself, so the
    // callback always sees the stream's own rate and buffer size.
    music_stream = sdl.OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (music_stream == 0) {
        printable_copy(sdl.GetError(), shown, sizeof shown);
        music_set_problem("no sound: no audio device (%s)", shown);
        return false;
    }
    stream_rate = rate;
    buffer_ns = static_cast<std::int64_t>(have.samples) * ns_per_s / rate;
    latency_ns = latency_ms < 0 ? buffer_ns : latency_ms * ns_per_ms;
    source = stream_timing{};
    // The device opens paused and SDL does not call back until it runs, so
    // nothing races this first publish.
    set_origin();
    return true;
}

void device_run() { sdl.PauseAudioDevice(music_stream, 0); }

// Closing the device waits for its callback to finish; only then may the
// samples go.
void device_close()
{
    if (music_stream != 0) sdl.CloseAudioDevice(music_stream);
    music_stream = 0;
    source = stream_timing{};
    share.position.store(0, std::memory_order_relaxed);
}

std::int64_t device_stream_position() { return share.position.load(std::memory_order_acquire); }

bool device_time(std::int64_t lead_ns, std::int64_t& ms)
{
    std::int64_t frames = 0;
    std::int64_t time = 0;
    read_published(frames, time);
    const std::int64_t since = monotonic_ns() - time;
    if (since > stall_ns && sdl.GetAudioDeviceStatus(music_stream) == SDL_AUDIO_STOPPED) return false;
    // Between callbacks the device plays on at its rate, but not past
    // the buffer the callback handed over (and what it will have been
    // handed by the time looked ahead to). The callback that hands the
    // next may itself come up to about a buffer late: two buffers.
    const std::int64_t played = since + lead_ns;
    const std::int64_t most = 2 * buffer_ns + lead_ns;
    const std::int64_t ahead = played < 0 ? 0 : played < most ? played : most;
    ms = (frames_to_ns(frames - origin_frames) + ahead - latency_ns) / ns_per_ms;
    return true;
}

// SDL plays silence while the device is paused and calls us back no more;
// what the device had been handed plays out first.
void device_pause() { sdl.PauseAudioDevice(music_stream, 1); }

void device_resume()
{
    sdl.LockAudioDevice(music_stream);
    restart_timing();
    sdl.UnlockAudioDevice(music_stream);
    sdl.PauseAudioDevice(music_stream, 0);
}

void device_seek(std::int32_t ms, bool paused)
{
    sdl.LockAudioDevice(music_stream);
    music_move_source(ms);
    share.position.store(music_playing.cursor, std::memory_order_release);
    set_origin();
    sdl.UnlockAudioDevice(music_stream);
    if (!paused) sdl.PauseAudioDevice(music_stream, 0);
}

namespace {

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

}  // namespace

void device_prepare(const char* name)
{
    drop_ahead();
    // A name too long to keep is decoded by music_start instead.
    if (!name || std::strlen(name) >= sizeof ahead.name) return;
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

decode_status device_decode(const char* name, decoded_audio& track, char* why, int size)
{
    if (!ahead.held || std::strcmp(ahead.name, name) != 0) {
        drop_ahead();
        return audio_decode(name, track, why, size);
    }
    finish_ahead(true);
    audio_free(track);
    track = ahead.audio;
    ahead.audio = decoded_audio{};
    ahead.held = false;
    std::snprintf(why, static_cast<std::size_t>(size), "%s", ahead.why);
    return ahead.status;
}

void device_shutdown()
{
    drop_ahead();
    device_close();
    if (sound_ready) sdl.QuitSubSystem(SDL_INIT_AUDIO);
    sound_ready = false;
}
