// The music clock's device on Windows' waveOut: a feeder thread keeps a ring
// of buffers queued on the device, filling (music_fill) each one the device
// has finished with; the clock is the device's own play position
// (waveOutGetPosition), which on Windows already is the sample at the
// speakers, less any extra latency the user gives.
#include "sound/music_device.h"

#include <windows.h>

#include <atomic>

#include "base/monotonic_clock.h"
#include "sound/music.h"

namespace {

constexpr int ring_buffers = 32;
constexpr std::int64_t ns_per_ms = 1000000;
// A position that stands still this long, with buffers queued, means the
// device is gone: the clock goes on in real time rather than stand still.
constexpr std::int64_t stall_ns = 500 * ns_per_ms;

HWAVEOUT device = nullptr;         // the open device, nullptr when none
HANDLE buffer_done = nullptr;      // signalled by the device when a buffer is done
HANDLE feeder = nullptr;           // the feeder thread
std::atomic<bool> feeding{false};  // cleared to stop the feeder
WAVEHDR ring[ring_buffers];
std::int16_t ring_samples[ring_buffers][music_buffer_frames * music_channels];

std::int64_t latency_ns = 0;       // subtracted from the device position
bool device_paused = false;        // paused by the viewer: a standing position is no stall
DWORD last_position = 0;           // the device position at the previous read (frames, wraps)
std::int64_t position_frames = 0;  // the device position without the wrap, since the clock's origin
std::int64_t moved_ns = 0;         // when the position last moved

// The feeder thread: no allocation, locks or I/O besides the device's own.
void fill_buffer(WAVEHDR& header) { music_fill(reinterpret_cast<std::int16_t*>(header.lpData), music_buffer_frames); }

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

void device_problem(const char* what, MMRESULT result)
{
    char text[MAXERRORLENGTH] = "";
    waveOutGetErrorTextA(result, text, sizeof text);
    char shown[MAXERRORLENGTH];
    printable_copy(text, shown, sizeof shown);
    music_set_problem("no sound: %s (%s)", what, shown);
}

void stop_feeder()
{
    if (!feeder) return;
    feeding = false;
    SetEvent(buffer_done);
    WaitForSingleObject(feeder, INFINITE);
    CloseHandle(feeder);
    feeder = nullptr;
}

bool start_feeder()
{
    feeding = true;
    feeder = CreateThread(nullptr, 0, feed, nullptr, 0, nullptr);
    return feeder != nullptr;
}

// The device's position counts from 0 again: the clock's origin is now.
void set_origin()
{
    last_position = 0;
    position_frames = 0;
    moved_ns = monotonic_ns();
}

// With the device paused and every buffer done: fills and queues them all.
void queue_ring()
{
    for (WAVEHDR& header : ring) {
        fill_buffer(header);
        header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
        waveOutWrite(device, &header, sizeof header);
    }
}

std::int64_t frames_to_ns(std::int64_t frames)
{
    const int rate = music_playing.rate;
    return frames / rate * 1000000000 + frames % rate * 1000000000 / rate;
}

}  // namespace

// The system's codec decodes a whole track in well under a second, at the
// music start.
void device_prepare(const char*) {}

decode_status device_decode(const char* name, decoded_audio& track, char* why, int size)
{
    return audio_decode(name, track, why, size);
}

bool device_open(int latency_ms)
{
    const int rate = music_playing.rate;
    if (!buffer_done) buffer_done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = music_channels;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = music_channels * 2;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    const MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(buffer_done), 0,
                                        CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        device = nullptr;
        device_problem("no audio device", result);
        return false;
    }
    latency_ns = latency_ms < 0 ? 0 : latency_ms * ns_per_ms;
    device_paused = false;
    // Paused while the ring fills, so the position starts with the first sample.
    waveOutPause(device);
    for (int i = 0; i < ring_buffers; ++i) {
        ring[i] = WAVEHDR{};
        ring[i].lpData = reinterpret_cast<LPSTR>(ring_samples[i]);
        ring[i].dwBufferLength = sizeof ring_samples[i];
        if (waveOutPrepareHeader(device, &ring[i], sizeof ring[i]) != MMSYSERR_NOERROR) {
            music_set_problem("no sound: the audio device takes no buffers");
            return false;
        }
        ring[i].dwFlags |= WHDR_DONE;
    }
    queue_ring();
    set_origin();
    if (!start_feeder()) {
        music_set_problem("no sound: cannot start the audio thread");
        return false;
    }
    return true;
}

void device_run() { waveOutRestart(device); }

std::int64_t device_stream_position() { return position_frames; }

bool device_time(std::int64_t, std::int64_t& ms)
{
    MMTIME position{};
    position.wType = TIME_SAMPLES;
    const std::int64_t now = monotonic_ns();
    if (waveOutGetPosition(device, &position, sizeof position) != MMSYSERR_NOERROR ||
        position.wType != TIME_SAMPLES)
        return false;
    // A 32-bit count of frames: it wraps after a day at 48 kHz.
    const DWORD moved = position.u.sample - last_position;
    last_position = position.u.sample;
    if (moved != 0) {
        position_frames += moved;
        moved_ns = now;
    } else if (!device_paused && now - moved_ns > stall_ns) {
        return false;
    }
    ms = (frames_to_ns(position_frames) - latency_ns) / ns_per_ms;
    return true;
}

void device_pause()
{
    device_paused = true;
    waveOutPause(device);
}

void device_resume()
{
    device_paused = false;
    moved_ns = monotonic_ns();
    waveOutRestart(device);
}

// waveOutReset gives every buffer back and the position goes to 0.
void device_seek(std::int32_t ms, bool paused)
{
    stop_feeder();
    waveOutReset(device);
    waveOutPause(device);
    music_move_source(ms);
    queue_ring();
    set_origin();
    if (!start_feeder()) {
        music_set_problem("no sound: cannot start the audio thread");
        return;  // the position stands still: the clock goes on silently
    }
    device_paused = paused;
    if (!paused) waveOutRestart(device);
}

// Stops the feeder, then the device; only then may the samples go.
void device_close()
{
    stop_feeder();
    if (device) {
        waveOutReset(device);
        for (WAVEHDR& header : ring)
            if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(device, &header, sizeof header);
        waveOutClose(device);
        device = nullptr;
    }
}

void device_shutdown() { device_close(); }

