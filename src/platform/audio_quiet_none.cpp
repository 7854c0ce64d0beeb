// Systems without ALSA: their audio libraries do not write to standard error.
#include "platform/audio_quiet.h"

void audio_quiet_system_errors() {}
