// Linux: with no sound card, libasound reports its failed probes on standard
// error, right over the picture.
#include "host/unix/audio_quiet.h"

#include <alsa/asoundlib.h>

namespace {
void alsa_quiet(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

void audio_quiet_system_errors() { snd_lib_error_set_handler(alsa_quiet); }
