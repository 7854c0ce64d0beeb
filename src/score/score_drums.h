// The synthesiser's drums: a kick, a snare, hats and a crash, over the noise
// the mix draws each frame. What they play depends only on their triggers and
// the frames between them. Real-time safe: no allocation, locks or I/O.
#pragma once

// One frame of the drums, dry, as the mix takes them.
struct drum_frame {
    float kick, snare, hat;
    float crash_left, crash_right;  // the crash's own noise each side
};

// All drums at rest (the hat closed); by the mix's reset.
void drums_reset();
// Every drum one frame on, over the frame's two noise streams.
void drums_next(float noise_a, float noise_b, drum_frame& out);

// Triggers take effect from the next frame; velocities from 0 to about 1.
void synth_kick(float velocity);
void synth_snare(float velocity);
void synth_hat(float velocity, bool open);
void synth_crash(float velocity);
