// The music clock on Windows' waveOut: a feeder thread keeps a ring of
// buffers queued on the device, copying the decoded soundtrack (or rendering
// the score) into each one the device has finished with; the clock is the
// device's own play position (waveOutGetPosition), which on Windows already is
// the sample at the speakers, less any extra latency the user gives.
#include "platform/music.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/monotonic_clock.h"
#include "platform/audio_decode.h"
#include "score/score.h"

namespace {

constexpr int channels = 2;
constexpr int bytes_per_frame = channels * 2;
constexpr int ring_buffers = 32;
constexpr std::int64_t ns_per_ms = 1000000;
// The end of a stream counts from this many frames before it (the "still
// playing" test of a second start).
constexpr std::int64_t end_margin_frames = 256;
// A position that stands still this long, with buffers queued, means the
// device is gone: the clock goes on in real time rather than stand still.
constexpr std::int64_t stall_ns = 500 * ns_per_ms;

enum clock_mode { clock_stopped, clock_silent, clock_playing };

// What the feeder plays; set before the feeder starts, then only it moves it.
struct stream_source {
    const std::int16_t* samples;  // the decoded file, or nullptr for the score
    std::uint32_t length;         // frames in the stream
    std::uint32_t cursor;         // frames of it handed to the device
};

music_options options;
HWAVEOUT device = nullptr;         // the open device, nullptr when none
HANDLE buffer_done = nullptr;      // signalled by the device when a buffer is done
HANDLE feeder = nullptr;           // the feeder thread
std::atomic<bool> feeding{false};  // cleared to stop the feeder
WAVEHDR ring[ring_buffers];
std::int16_t ring_samples[ring_buffers][music_buffer_frames * channels];
decoded_audio track;               // the soundtrack's samples while it plays
stream_source source{};

clock_mode mode = clock_stopped;
int stream_rate = 0;               // frames a second of the playing stream
std::int64_t latency_ns = 0;       // subtracted from the device position
std::int64_t silent_start_ns = 0;  // the silent clock's 0
std::int32_t last_ms = 0;          // the previous read
DWORD last_position = 0;           // the device position at the previous read (frames, wraps)
std::int64_t position_frames = 0;  // the device position without the wrap
std::int64_t moved_ns = 0;         // when the position last moved

char problem[320];
bool has_problem = false;

void set_problem(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(problem, sizeof problem, format, args);
    va_end(args);
    has_problem = true;
}

// The feeder thread: no allocation, locks or I/O besides the device's own.
void fill_buffer(WAVEHDR& header)
{
    auto* out = reinterpret_cast<std::int16_t*>(header.lpData);
    const std::uint32_t frames = music_buffer_frames;
    const std::uint32_t left = source.length - source.cursor;
    const std::uint32_t n = frames < left ? frames : left;
    if (source.samples) {
        std::memcpy(out, source.samples + static_cast<std::size_t>(source.cursor) * channels,
                    static_cast<std::size_t>(n) * bytes_per_frame);
        std::memset(out + static_cast<std::size_t>(n) * channels, 0,
                    static_cast<std::size_t>(frames - n) * bytes_per_frame);
    } else {
        score_render(out, frames);  // silence after its end by itself
    }
    source.cursor += n;
}

// Refills every buffer the device is done with; after the stream's end the
// device plays silence, so its position, and the clock, run on in real time.
DWORD WINAPI feed(void*)
{
    while (feeding.load()) {
        for (WAVEHDR& header : ring) {
            if (!(header.dwFlags & WHDR_DONE)) continue;
            fill_buffer(header);
            header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
            waveOutWrite(device, &header, sizeof header);
        }
        WaitForSingleObject(buffer_done, 100);
    }
    return 0;
}

void start_silent(std::int32_t from_ms)
{
    mode = clock_silent;
    silent_start_ns = monotonic_ns() - from_ms * ns_per_ms;
}

void device_problem(const char* what, MMRESULT result)
{
    char text[MAXERRORLENGTH] = "";
    waveOutGetErrorTextA(result, text, sizeof text);
    char shown[MAXERRORLENGTH];
    printable_copy(text, shown, sizeof shown);
    set_problem("no sound: %s (%s)", what, shown);
}

// Stops the feeder, then the device; only then go the samples.
void close_stream()
{
    if (feeder) {
        feeding = false;
        SetEvent(buffer_done);
        WaitForSingleObject(feeder, INFINITE);
        CloseHandle(feeder);
        feeder = nullptr;
    }
    if (device) {
        waveOutReset(device);
        for (WAVEHDR& header : ring)
            if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device, &header, sizeof header);
        waveOutClose(device);
        device = nullptr;
    }
    audio_free(track);
    source = stream_source{};
}

bool open_device(int rate)
{
    if (!buffer_done) buffer_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = bytes_per_frame;
    format.nAvgBytesPerSec = format.nSamplesPerSec * bytes_per_frame;
    const MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(buffer_done), 0,
                                        CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        device = nullptr;
        device_problem("no audio device", result);
        return false;
    }
    stream_rate = rate;
    latency_ns = options.latency_ms < 0 ? 0 : options.latency_ms * ns_per_ms;
    // Paused while the ring fills, so the position starts with the first sample.
    waveOutPause(device);
    for (int i = 0; i < ring_buffers; ++i) {
        ring[i] = WAVEHDR{};
        ring[i].lpData = reinterpret_cast<LPSTR>(ring_samples[i]);
        ring[i].dwBufferLength = sizeof ring_samples[i];
        if (waveOutPrepareHeader(device, &ring[i], sizeof ring[i]) != MMSYSERR_NOERROR) {
            set_problem("no sound: the audio device takes no buffers");
            return false;
        }
        fill_buffer(ring[i]);
        waveOutWrite(device, &ring[i], sizeof ring[i]);
    }
    return true;
}

std::int64_t frames_to_ns(std::int64_t frames)
{
    return frames / stream_rate * 1000000000 + frames % stream_rate * 1000000000 / stream_rate;
}

}  // namespace

void music_configure(const music_options& o) { options = o; }

// The system's codec decodes a whole track in well under a second, at the
// music start; there is no Ctrl-Z stop in the console.
void music_prepare(const char*) {}
void music_suspend() {}
void music_resume() {}

int music_start(const char* name)
{
    if (device) {
        if (mode == clock_playing && position_frames != 0 && position_frames < source.length - end_margin_frames)
            return 2;
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
        const decode_status status = audio_decode(name, track, why, sizeof why);
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
    if (!open_device(score ? score_rate : track.rate)) {
        close_stream();
        start_silent(0);
        return 0;
    }
    last_position = 0;
    position_frames = 0;
    moved_ns = monotonic_ns();
    feeding = true;
    feeder = CreateThread(nullptr, 0, feed, nullptr, 0, nullptr);
    if (!feeder) {
        set_problem("no sound: cannot start the audio thread");
        close_stream();
        start_silent(0);
        return 0;
    }
    mode = clock_playing;
    waveOutRestart(device);
    return 1;
}

std::int32_t music_time()
{
    std::int64_t ms = last_ms;
    if (mode == clock_silent) {
        ms = (monotonic_ns() - silent_start_ns) / ns_per_ms;
    } else if (mode == clock_playing) {
        MMTIME position{};
        position.wType = TIME_SAMPLES;
        const std::int64_t now = monotonic_ns();
        if (waveOutGetPosition(device, &position, sizeof position) != MMSYSERR_NOERROR ||
            position.wType != TIME_SAMPLES) {
            start_silent(last_ms);
            return last_ms;
        }
        // A 32-bit count of frames: it wraps after a day at 48 kHz.
        const DWORD moved = position.u.sample - last_position;
        last_position = position.u.sample;
        if (moved != 0) {
            position_frames += moved;
            moved_ns = now;
        } else if (now - moved_ns > stall_ns) {
            start_silent(last_ms);
            return last_ms;
        }
        ms = (frames_to_ns(position_frames) - latency_ns) / ns_per_ms;
    }
    if (ms > INT32_MAX) ms = INT32_MAX;
    if (ms > last_ms) last_ms = static_cast<std::int32_t>(ms);
    return last_ms;
}

std::int32_t music_time_ahead(std::int64_t) { return music_time(); }

void music_shutdown()
{
    close_stream();
    mode = clock_stopped;
}

const char* music_problem() { return has_problem ? problem : nullptr; }
