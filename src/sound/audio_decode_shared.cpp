// The parts of soundtrack loading that every system shares (audio_decode.h);
// the decoders themselves are host/unix/audio_decode_mpg123.cpp (libmpg123) and
// host/windows/audio_decode_acm.cpp (the system's MP3 codec).
#include "sound/audio_decode.h"

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
