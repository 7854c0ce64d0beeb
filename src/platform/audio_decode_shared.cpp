// The parts of soundtrack loading that every system shares (audio_decode.h);
// the decoders themselves are audio_decode.cpp (libmpg123) and
// audio_decode_win.cpp (the system's MP3 codec).
#include "platform/audio_decode.h"

#include <cstdlib>

void printable_copy(const char* text, char* out, int size)
{
    int n = 0;
    for (; text[n] && n < size - 1; ++n) {
        const unsigned char c = static_cast<unsigned char>(text[n]);
        out[n] = c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
    out[n] = '\0';
}

void audio_free(decoded_audio& audio)
{
    std::free(audio.samples);
    audio = decoded_audio{};
}
