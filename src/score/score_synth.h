// The score's synthesiser, one for the program: drum voices (kick, snare, hats,
// crash), a bass, a pad, an arpeggio, a lead, chord stabs and the show's own
// voices (zap, riser, boom, chime) over our own noise source, with an echo and
// a small room, mixed to 16-bit stereo at score_rate through a DC blocker and
// a soft limiter that never passes -1 dBFS. It runs sample by sample: what it
// plays depends only on its triggers and the frames rendered between them.
// Everything here is real-time safe: no allocation, locks or I/O.
#pragma once
#include <cstdint>

// All voices at rest, echo and room emptied, the noise seeded again, the
// master level full; the voice mask stays.
void synth_reset();
// Which voices are heard, as score_voice bits; the others run on silently.
void synth_set_voices(std::uint32_t mask);
// Renders the next frames, stereo interleaved.
void synth_render(std::int16_t* out, std::uint32_t frames);

// Triggers take effect from the next rendered frame. Notes are MIDI numbers,
// pan runs from 0 (left) to 1 (right), velocities from 0 to about 1.
void synth_kick(float velocity);
void synth_snare(float velocity);
void synth_hat(float velocity, bool open);
void synth_crash(float velocity);
void synth_bass_note(int note);  // sounds until synth_bass_off; its filter snaps open and closes
void synth_bass_off();
// The pad's chord: the old one fades as the new one swells; the same chord
// again changes nothing. brightness is its filter's cutoff in Hz.
void synth_pad_chord(const int (&notes)[3]);
void synth_pad_brightness(float hz);
void synth_arp_note(int note, float pan);  // a short pluck
void synth_lead_note(int note);            // glides from a note still sounding
void synth_lead_off();
// A chord of four saws through a closing filter, held for hold_frames, then let go.
void synth_stab(const int (&notes)[4], std::uint32_t hold_frames);
void synth_zap();                              // a falling 70 ms tone
void synth_riser(std::uint32_t frames);        // a noise swell that peaks after frames, then stops
void synth_boom(float velocity, float seconds);  // a low drop with rumble dying over seconds
void synth_chime(int note, float pan);         // a bell
void synth_fade_out(std::uint32_t frames);     // the master level falls to nothing over frames
