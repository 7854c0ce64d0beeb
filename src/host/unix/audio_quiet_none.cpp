// Systems without ALSA: their audio libraries do not write to standard error.
#include "host/unix/audio_quiet.h"

void audio_quiet_system_errors() {}
