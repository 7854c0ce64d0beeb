// Soundtrack loading: checks, without ever blocking on it, that a file is a
// non-empty regular file, and decodes its whole MP3 stream into memory as
// stereo 16-bit samples at the stream's own rate.
#pragma once
#include <atomic>
#include <cstdint>

// The decoders' messages quote file names with printable_copy.
#include "base/printable.h"

// A longer stream is cut here: it keeps the decode short and the memory bounded
// (ten minutes of 48 kHz stereo is 110 MB).
inline constexpr std::uint32_t decode_max_seconds = 600;

struct decoded_audio {
    std::int16_t* samples = nullptr;  // frames x 2 values, left then right; malloc'd
    std::uint32_t frames = 0;         // > 0 when decoded
    int rate = 0;                     // frames a second, one of the MPEG rates 8000..48000
};

enum decode_status {
    decode_ok,      // audio holds the stream
    decode_absent,  // there is no file by that name
    decode_failed,  // the file exists but cannot be played; why says so
};

// Decodes the file called name into audio (emptied first). A decoder error
// before the first second of sound, or no sound at all, rejects the file;
// a later error or a truncated file keeps what was decoded up to there.
// On decode_failed, writes one line (no newline) into why, size bytes.
// A set *stop (from another thread) ends the decode within about a second
// of sound, as decode_failed.
decode_status audio_decode(const char* name, decoded_audio& audio, char* why, int size,
                           const std::atomic<bool>* stop = nullptr);

// Frees the samples and empties audio; safe on an empty one.
void audio_free(decoded_audio& audio);
