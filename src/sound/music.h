// The soundtrack and the music clock: plays an MP3 file once (or, when there
// is no such file, the built-in score) and reports its play position in
// milliseconds; without anything playing the clock runs silently in real time
// from the music start. The viewer may pause it and move it.
#pragma once
#include <cstdint>

inline constexpr int music_buffer_frames = 1024;  // frames per audio callback

struct music_options {
    bool mute = false;       // never open an audio device; silent real-time clock
    bool score = false;      // play the built-in score even when the file exists
    int latency_ms = -1;     // output latency to compensate; -1: one audio buffer
};

// Once, before music_start.
void music_configure(const music_options& options);
// Starts decoding the soundtrack on a thread of its own, so that a later
// music_start with the same name plays at once. Nothing when muted or
// playing the score.
void music_prepare(const char* name);
// Starts the soundtrack: 1 when a stream was started (the file, or the score
// when the file is absent or the score was asked for); 2 when the current
// stream is still playing (nothing changes then); 0 when nothing plays (muted,
// the file cannot be played, or no audio device): the silent clock runs then.
// Every start but a 2 begins the clock again at 0.
int music_start(const char* name);
// Milliseconds of play time: the audible position of the stream, running on in
// real time after its end. 0 before the first start; never less than the
// previous read; main thread only.
std::int32_t music_time();
// The same, for the moment lead_ns nanoseconds from now (a frame's present):
// what will be heard then, when the stream plays on as it does.
std::int32_t music_time_ahead(std::int64_t lead_ns);
// Around a stop of the process (Ctrl-Z): the silent clock stands still from
// music_suspend until music_resume, as a playing stream does with the
// process stopped. Main thread only.
void music_suspend();
void music_resume();
// The viewer's pause: the sound stops and the clock stands (true) until
// resumed (false), where both go on from where they stood. Main thread only.
void music_pause(bool paused);
// Moves the sound and the clock to ms of music time (back or forward, the
// score rendered there); a paused clock stays paused there. Main thread only.
void music_seek(std::int32_t ms);
// Stops the audio device and frees the stream; a decode still under way
// stops within about a second of sound decoded. The clock stays where it was.
// Safe to call more than once.
void music_shutdown();
// Why there is no sound, for one line on standard error after the terminal is
// restored; nullptr when there is nothing to say (also when muted).
const char* music_problem();
