// The soundtrack and the music clock: plays an MP3 file once and reports its
// play position in milliseconds; without a playable file the clock runs
// silently in real time from the music start.
#pragma once
#include <cstdint>

struct music_options {
    bool mute = false;       // never open an audio device; silent real-time clock
    bool score = false;      // play the built-in score even when the file exists
    int latency_ms = -1;     // output latency to compensate; -1: one audio buffer
};

// Once, before music_start.
void music_configure(const music_options& options);
// 0 when the file cannot be opened, 1 when a stream was started, 2 when the
// current stream is still playing (nothing changes then).
int music_start(const char* name);
// Milliseconds of play time; monotonic, cheap, callable many times a frame.
std::int32_t music_time();
// Stops the audio device; safe to call more than once.
void music_shutdown();
// Why there is no sound, for one line on standard error after the terminal is
// restored; nullptr when there is nothing to say.
const char* music_problem();
