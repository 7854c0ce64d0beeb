// The parts of soundtrack loading that every system shares (audio_decode.h);
// the decoders themselves are host/unix/audio_decode_mpg123.cpp (libmpg123) and
// host/windows/audio_decode_acm.cpp (the system's MP3 codec).
#include "sound/audio_decode.h"

#include <cstdlib>

void audio_free(decoded_audio& audio)
{
    std::free(audio.samples);
    audio = decoded_audio{};
}
