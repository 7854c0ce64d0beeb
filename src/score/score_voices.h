// The synthesiser's voices besides the drums: a bass, a pad, an arpeggio, a
// lead, chord stabs and the show's own voices (zap, riser, boom, chime), over
// the noise the mix draws each frame. What they play depends only on their
// triggers and the frames between them. Real-time safe: no allocation, locks
// or I/O.
#pragma once
#include <cstdint>

// One frame of the voices, dry, as the mix takes them. Places and pans run
// from 0 (left) to 1 (right).
struct voice_frame {
    float bass;
    float pad_left, pad_right;
    float arp, arp_place;  // the arpeggio's place glides to each note's pan
    float lead;
    float stab_left, stab_right;
    float zap;
    float riser_left, riser_right;
    float boom;
    float chime, chime_pan;
};

// All voices at rest, the pad's and the lead's wobbles at their rates; by
// the mix's reset.
void voices_reset();
// Every voice one frame on, over the frame's two noise streams.
void voices_next(float noise_a, float noise_b, voice_frame& out);

// Triggers take effect from the next frame. Notes are MIDI numbers, pan runs
// from 0 (left) to 1 (right), velocities from 0 to about 1.
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
void synth_zap();                                // a falling 70 ms tone
void synth_riser(std::uint32_t frames);          // a noise swell that peaks after frames, then stops
void synth_boom(float velocity, float seconds);  // a low drop with rumble dying over seconds
void synth_chime(int note, float pan);           // a bell
