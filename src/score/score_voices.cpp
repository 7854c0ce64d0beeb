// The voices: a saw-and-sine bass and a detuned six-saw pad through filters,
// a pulse arpeggio, a two-saw lead with glide and vibrato, saw-chord stabs, a
// falling zap, a band-passed noise riser, a bending boom with rumble and an
// FM chime.
#include "score/score_voices.h"

#include <cmath>
#include <cstring>

#include "score/score_dsp.h"

namespace {

struct bass_voice { oscillator saw, sub; float amp, gate, sweep; filter_state filter; };
struct pad_slot { oscillator saw[6]; float level, target; };
struct pad_voice { pad_slot slot[2]; int current; int notes[3]; float cutoff; oscillator lfo; filter_state left, right; };
struct arp_voice { oscillator pulse; float amp, gain, pan, place; filter_state filter; };  // place follows pan
struct lead_voice { oscillator a, b, vibrato; float hz, target_hz, amp, gate, sweep, depth; filter_state filter; };
struct stab_voice { oscillator saw[4]; float amp, gain, sweep; std::uint32_t hold; filter_state left, right; };
struct zap_voice { oscillator tone; float hz, amp; };
struct riser_voice { float level, step, progress, hz, glide; filter_state left, right; };
struct boom_voice { oscillator body; float amp, bend, fall, rumble, rumble_fall; filter_state filter; };
struct chime_voice { oscillator carrier, modulator; float amp, index, pan; };

struct voice_bank {
    bass_voice bass;
    pad_voice pad;
    arp_voice arp;
    lead_voice lead;
    stab_voice stab;
    zap_voice zap;
    riser_voice riser;
    boom_voice boom;
    chime_voice chime;
};

voice_bank voices;  // the synthesiser's one set

constexpr float bass_attack = approach(0.002), bass_release = approach(0.025), bass_sweep_fall = decay(0.09);
constexpr float pad_attack = approach(0.18), pad_release = approach(0.35);
constexpr float arp_fall = decay(0.085);
constexpr float onset_glide = approach(0.0004);  // a new note's level arrives within a millisecond
constexpr filter_coeffs arp_filter = filter_design(3000.0f, 0.7f);
constexpr float lead_attack = approach(0.006), lead_release = approach(0.06), lead_glide = approach(0.018);
constexpr float lead_sweep_fall = decay(0.25), lead_depth_rise = approach(0.3);
constexpr float stab_fall = decay(0.07), stab_sweep_fall = decay(0.09);
constexpr float zap_fall = decay(0.035), zap_glide = decay(0.022);
constexpr float boom_bend_fall = decay(0.12);
constexpr float chime_fall = decay(0.8), chime_index_fall = decay(0.25);
constexpr filter_coeffs rumble_filter = filter_design(380.0f, 0.7f);

void bass_note(bass_voice& v, int note)
{
    osc_tune(v.saw, note_hz(note));
    osc_tune(v.sub, note_hz(note));
    v.gate = 1.0f;
    v.sweep = 1.0f;
}

inline float bass_next(bass_voice& v)
{
    v.amp += (v.gate - v.amp) * (v.gate > v.amp ? bass_attack : bass_release);
    if (v.gate == 0.0f && v.amp < silent) return 0.0f;
    osc_advance(v.sub);
    const float raw = saw_next(v.saw) * 0.55f + sin_turns(v.sub.phase) * 0.8f;
    const float low = filter_step(v.filter, filter_design(110.0f + 1500.0f * v.sweep, 1.1f), raw).low;
    v.sweep *= bass_sweep_fall;
    return low * v.amp;
}

// Each chord starts in the other slot and the old one fades: a soft change.
void pad_set(pad_voice& v, const int (&notes)[3])
{
    if (v.slot[v.current].target > 0.0f && notes[0] == v.notes[0] && notes[1] == v.notes[1] && notes[2] == v.notes[2]) return;
    constexpr float detune[2] = {0.9942f, 1.0058f};  // a tenth of a semitone each way
    v.slot[v.current].target = 0.0f;
    v.current ^= 1;
    for (int i = 0; i < 3; ++i) v.notes[i] = notes[i];
    pad_slot& s = v.slot[v.current];
    // The phases run on: a slot that is still fading changes pitch without a click.
    for (int i = 0; i < 6; ++i) osc_tune(s.saw[i], note_hz(notes[i / 2]) * detune[i % 2]);
    s.target = 1.0f;
}

inline void pad_next(pad_voice& v, float& l, float& r)
{
    float sl = 0.0f, sr = 0.0f;
    for (pad_slot& s : v.slot) {
        s.level += (s.target - s.level) * (s.target > s.level ? pad_attack : pad_release);
        if (s.target == 0.0f && s.level < silent) continue;
        const float a = saw_next(s.saw[0]) + saw_next(s.saw[2]) * 0.9f + saw_next(s.saw[4]) * 0.8f;
        const float b = saw_next(s.saw[1]) + saw_next(s.saw[3]) * 0.9f + saw_next(s.saw[5]) * 0.8f;
        sl += (a * 0.75f + b * 0.25f) * s.level;
        sr += (b * 0.75f + a * 0.25f) * s.level;
    }
    osc_advance(v.lfo);
    const filter_coeffs c = filter_design(v.cutoff * (1.0f + 0.25f * sin_turns(v.lfo.phase)), 0.8f);
    l += filter_step(v.left, c, sl).low;
    r += filter_step(v.right, c, sr).low;
}

void arp_note(arp_voice& v, int note, float pan)
{
    osc_tune(v.pulse, note_hz(note));
    v.amp = 1.0f;
    v.pan = pan;
}

inline float arp_next(arp_voice& v)
{
    v.gain += (v.amp - v.gain) * onset_glide;
    v.place += (v.pan - v.place) * onset_glide;
    if (v.gain < silent) return 0.0f;
    osc_advance(v.pulse);
    const float p = v.pulse.phase;
    const float q = wrap(p + 0.25f);  // a quarter-width pulse
    const float raw = saw_value(p, v.pulse.step) - saw_value(q, v.pulse.step);
    const float out = filter_step(v.filter, arp_filter, raw).low * v.gain;
    v.amp *= arp_fall;
    return out;
}

void lead_note(lead_voice& v, int note)
{
    v.target_hz = note_hz(note);
    if (v.amp < 0.02f) v.hz = v.target_hz;  // glide only between joined notes
    v.gate = 1.0f;
    v.sweep = 1.0f;
    v.depth = 0.0f;
}

inline float lead_next(lead_voice& v)
{
    v.amp += (v.gate - v.amp) * (v.gate > v.amp ? lead_attack : lead_release);
    if (v.gate == 0.0f && v.amp < silent) return 0.0f;
    v.hz += (v.target_hz - v.hz) * lead_glide;
    v.depth += (1.0f - v.depth) * lead_depth_rise;
    osc_advance(v.vibrato);
    const float hz = v.hz * (1.0f + 0.007f * v.depth * sin_turns(v.vibrato.phase));
    osc_tune(v.a, hz);
    osc_tune(v.b, hz * 1.004f);
    const float raw = saw_next(v.a) + saw_next(v.b);
    const float out = filter_step(v.filter, filter_design(900.0f + 3800.0f * v.sweep, 1.3f), raw).low;
    v.sweep *= lead_sweep_fall;
    return out * v.amp * (0.85f + 0.15f * v.gate);
}

// A stab: a chord of four saws through a closing filter, held, then let go.
void stab_hit(stab_voice& v, const int (&notes)[4], std::uint32_t hold)
{
    for (int i = 0; i < 4; ++i) osc_tune(v.saw[i], note_hz(notes[i]));
    v.amp = 1.0f;
    v.sweep = 1.0f;
    v.hold = hold;
}

inline void stab_next(stab_voice& v, float noise, float& l, float& r)
{
    v.gain += (v.amp - v.gain) * onset_glide;
    if (v.gain < silent) return;
    const float a = saw_next(v.saw[0]) + saw_next(v.saw[2]);
    const float b = saw_next(v.saw[1]) + saw_next(v.saw[3]);
    const filter_coeffs c = filter_design(500.0f + 7000.0f * v.sweep, 0.9f);
    const float burst = noise * v.sweep * v.sweep * 0.5f;
    l += filter_step(v.left, c, a + b * 0.4f + burst).low * v.gain;
    r += filter_step(v.right, c, b + a * 0.4f + burst).low * v.gain;
    v.sweep *= stab_sweep_fall;
    if (v.hold > 0) --v.hold;
    else v.amp *= stab_fall;
}

inline float zap_next(zap_voice& v)
{
    if (v.amp < silent) return 0.0f;
    osc_tune(v.tone, v.hz);
    osc_advance(v.tone);
    const float out = sin_turns(v.tone.phase) * v.amp;
    v.hz = 140.0f + (v.hz - 140.0f) * zap_glide;
    v.amp *= zap_fall;
    return out;
}

void riser_start(riser_voice& v, std::uint32_t frames)
{
    v.progress = 0.0f;
    v.step = 1.0f / static_cast<float>(frames);
    v.hz = 250.0f;
    v.glide = static_cast<float>(std::exp(std::log(8000.0 / 250.0) / frames));
    v.level = 1.0f;
}

inline void riser_next(riser_voice& v, float noise_l, float noise_r, float& l, float& r)
{
    if (v.level == 0.0f) return;
    const filter_coeffs c = filter_design(v.hz, 2.5f);
    const float gain = v.progress * v.progress;
    l += filter_step(v.left, c, noise_l).band * gain;
    r += filter_step(v.right, c, noise_r).band * gain;
    v.hz *= v.glide;
    v.progress += v.step;
    if (v.progress >= 1.0f) v.level = 0.0f;
}

void boom_hit(boom_voice& v, float velocity, float seconds)
{
    v.body.phase = 0.0f;
    v.amp = velocity;
    v.bend = 1.0f;
    v.fall = decay(seconds);
    v.rumble = velocity;
    v.rumble_fall = decay(seconds * 0.5f);
}

inline float boom_next(boom_voice& v, float noise)
{
    if (v.amp < silent) return 0.0f;
    osc_tune(v.body, 34.0f + 90.0f * v.bend);
    osc_advance(v.body);
    const float out = sin_turns(v.body.phase) * v.amp + filter_step(v.filter, rumble_filter, noise).low * v.rumble;
    v.amp *= v.fall;
    v.bend *= boom_bend_fall;
    v.rumble *= v.rumble_fall;
    return out;
}

void chime_hit(chime_voice& v, int note, float pan)
{
    osc_tune(v.carrier, note_hz(note));
    osc_tune(v.modulator, note_hz(note) * 3.5f);
    v.carrier.phase = 0.0f;
    v.modulator.phase = 0.0f;
    v.amp = 1.0f;
    v.index = 1.0f;
    v.pan = pan;
}

inline float chime_next(chime_voice& v)
{
    if (v.amp < silent) return 0.0f;
    osc_advance(v.carrier);
    osc_advance(v.modulator);
    const float m = 0.4f * v.index * sin_turns(v.modulator.phase);  // in turns, |m| < 1
    const float out = sin_turns(wrap(v.carrier.phase + m + 1.0f)) * v.amp;
    v.amp *= chime_fall;
    v.index *= chime_index_fall;
    return out;
}

}  // namespace

void voices_reset()
{
    std::memset(&voices, 0, sizeof voices);
    osc_tune(voices.pad.lfo, 0.09f);
    osc_tune(voices.lead.vibrato, 5.3f);
}

void voices_next(float noise_a, float noise_b, voice_frame& out)
{
    out.bass = bass_next(voices.bass);
    float pl = 0.0f, pr = 0.0f;
    pad_next(voices.pad, pl, pr);
    out.pad_left = pl;
    out.pad_right = pr;
    out.arp = arp_next(voices.arp);
    out.arp_place = voices.arp.place;
    out.lead = lead_next(voices.lead);
    float sl = 0.0f, sr = 0.0f;
    stab_next(voices.stab, noise_b, sl, sr);
    out.stab_left = sl;
    out.stab_right = sr;
    out.zap = zap_next(voices.zap);
    float rl = 0.0f, rr = 0.0f;
    riser_next(voices.riser, noise_a, noise_b, rl, rr);
    out.riser_left = rl;
    out.riser_right = rr;
    out.boom = boom_next(voices.boom, noise_b);
    out.chime = chime_next(voices.chime);
    out.chime_pan = voices.chime.pan;
}

void synth_bass_note(int note) { bass_note(voices.bass, note); }
void synth_bass_off() { voices.bass.gate = 0.0f; }
void synth_pad_chord(const int (&notes)[3]) { pad_set(voices.pad, notes); }
void synth_pad_brightness(float hz) { voices.pad.cutoff = hz; }
void synth_arp_note(int note, float pan) { arp_note(voices.arp, note, pan); }
void synth_lead_note(int note) { lead_note(voices.lead, note); }
void synth_lead_off() { voices.lead.gate = 0.0f; }
void synth_stab(const int (&notes)[4], std::uint32_t hold_frames) { stab_hit(voices.stab, notes, hold_frames); }

void synth_zap()
{
    voices.zap.tone.phase = 0.0f;
    voices.zap.hz = 2600.0f;
    voices.zap.amp = 1.0f;
}

void synth_riser(std::uint32_t frames) { riser_start(voices.riser, frames); }
void synth_boom(float velocity, float seconds) { boom_hit(voices.boom, velocity, seconds); }
void synth_chime(int note, float pan) { chime_hit(voices.chime, note, pan); }
