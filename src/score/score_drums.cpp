// The drums: a sine kick that bends down with a click of noise, a snare of a
// tone and filtered noise, hats and a crash of high-passed noise.
#include "score/score_drums.h"

#include <cstring>

#include "score/score_dsp.h"

namespace {

struct kick_voice { oscillator body; float amp, bend, click; };
struct snare_voice { oscillator body; float tone, rattle; filter_state filter; };
struct hat_voice { float amp, fall; filter_state filter; };
struct crash_voice { float amp; filter_state left, right; };

struct drum_kit {
    kick_voice kick;
    snare_voice snare;
    hat_voice hat;
    crash_voice crash;
};

drum_kit kit;  // the synthesiser's one kit

constexpr float kick_fall = decay(0.17), kick_bend_fall = decay(0.028), click_fall = decay(0.0015);
constexpr float snare_tone_fall = decay(0.045), snare_rattle_fall = decay(0.11);
constexpr filter_coeffs snare_filter = filter_design(3200.0f, 0.8f);
constexpr float hat_closed = decay(0.024), hat_open = decay(0.11);
constexpr filter_coeffs hat_filter = filter_design(7800.0f, 0.9f);
constexpr float crash_fall = decay(0.75);
constexpr filter_coeffs crash_filter = filter_design(5200.0f, 0.7f);

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

}  // namespace

void drums_reset()
{
    std::memset(&kit, 0, sizeof kit);
    kit.hat.fall = hat_closed;
}

void drums_next(float noise_a, float noise_b, drum_frame& out)
{
    out.kick = kick_next(kit.kick, noise_a);
    out.snare = snare_next(kit.snare, noise_b);
    out.hat = hat_next(kit.hat, noise_a);
    float cl = 0.0f, cr = 0.0f;
    crash_next(kit.crash, noise_a, noise_b, cl, cr);
    out.crash_left = cl;
    out.crash_right = cr;
}

void synth_kick(float velocity) { kick_hit(kit.kick, velocity); }
void synth_snare(float velocity) { snare_hit(kit.snare, velocity); }

void synth_hat(float velocity, bool open)
{
    kit.hat.amp = velocity;
    kit.hat.fall = open ? hat_open : hat_closed;
}

void synth_crash(float velocity) { kit.crash.amp = velocity; }
