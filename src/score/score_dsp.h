// The synthesiser's building blocks, for its voices: a sine table, phase
// oscillators and smoothed sawtooths, one-pole envelope factors, trapezoidal
// state-variable filters and an xorshift noise source. Inline, because the
// voices call them for every frame; constexpr where the voices fold them into
// constants. Everything here is real-time safe: no allocation, locks or I/O.
#pragma once
#include <cstdint>

#include "score/score_format.h"

inline constexpr float synth_rate = static_cast<float>(score_rate);  // frames a second
inline constexpr int sine_size = 1024;

inline constexpr double synth_pi = 3.14159265358979323846;

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
        double x = 2.0 * synth_pi * i / sine_size;
        if (x > synth_pi) x -= 2.0 * synth_pi;
        t.v[i] = static_cast<float>(series_sin(x));
    }
    return t;
}

inline constexpr sine_table sine = make_sine();

// sin(2 pi phase) for phase in [0, 1), interpolated.
constexpr float sin_turns(float phase)
{
    const float x = phase * sine_size;
    const int i = static_cast<int>(x);
    return sine.v[i] + (x - static_cast<float>(i)) * (sine.v[i + 1] - sine.v[i]);
}

constexpr float wrap(float phase) { return phase - static_cast<float>(static_cast<int>(phase)); }

// The frequency of a MIDI note (0-127) in Hz, A4 (69) at 440; equal temperament.
float note_hz(int note);

// The per-sample factor of an exponential decay with time constant seconds.
constexpr float decay(double seconds)
{
    const double x = 1.0 / (seconds * score_rate);
    return static_cast<float>(1.0 - x + x * x / 2.0 - x * x * x / 6.0 + x * x * x * x / 24.0);
}

// The per-sample step of a one-pole smoother reaching 63% in seconds.
constexpr float approach(double seconds) { return 1.0f - decay(seconds); }

inline constexpr float silent = 1.0e-4f;  // envelopes below this end their voice

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

inline void osc_tune(oscillator& o, float hz) { o.step = hz * (1.0f / synth_rate); }

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
    const float turns = (hz < 0.45f * synth_rate ? hz : 0.45f * synth_rate) * (0.5f / synth_rate);
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
