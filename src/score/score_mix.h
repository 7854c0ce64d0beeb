// The synthesiser's mix, one for the program: each frame the drums and the
// voices over two fresh noise streams, their levels to the left and the right
// and their sends to an echo and a small room, then the master stage (the
// fade, a DC blocker and a soft limiter that never passes -1 dBFS) to 16-bit
// stereo at score_rate. It runs sample by sample: what it plays depends only
// on the triggers and the frames rendered between them. Everything here is
// real-time safe: no allocation, locks or I/O.
#pragma once
#include <cstdint>

// The whole synthesiser at rest: drums and voices, the echo and the room
// emptied, the noise seeded again, the master level full; the voice mask stays.
void mix_reset();
// Which voices are heard, as score_voice bits; the others run on silently.
void mix_set_voices(std::uint32_t mask);
// Renders the next frames, stereo interleaved.
void mix_render(std::int16_t* out, std::uint32_t frames);
// The master level falls to nothing over frames, from the next frame.
void mix_fade_out(std::uint32_t frames);
