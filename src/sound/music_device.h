// The music clock's per-system half, behind music.h: the audio device that
// plays the stream source (host/unix/music_sdl.cpp on SDL2, host/windows/music_waveout.cpp on
// waveOut). music.cpp keeps what every system shares: the start policy, the
// silent clock, the clamp, the copy-or-render of each buffer, pause and seek.
#pragma once
#include <cstdint>

#include "sound/audio_decode.h"

inline constexpr int music_channels = 2;  // stereo interleaved int16

// What the device plays; moved only while the device's thread is held.
struct music_source {
    const std::int16_t* samples;  // the decoded file, or nullptr for the score
    std::uint32_t length;         // frames in the stream
    std::uint32_t cursor;         // frames of it handed to the device so far
    int rate;                     // frames a second
};
extern music_source music_playing;

// Fills one device buffer: the file's next frames (silence after its end) or
// the score's. The device's thread only; no allocation, locks or I/O.
void music_fill(std::int16_t* out, std::uint32_t frames);
// Moves the source to music time ms (the score renders its way there). Only
// while the device's thread is held (device_seek).
void music_move_source(std::int32_t ms);
// Why there is no sound, printf-style; music_problem returns it.
void music_set_problem(const char* format, ...);

// Starts decoding name ahead where the system does so (nullptr: nothing to
// decode), for device_decode to take.
void device_prepare(const char* name);
// The soundtrack's samples for name into track (the decode ahead, where the
// system has one).
decode_status device_decode(const char* name, decoded_audio& track, char* why, int size);
// Opens the device for music_playing at its rate, paused, its clock at 0;
// latency_ms < 0 asks for the system's default. False, a problem set, when
// there is none.
bool device_open(int latency_ms);
// Starts the device playing.
void device_run();
// Frames of the stream played, for the "still playing" test of a second start.
std::int64_t device_stream_position();
// Milliseconds of stream played since the clock's origin (the open or the
// last seek), at lead_ns from now where the device can tell; may be negative
// while the latency runs. False when the device has stalled (gone).
bool device_time(std::int64_t lead_ns, std::int64_t& ms);
// Stops the device where it is; its clock stands.
void device_pause();
// Plays on from where it stopped.
void device_resume();
// Holds the device's thread, calls music_move_source(ms), makes now the
// clock's origin and plays on unless paused.
void device_seek(std::int32_t ms, bool paused);
// Stops and closes the device; music_playing is no longer read. Safe when none.
void device_close();
// Closes the device and everything else of the system's audio.
void device_shutdown();
