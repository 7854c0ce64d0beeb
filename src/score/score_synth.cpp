// The score's synthesiser: voices built from phase oscillators, smoothed
// sawtooths, one-pole envelopes and trapezoidal state-variable filters over an
// xorshift noise source, an echo and a small room, and the mix.
#include "score/score_synth.h"

#include <cmath>
#include <cstring>

#include "score/score.h"

namespace {

constexpr float rate = static_cast<float>(score_rate);  // frames a second
constexpr int sine_size = 1024;

constexpr double pi = 3.14159265358979323846;

constexpr double series_sin(double x)  // x in [-pi, pi]
{
    double term = x, sum = x;
    for (int k = 1; k < 14; ++k) {
        term *= -x * x / ((2.0 * k) * (2.0 * k + 1.0));
        sum += term;
    }
    return sum;
}

struct sine_table { float v[sine_size + 1]; };

constexpr sine_table make_sine()
{
    sine_table t{};
    for (int i = 0; i <= sine_size; ++i) {
        double x = 2.0 * pi * i / sine_size;
        if (x > pi) x -= 2.0 * pi;
        t.v[i] = static_cast<float>(series_sin(x));
    }
    return t;
}

constexpr sine_table sine = make_sine();

// sin(2 pi phase) for phase in [0, 1), interpolated.
constexpr float sin_turns(float phase)
{
    const float x = phase * sine_size;
    const int i = static_cast<int>(x);
    return sine.v[i] + (x - static_cast<float>(i)) * (sine.v[i + 1] - sine.v[i]);
}

constexpr float wrap(float phase) { return phase - static_cast<float>(static_cast<int>(phase)); }

struct pitch_table { float hz[128]; };

constexpr pitch_table make_pitches()
{
    constexpr double semitone = 1.0594630943592952646;
    pitch_table t{};
    for (int m = 0; m < 128; ++m) {
        double f = 440.0;
        for (int i = 69; i < m; ++i) f *= semitone;
        for (int i = m; i < 69; ++i) f /= semitone;
        t.hz[m] = static_cast<float>(f);
    }
    return t;
}

constexpr pitch_table pitches = make_pitches();

// The per-sample factor of an exponential decay with time constant seconds.
constexpr float decay(double seconds)
{
    const double x = 1.0 / (seconds * score_rate);
    return static_cast<float>(1.0 - x + x * x / 2.0 - x * x * x / 6.0 + x * x * x * x / 24.0);
}

// The per-sample step of a one-pole smoother reaching 63% in seconds.
constexpr float approach(double seconds) { return 1.0f - decay(seconds); }

// Our own noise: xorshift32, a fixed seed, two streams drawn every sample.
struct noise_source { std::uint32_t state; };

inline float noise_next(noise_source& n)
{
    std::uint32_t x = n.state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    n.state = x;
    return static_cast<float>(static_cast<std::int32_t>(x)) * (1.0f / 2147483648.0f);
}

struct oscillator { float phase; float step; };  // phase in turns [0, 1)

inline void osc_advance(oscillator& o)
{
    o.phase += o.step;
    if (o.phase >= 1.0f) o.phase -= 1.0f;
}

inline void osc_tune(oscillator& o, float hz) { o.step = hz * (1.0f / rate); }

// A sawtooth with its jump smoothed (polyBLEP), so high notes do not alias.
inline float saw_value(float phase, float step)
{
    float v = 2.0f * phase - 1.0f;
    if (phase < step) {
        const float x = phase / step;
        v -= x + x - x * x - 1.0f;
    } else if (phase > 1.0f - step) {
        const float x = (phase - 1.0f) / step;
        v -= x * x + x + x + 1.0f;
    }
    return v;
}

inline float saw_next(oscillator& o)
{
    osc_advance(o);
    return saw_value(o.phase, o.step);
}

// State-variable filter (trapezoidal): stable at any cutoff, low and band pass.
struct filter_coeffs { float a1, a2, a3, k; };
struct filter_state { float ic1, ic2; };

constexpr filter_coeffs filter_design(float hz, float q)
{
    const float turns = (hz < 0.45f * rate ? hz : 0.45f * rate) * (0.5f / rate);
    const float g = sin_turns(turns) / sin_turns(turns + 0.25f);  // tan(pi f / rate)
    const float k = 1.0f / q;
    const float a1 = 1.0f / (1.0f + g * (g + k));
    return {a1, g * a1, g * g * a1, k};
}

struct filter_out { float low, band, high; };

inline filter_out filter_step(filter_state& s, const filter_coeffs& c, float in)
{
    const float v3 = in - s.ic2;
    const float v1 = c.a1 * s.ic1 + c.a2 * v3;
    const float v2 = s.ic2 + c.a2 * s.ic1 + c.a3 * v3;
    s.ic1 = 2.0f * v1 - s.ic1;
    s.ic2 = 2.0f * v2 - s.ic2;
    return {v2, v1, in - c.k * v1 - v2};
}

constexpr float silent = 1.0e-4f;  // envelopes below this end their voice

struct kick_voice { oscillator body; float amp, bend, click; };
struct snare_voice { oscillator body; float tone, rattle; filter_state filter; };
struct hat_voice { float amp, fall; filter_state filter; };
struct crash_voice { float amp; filter_state left, right; };
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

constexpr int echo_frames = 11180;  // three eighth notes
constexpr int comb_lengths[4] = {1116, 1188, 1277, 1356};
constexpr int allpass_lengths[2] = {556, 441};
constexpr int stereo_spread = 23;
constexpr int comb_room = 1356 + stereo_spread;
constexpr int allpass_room = 556 + stereo_spread;

struct room { float comb[2][4][comb_room]; float comb_low[2][4]; int comb_at[2][4];
              float allpass[2][2][allpass_room]; int allpass_at[2][2]; };

struct synth_state {
    noise_source noise;
    kick_voice kick;
    snare_voice snare;
    hat_voice hat;
    crash_voice crash;
    bass_voice bass;
    pad_voice pad;
    arp_voice arp;
    lead_voice lead;
    stab_voice stab;
    zap_voice zap;
    riser_voice riser;
    boom_voice boom;
    chime_voice chime;
    float echo[2][echo_frames];
    float echo_low[2];
    int echo_at;
    room reverb;
    float dc_in[2], dc_out[2];
    std::uint32_t fade_left, fade_length;  // frames; fade_length 0: no fade
};

synth_state synth;  // the program's one instrument
std::uint32_t voice_mask = score_all_voices;

constexpr float kick_fall = decay(0.17), kick_bend_fall = decay(0.028), click_fall = decay(0.0015);
constexpr float snare_tone_fall = decay(0.045), snare_rattle_fall = decay(0.11);
constexpr filter_coeffs snare_filter = filter_design(3200.0f, 0.8f);
constexpr float hat_closed = decay(0.024), hat_open = decay(0.11);
constexpr filter_coeffs hat_filter = filter_design(7800.0f, 0.9f);
constexpr float crash_fall = decay(0.75);
constexpr filter_coeffs crash_filter = filter_design(5200.0f, 0.7f);
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

void kick_hit(kick_voice& v, float velocity)
{
    v.body.phase = 0.0f;
    v.amp = velocity;
    v.bend = 1.0f;
    v.click = velocity;
}

inline float kick_next(kick_voice& v, float noise)
{
    if (v.amp < silent) return 0.0f;
    osc_tune(v.body, 44.0f + 140.0f * v.bend);
    osc_advance(v.body);
    const float out = sin_turns(v.body.phase) * v.amp + noise * v.click * 0.35f;
    v.amp *= kick_fall;
    v.bend *= kick_bend_fall;
    v.click *= click_fall;
    return out;
}

void snare_hit(snare_voice& v, float velocity)
{
    v.body.phase = 0.0f;
    v.tone = velocity;
    v.rattle = velocity;
}

inline float snare_next(snare_voice& v, float noise)
{
    if (v.rattle < silent) return 0.0f;
    osc_tune(v.body, 180.0f + 60.0f * v.tone);
    osc_advance(v.body);
    const filter_out f = filter_step(v.filter, snare_filter, noise);
    const float out = sin_turns(v.body.phase) * v.tone * 0.6f + (f.band * 1.2f + f.high * 0.5f) * v.rattle;
    v.tone *= snare_tone_fall;
    v.rattle *= snare_rattle_fall;
    return out;
}

inline float hat_next(hat_voice& v, float noise)
{
    if (v.amp < silent) return 0.0f;
    const float out = filter_step(v.filter, hat_filter, noise).high * v.amp;
    v.amp *= v.fall;
    return out;
}

inline void crash_next(crash_voice& v, float noise_l, float noise_r, float& l, float& r)
{
    if (v.amp < silent) return;
    l += filter_step(v.left, crash_filter, noise_l).high * v.amp;
    r += filter_step(v.right, crash_filter, noise_r).high * v.amp;
    v.amp *= crash_fall;
}

void bass_note(bass_voice& v, int note)
{
    osc_tune(v.saw, pitches.hz[note]);
    osc_tune(v.sub, pitches.hz[note]);
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
    for (int i = 0; i < 6; ++i) osc_tune(s.saw[i], pitches.hz[notes[i / 2]] * detune[i % 2]);
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
    osc_tune(v.pulse, pitches.hz[note]);
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
    v.target_hz = pitches.hz[note];
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
    for (int i = 0; i < 4; ++i) osc_tune(v.saw[i], pitches.hz[notes[i]]);
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
    osc_tune(v.carrier, pitches.hz[note]);
    osc_tune(v.modulator, pitches.hz[note] * 3.5f);
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

// Ping-pong echo of three eighth notes, darkened on each return.
inline void echo_next(synth_state& s, float in, float& l, float& r)
{
    float* const left = s.echo[0];
    float* const right = s.echo[1];
    const float out_l = left[s.echo_at], out_r = right[s.echo_at];
    s.echo_low[0] += (out_r - s.echo_low[0]) * 0.45f;
    s.echo_low[1] += (out_l - s.echo_low[1]) * 0.45f;
    left[s.echo_at] = in + s.echo_low[0] * 0.42f;
    right[s.echo_at] = s.echo_low[1] * 0.42f;
    if (++s.echo_at == echo_frames) s.echo_at = 0;
    l += out_l;
    r += out_r;
}

// A small room: four damped combs and two all-passes a side.
inline void room_next(room& m, float in, float& l, float& r)
{
    in += 1.0e-18f;  // keeps the tails out of denormals
    for (int side = 0; side < 2; ++side) {
        float sum = 0.0f;
        for (int i = 0; i < 4; ++i) {
            float* line = m.comb[side][i];
            int& at = m.comb_at[side][i];
            const float out = line[at];
            m.comb_low[side][i] = out * 0.7f + m.comb_low[side][i] * 0.3f;
            line[at] = in + m.comb_low[side][i] * 0.8f;
            if (++at == comb_lengths[i] + side * stereo_spread) at = 0;
            sum += out;
        }
        for (int i = 0; i < 2; ++i) {
            float* line = m.allpass[side][i];
            int& at = m.allpass_at[side][i];
            const float delayed = line[at];
            line[at] = sum + delayed * 0.5f;
            sum = delayed - sum;
            if (++at == allpass_lengths[i] + side * stereo_spread) at = 0;
        }
        (side == 0 ? l : r) += sum * 0.25f;
    }
}

constexpr float master_gain = 0.5f;
constexpr float limit_knee = 0.6f;
constexpr float limit_ceiling = 0.891f;  // -1 dBFS
constexpr float dc_pole = 0.9995f;       // about 3.5 Hz

inline bool heard(std::uint32_t voice) { return (voice_mask & voice) != 0; }

// Above the knee the level bends smoothly towards the ceiling, never past it.
inline float soft_limit(float x)
{
    const float a = x < 0.0f ? -x : x;
    if (a <= limit_knee) return x;
    const float room_left = limit_ceiling - limit_knee;
    float u = (a - limit_knee) / room_left;
    u = u >= 3.0f ? 1.0f : u * (27.0f + u * u) / (27.0f + 9.0f * u * u);  // tanh
    const float y = limit_knee + room_left * u;
    return x < 0.0f ? -y : y;
}

inline std::int16_t to_sample(float x)
{
    const float v = x * 32767.0f;
    return static_cast<std::int16_t>(static_cast<int>(v + (v < 0.0f ? -0.5f : 0.5f)));
}

void render_frames(synth_state& s, std::int16_t* out, std::uint32_t frames)
{
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float na = noise_next(s.noise);
        const float nb = noise_next(s.noise);
        float l = 0.0f, r = 0.0f, room_in = 0.0f, echo_in = 0.0f;
        auto centre = [&](std::uint32_t voice, float x, float gain, float to_room, float to_echo) {
            if (!heard(voice)) return;
            l += x * gain;
            r += x * gain;
            room_in += x * to_room;
            echo_in += x * to_echo;
        };

        centre(score_kick, kick_next(s.kick, na), 0.95f, 0.0f, 0.0f);
        centre(score_snare, snare_next(s.snare, nb), 0.42f, 0.2f, 0.0f);
        const float hat = hat_next(s.hat, na);
        if (heard(score_hat)) {
            l += hat * 0.10f;
            r += hat * 0.16f;
        }
        float cl = 0.0f, cr = 0.0f;
        crash_next(s.crash, na, nb, cl, cr);
        if (heard(score_crash)) {
            l += cl * 0.13f;
            r += cr * 0.13f;
            room_in += (cl + cr) * 0.05f;
        }
        centre(score_bass, bass_next(s.bass), 0.42f, 0.0f, 0.0f);
        float pl = 0.0f, pr = 0.0f;
        pad_next(s.pad, pl, pr);
        if (heard(score_pad)) {
            l += pl * 0.055f;
            r += pr * 0.055f;
            room_in += (pl + pr) * 0.02f;
        }
        const float arp = arp_next(s.arp);
        if (heard(score_arp)) {
            l += arp * 0.09f * (1.0f - s.arp.place);
            r += arp * 0.09f * s.arp.place;
            room_in += arp * 0.04f;
            echo_in += arp * 0.06f;
        }
        centre(score_lead, lead_next(s.lead), 0.075f, 0.05f, 0.05f);
        float sl = 0.0f, sr = 0.0f;
        stab_next(s.stab, nb, sl, sr);
        if (heard(score_stab)) {
            l += sl * 0.11f;
            r += sr * 0.11f;
            room_in += (sl + sr) * 0.035f;
        }
        centre(score_zap, zap_next(s.zap), 0.22f, 0.06f, 0.0f);
        float rl = 0.0f, rr = 0.0f;
        riser_next(s.riser, na, nb, rl, rr);
        if (heard(score_riser)) {
            l += rl * 0.3f;
            r += rr * 0.3f;
            room_in += (rl + rr) * 0.05f;
        }
        centre(score_boom, boom_next(s.boom, nb), 0.8f, 0.08f, 0.0f);
        const float chime = chime_next(s.chime);
        if (heard(score_chime)) {
            l += chime * 0.12f * (1.0f - s.chime.pan);
            r += chime * 0.12f * s.chime.pan;
            room_in += chime * 0.06f;
            echo_in += chime * 0.08f;
        }

        echo_next(s, echo_in, l, r);
        room_next(s.reverb, room_in, l, r);

        float gain = master_gain;
        if (s.fade_length > 0) {
            const float left = static_cast<float>(s.fade_left) / static_cast<float>(s.fade_length);
            gain *= left * left;
            if (s.fade_left > 0) --s.fade_left;
        }
        const float in[2] = {l * gain, r * gain};
        for (int c = 0; c < 2; ++c) {
            const float y = in[c] - s.dc_in[c] + dc_pole * s.dc_out[c];
            s.dc_in[c] = in[c];
            s.dc_out[c] = y;
            out[2 * i + c] = to_sample(soft_limit(y));
        }
    }
}

}  // namespace

void synth_reset()
{
    std::memset(&synth, 0, sizeof synth);
    synth.noise.state = 0x1badf00du;
    synth.hat.fall = hat_closed;
    osc_tune(synth.pad.lfo, 0.09f);
    osc_tune(synth.lead.vibrato, 5.3f);
}

void synth_set_voices(std::uint32_t mask) { voice_mask = mask; }

void synth_render(std::int16_t* out, std::uint32_t frames) { render_frames(synth, out, frames); }

void synth_kick(float velocity) { kick_hit(synth.kick, velocity); }
void synth_snare(float velocity) { snare_hit(synth.snare, velocity); }

void synth_hat(float velocity, bool open)
{
    synth.hat.amp = velocity;
    synth.hat.fall = open ? hat_open : hat_closed;
}

void synth_crash(float velocity) { synth.crash.amp = velocity; }
void synth_bass_note(int note) { bass_note(synth.bass, note); }
void synth_bass_off() { synth.bass.gate = 0.0f; }
void synth_pad_chord(const int (&notes)[3]) { pad_set(synth.pad, notes); }
void synth_pad_brightness(float hz) { synth.pad.cutoff = hz; }
void synth_arp_note(int note, float pan) { arp_note(synth.arp, note, pan); }
void synth_lead_note(int note) { lead_note(synth.lead, note); }
void synth_lead_off() { synth.lead.gate = 0.0f; }
void synth_stab(const int (&notes)[4], std::uint32_t hold_frames) { stab_hit(synth.stab, notes, hold_frames); }

void synth_zap()
{
    synth.zap.tone.phase = 0.0f;
    synth.zap.hz = 2600.0f;
    synth.zap.amp = 1.0f;
}

void synth_riser(std::uint32_t frames) { riser_start(synth.riser, frames); }
void synth_boom(float velocity, float seconds) { boom_hit(synth.boom, velocity, seconds); }
void synth_chime(int note, float pan) { chime_hit(synth.chime, note, pan); }

void synth_fade_out(std::uint32_t frames)
{
    synth.fade_left = frames;
    synth.fade_length = frames;
}
