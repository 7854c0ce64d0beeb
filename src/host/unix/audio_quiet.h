// Keeps the system's audio library from writing its own messages to standard
// error, which is the picture while the show runs.
#pragma once

// Once, before the audio subsystem starts. Does nothing where the library
// has nothing to say (every system but Linux with ALSA).
void audio_quiet_system_errors();
