// The built-in score: a song in A minor at 338 ms a beat, its parts and cues
// laid on the show's script, played by a small synthesiser of our own.
//
// Time is counted in tenths of milliseconds so that beats (3380), quarter
// beats (845) and the script's fractional beats stay exact; a time becomes the
// frame round(ms x 44.1). Events (pattern steps every quarter beat, and cues at
// the script's moments) take effect at their exact frame; everything else runs
// sample by sample, so the output never depends on the size of the calls.
#include "platform/score.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// ---------------------------------------------------------------- time

constexpr std::int64_t tenths_per_beat = 3380;
constexpr std::int64_t tenths_per_tick = 845;  // a tick is a quarter beat
constexpr std::int64_t beat_origin = -300;     // beat 0 begins 30 ms before the start
constexpr int steps_per_bar = 16;              // ticks in a bar of four beats
constexpr int end_beat = 468;

constexpr std::int64_t beat_tenths(int beat) { return beat * tenths_per_beat + beat_origin; }
constexpr std::int64_t half_beat_tenths(int half_beats) { return half_beats * (tenths_per_beat / 2) + beat_origin; }
constexpr std::int64_t tick_tenths(int tick) { return tick * tenths_per_tick + beat_origin; }

// round(t x 4.41): the frame of a time in tenths of milliseconds; times before
// the start sound at its first frame.
constexpr std::uint32_t frame_at(std::int64_t tenths)
{
    return tenths <= 0 ? 0u : static_cast<std::uint32_t>((tenths * 441 + 50) / 100);
}

constexpr std::uint32_t length_frames = frame_at(beat_tenths(end_beat));
// The fire dies at beat 461.6; the sound fades out from there to the end.
constexpr std::uint32_t fade_frame = frame_at(4616 * 338 - 300);

// ---------------------------------------------------------------- tables

constexpr float rate = static_cast<float>(score_rate);
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

// ---------------------------------------------------------------- the song

// Chords: the bass's root (MIDI note) and the pad's three notes.
struct chord { std::uint8_t root; std::uint8_t notes[3]; };

enum chord_name : std::uint8_t { am, f_maj, c_maj, g_maj, em, dm, e_maj, bb_maj };

constexpr chord chords[] = {
    {33, {57, 60, 64}},  // A minor
    {29, {57, 60, 65}},  // F
    {36, {55, 60, 64}},  // C
    {31, {55, 59, 62}},  // G
    {28, {55, 59, 64}},  // E minor
    {38, {57, 62, 65}},  // D minor
    {28, {56, 59, 64}},  // E (the dominant)
    {34, {58, 62, 65}},  // B flat
};

// Progressions: one chord a bar, repeated.
struct progression { std::uint8_t length; chord_name bar[8]; };

enum progression_name : std::uint8_t {
    prog_main, prog_second, prog_drift, prog_credits, prog_rain, prog_dominant, prog_home
};

constexpr progression progressions[] = {
    {4, {am, f_maj, c_maj, g_maj}},
    {4, {f_maj, g_maj, em, am}},
    {8, {am, am, em, em, f_maj, f_maj, c_maj, c_maj}},
    {4, {dm, am, bb_maj, e_maj}},
    {4, {am, em, f_maj, c_maj}},
    {1, {e_maj}},
    {1, {am}},
};

// Drums, one character a quarter beat over a bar. Kick 'x' (whole beats only:
// it is the beat voice); snare 'x' full, '-' ghost; hat 'x' closed, 'o' open,
// '-' ghost.
struct drum_pattern { const char* kick; const char* snare; const char* hat; };

enum drum_name : std::int8_t {
    drums_none = -1, drums_hats, drums_four, drums_four_fill, drums_rock, drums_rock_fill,
    drums_half, drums_half_fill, drums_rain, drums_roll
};

constexpr drum_pattern drum_patterns[] = {
    {"................", "................", "x.-.o.-.x.-.o.-."},
    {"x...x...x...x...", "....x.......x...", "-.o.-.o.-.o.-.ox"},
    {"x...x...x...x...", "....x...x.x.xxxx", "-.o.-.o.-.o....."},
    {"x.......x...x...", "................", "x-x-x-x-x-x-x-x-"},
    {"x.......x...x...", "..........x.x-xx", "x-x-x-x-x-x-...."},
    {"x...........x...", "......-.x.....-.", "x.x.x.o.x.x.x.o."},
    {"x...........x...", "......-.x...x-xx", "x.x.x.o.x.x....."},
    {"................", "................", "x-x.-.x.x-x.-.xo"},
    {"................", "................", "x.x.x.x.x.x.x.x."},  // the snare roll is computed
};

constexpr bool kicks_on_beats_only()
{
    for (const drum_pattern& d : drum_patterns)
        for (int s = 0; s < steps_per_bar; ++s)
            if (d.kick[s] != '.' && s % 4 != 0) return false;
    return true;
}
static_assert(kicks_on_beats_only(), "the kick marks the beat grid: whole beats only");

// Bass, a character a quarter beat: 'r' root, 'o' octave, 'f' fifth, '_' off,
// '.' keep sounding.
enum bass_name : std::int8_t { bass_none = -1, bass_long, bass_offbeat, bass_drive, bass_half };

constexpr const char* bass_patterns[] = {
    "r...............",
    "..r_..r_..r_..o_",
    "r_r_o_r_r_r_o_f_",
    "r.......r_..r.o_",
};

// Arpeggios, a character a quarter beat: the index of a note in the chord
// spread over two octaves (0-2, then 3-5 an octave higher), '.' nothing.
enum arp_name : std::int8_t { arp_none = -1, arp_eighths, arp_sixteenths, arp_drops };

constexpr const char* arp_patterns[] = {
    "0.2.4.3.1.5.2.4.",
    "0123432101234321",
    "5..2..4...1..3..",
};

// Melodies, a character an eighth note: a b c d e f g = A3 .. G4,
// A B C D E F G H = A4 .. A5 (A minor), '-' hold, '.' rest.
enum lead_name : std::int8_t { lead_none = -1, lead_theme, lead_answer, lead_plasma, lead_drift };

constexpr const char* melodies[] = {
    "E.EDC-A-" "C-D-CA--" "g.C-E-DC" "D---B-g-" "E.EDC-E-" "F-E-CA--" "G-E-C-ED" "D-----..",
    "A-C-F-E-" "D-B-g-B-" "B-G-E-G-" "A-------" "C-A-F-A-" "B-D-G-D-" "E-B-G-B-" "A---....",
    "F---E-C-" "D---B---" "E---G-F-" "E-------" "H-G-F-E-" "D-E-D-B-" "G-E-B-E-" "A---....",
    "E-------" "C-------" "B-------" "g-------" "A-------" "C-------" "E-------" "D---C---",
};

constexpr int melody_length = 64;

constexpr bool patterns_have_their_lengths()
{
    auto length = [](const char* text) { int n = 0; while (text[n]) ++n; return n; };
    for (const drum_pattern& d : drum_patterns)
        if (length(d.kick) != steps_per_bar || length(d.snare) != steps_per_bar || length(d.hat) != steps_per_bar) return false;
    for (const char* b : bass_patterns) if (length(b) != steps_per_bar) return false;
    for (const char* a : arp_patterns) if (length(a) != steps_per_bar) return false;
    for (const char* m : melodies) if (length(m) != melody_length) return false;
    return true;
}
static_assert(patterns_have_their_lengths(), "a bar is sixteen steps, a melody sixty-four eighths");

constexpr int melody_note(char c)
{
    constexpr const char names[] = "abcdefgABCDEFGH";
    constexpr int notes[] = {57, 59, 60, 62, 64, 65, 67, 69, 71, 72, 74, 76, 77, 79, 81};
    for (int i = 0; i < 15; ++i)
        if (names[i] == c) return notes[i];
    return -1;
}

// One part of the song: from its first beat until the next part's. Chords and
// melodies count bars from phrase_beat; drums and bass from first_beat.
struct song_part {
    int first_beat;
    int phrase_beat;
    drum_name drums;
    drum_name fill;          // every eighth bar and the part's last bar
    bass_name bass;
    progression_name chords;
    lead_name lead;
    arp_name arp;
    float pad_from, pad_to;  // pad brightness (Hz) over the part
    bool crash;              // a crash on its first beat
};

constexpr song_part parts[] = {
    // the fire through the title: pad and a slow arpeggio, opening up
    {0, 0, drums_none, drums_none, bass_none, prog_main, lead_none, arp_eighths, 400, 1400, false},
    {16, 0, drums_hats, drums_hats, bass_long, prog_main, lead_none, arp_sixteenths, 1400, 2600, false},
    // the title burns: the dominant and a snare roll into the fountain
    {30, 30, drums_roll, drums_roll, bass_none, prog_dominant, lead_none, arp_none, 2600, 4200, false},
    // the fountain; the words are hit by cues
    {36, 36, drums_four, drums_four_fill, bass_offbeat, prog_main, lead_none, arp_sixteenths, 2400, 2400, true},
    // the plasma; the cube's pulses and flashes are cues
    {68, 68, drums_rock, drums_rock_fill, bass_drive, prog_second, lead_plasma, arp_none, 1800, 2200, true},
    // the cascade: drifting, the beat coming back, a roll
    {100, 100, drums_hats, drums_hats, bass_none, prog_drift, lead_drift, arp_sixteenths, 900, 2000, true},
    {116, 100, drums_half, drums_half_fill, bass_long, prog_drift, lead_drift, arp_sixteenths, 2000, 2400, false},
    {132, 100, drums_roll, drums_roll, bass_offbeat, prog_drift, lead_none, arp_sixteenths, 2400, 4000, false},
    // the bars and the wave scroller: the theme and its answer
    {140, 140, drums_four, drums_four_fill, bass_offbeat, prog_main, lead_theme, arp_sixteenths, 2600, 2600, true},
    {172, 172, drums_four, drums_four_fill, bass_drive, prog_second, lead_answer, arp_sixteenths, 2600, 3200, true},
    // the fire: a two-beat bar that moves the bar line for the rest of the song
    {212, 212, drums_none, drums_none, bass_none, prog_dominant, lead_none, arp_none, 3200, 1200, false},
    // the credits; their burns are cues
    {214, 214, drums_half, drums_half_fill, bass_half, prog_credits, lead_none, arp_sixteenths, 1500, 2200, true},
    // rain and greetings
    {270, 270, drums_rain, drums_rain, bass_long, prog_rain, lead_none, arp_drops, 1200, 2000, false},
    {302, 302, drums_four, drums_four_fill, bass_offbeat, prog_main, lead_theme, arp_sixteenths, 2400, 2400, true},
    {366, 366, drums_rain, drums_rain, bass_long, prog_drift, lead_drift, arp_drops, 1000, 1800, true},
    {398, 398, drums_four, drums_four_fill, bass_drive, prog_second, lead_answer, arp_sixteenths, 2400, 2800, true},
    {450, 450, drums_roll, drums_roll, bass_offbeat, prog_dominant, lead_none, arp_sixteenths, 2800, 5000, false},
    // the flare, and the fade with the dying fire
    {458, 458, drums_none, drums_none, bass_long, prog_home, lead_none, arp_none, 3000, 700, false},
};

constexpr int part_count = static_cast<int>(sizeof parts / sizeof parts[0]);

constexpr int part_end_beat(int p) { return p + 1 < part_count ? parts[p + 1].first_beat : end_beat; }

// Cues: the script's own moments, at their exact times.
enum cue_kind : std::uint8_t {
    cue_word,    // a fountain word flashes: arg 0 JEG, 1 SER, 2 HORER
    cue_pulse,   // the plasma's cube jumps to a corner
    cue_flash,   // the cube flashes white for 71 ms
    cue_riser,   // a swell starts; arg is its end in tenths of ms
    cue_burn,    // letters are set burning in the fire
    cue_flare,   // the fire flares at the end
    cue_chime,   // a greeting comes in; arg is its number
};

struct cue { std::int64_t tenths; cue_kind kind; std::int64_t arg; };

constexpr int greeting_count = 15;
constexpr int cube_pulse_ms = 1352;
constexpr int cube_flash_ms = 676;
constexpr std::int64_t plasma_start_ms = 22954;  // the plasma runs while t > 22954
constexpr std::int64_t plasma_end_ms = 33770;    // and t <= 33770

constexpr int cue_count = 9 + 8 + 16 + (1 + 3 + greeting_count + 1) * 2 + greeting_count;

using cue_list = std::array<cue, cue_count>;

constexpr cue_list make_cues()
{
    cue_list c{};
    int n = 0;
    for (int b : {36, 44, 52}) {
        c[n++] = {beat_tenths(b), cue_word, 0};
        c[n++] = {beat_tenths(b + 2), cue_word, 1};
        c[n++] = {beat_tenths(b + 4), cue_word, 2};
    }
    // The cube's clock runs 60 ms behind the beat: it pulses where
    // (t - 30) mod 1352 is 0 and flashes where (t + 308) mod 676 is 0.
    for (std::int64_t t = 30; t <= plasma_end_ms; t += cube_pulse_ms)
        if (t > plasma_start_ms) c[n++] = {t * 10, cue_pulse, 0};
    for (std::int64_t t = cube_flash_ms - 308; t <= plasma_end_ms; t += cube_flash_ms)
        if (t > plasma_start_ms) c[n++] = {t * 10, cue_flash, 0};
    auto burn = [&](int beat, int swell_beats, cue_kind kind) {
        c[n++] = {beat_tenths(beat - swell_beats), cue_riser, beat_tenths(beat)};
        c[n++] = {beat_tenths(beat), kind, 0};
    };
    burn(30, 4, cue_burn);
    for (int b : {228, 244, 260}) burn(b, 4, cue_burn);
    for (int g = 0; g < greeting_count; ++g) {
        burn(295 + 11 * g, 2, cue_burn);
        c[n++] = {half_beat_tenths(571 + 22 * g), cue_chime, g};  // beat 285.5 + 11 g
    }
    burn(458, 8, cue_flare);
    for (int i = 1; i < n; ++i)  // insertion sort, stable
        for (int j = i; j > 0 && c[j - 1].tenths > c[j].tenths; --j) {
            const cue t = c[j];
            c[j] = c[j - 1];
            c[j - 1] = t;
        }
    return n == cue_count ? c : cue_list{};
}

constexpr cue_list cues = make_cues();
static_assert(cues[cue_count - 1].tenths == beat_tenths(458), "the cue list is full and sorted");

// ---------------------------------------------------------------- synthesis

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
struct pad_voice { pad_slot slot[2]; int current; chord_name chord; float cutoff; oscillator lfo; filter_state left, right; };
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

struct score_state {
    std::uint32_t frame;  // the next frame to render
    int tick;             // the next quarter beat to take effect
    int part;
    int next_cue;
    chord_name chord;
    int lead_note;
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
};

score_state state;  // the one score being played
std::uint32_t voice_mask = score_all_voices;

// ---------------------------------------------------------------- voices

constexpr float kick_fall = decay(0.17), kick_bend_fall = decay(0.028), click_fall = decay(0.0015);
constexpr float snare_tone_fall = decay(0.045), snare_rattle_fall = decay(0.11);
constexpr filter_coeffs snare_filter = filter_design(3200.0f, 0.8f);
constexpr float hat_closed = decay(0.024), hat_open = decay(0.11);
constexpr filter_coeffs hat_filter = filter_design(7800.0f, 0.9f);
constexpr float crash_fall = decay(0.9);
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
constexpr float boom_bend_fall = decay(0.12), rumble_fall = decay(0.35);
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
void pad_set(pad_voice& v, chord_name name)
{
    if (name == v.chord && v.slot[v.current].target > 0.0f) return;
    constexpr float detune[2] = {0.9942f, 1.0058f};  // a tenth of a semitone each way
    v.slot[v.current].target = 0.0f;
    v.current ^= 1;
    v.chord = name;
    pad_slot& s = v.slot[v.current];
    // The phases run on: a slot that is still fading changes pitch without a click.
    for (int i = 0; i < 6; ++i) osc_tune(s.saw[i], pitches.hz[chords[name].notes[i / 2]] * detune[i % 2]);
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

void boom_hit(boom_voice& v, float velocity, double seconds)
{
    v.body.phase = 0.0f;
    v.amp = velocity;
    v.bend = 1.0f;
    v.fall = decay(seconds);
    v.rumble = velocity;
    v.rumble_fall = rumble_fall;
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

// ---------------------------------------------------------------- effects

// Ping-pong echo of three eighth notes, darkened on each return.
inline void echo_next(score_state& s, float in, float& l, float& r)
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

// ---------------------------------------------------------------- sequencing

void drums_step(score_state& s, int part, int r, int bar, int bars)
{
    const song_part& p = parts[part];
    const bool fill_bar = bar % 8 == 7 || bar == bars - 1;
    const drum_name name = fill_bar ? p.fill : p.drums;
    if (name == drums_none) return;
    const drum_pattern& d = drum_patterns[name];
    const int step = r % steps_per_bar;
    if (d.kick[step] == 'x') kick_hit(s.kick, 1.0f);
    if (d.snare[step] != '.') snare_hit(s.snare, d.snare[step] == 'x' ? 1.0f : 0.3f);
    const char h = d.hat[step];
    if (h != '.') {
        s.hat.amp = h == '-' ? 0.45f : 1.0f;
        s.hat.fall = h == 'o' ? hat_open : hat_closed;
    }
    if (name == drums_roll) {
        // Quarter notes, then eighths, then sixteenths over the last two beats, rising.
        const int left = (part_end_beat(part) - p.first_beat) * 4 - r;
        const int every = left <= 8 ? 1 : left <= 16 ? 2 : 4;
        if (r % every == 0) snare_hit(s.snare, 0.35f + 0.65f * static_cast<float>(r) / static_cast<float>(r + left));
    }
}

void bass_step(score_state& s, const song_part& p, int r)
{
    if (p.bass == bass_none) {
        if (r == 0) s.bass.gate = 0.0f;
        return;
    }
    const char c = bass_patterns[p.bass][r % steps_per_bar];
    const int root = chords[s.chord].root;
    if (c == 'r') bass_note(s.bass, root);
    else if (c == 'o') bass_note(s.bass, root + 12);
    else if (c == 'f') bass_note(s.bass, root + 7);
    else if (c == '_') s.bass.gate = 0.0f;
}

void arp_step(score_state& s, const song_part& p, int r)
{
    if (p.arp == arp_none) return;
    const char c = arp_patterns[p.arp][r % steps_per_bar];
    if (c == '.') return;
    const int i = c - '0';
    arp_note(s.arp, chords[s.chord].notes[i % 3] + 12 * (1 + i / 3), (r & 1) ? 0.8f : 0.2f);
}

void lead_step(score_state& s, const song_part& p, int phrase_ticks)
{
    if (p.lead == lead_none) {
        s.lead.gate = 0.0f;
        return;
    }
    if (phrase_ticks % 2 != 0) return;
    const char c = melodies[p.lead][(phrase_ticks / 2) % melody_length];
    if (c == '.') s.lead.gate = 0.0f;
    else if (c != '-') lead_note(s.lead, melody_note(c));
}

void on_tick(score_state& s)
{
    const int tick = s.tick++;
    while (s.part + 1 < part_count && tick >= parts[s.part + 1].first_beat * 4) ++s.part;
    const song_part& p = parts[s.part];
    const int r = tick - p.first_beat * 4;
    const int bars = (part_end_beat(s.part) - p.first_beat + 3) / 4;
    const int phrase_ticks = tick - p.phrase_beat * 4;
    const float progress = static_cast<float>(r) / static_cast<float>((part_end_beat(s.part) - p.first_beat) * 4);
    s.pad.cutoff = p.pad_from + (p.pad_to - p.pad_from) * progress;
    if (phrase_ticks % steps_per_bar == 0 || r == 0) {
        const progression& g = progressions[p.chords];
        s.chord = g.bar[(phrase_ticks / steps_per_bar) % g.length];
        pad_set(s.pad, s.chord);
    }
    if (r == 0 && p.crash) s.crash.amp = 1.0f;
    drums_step(s, s.part, r, r / steps_per_bar, bars);
    bass_step(s, p, r);
    arp_step(s, p, r);
    lead_step(s, p, phrase_ticks);
}

void on_cue(score_state& s, const cue& c)
{
    const chord& now = chords[s.chord];
    switch (c.kind) {
    case cue_word: {
        // JEG, SER, HORER climb A, C, E; HORER holds for its 0.8 beat.
        constexpr int roots[3] = {57, 60, 64};
        const int n = roots[c.arg];
        const int notes[4] = {n - 12, n, n + 7, n + 12};
        stab_hit(s.stab, notes, c.arg == 2 ? frame_at(2704) : frame_at(676));
        s.crash.amp = c.arg == 2 ? 0.8f : 0.4f;
        break;
    }
    case cue_pulse: {
        const int notes[4] = {now.notes[0], now.notes[1], now.notes[2], now.notes[0] + 12};
        stab_hit(s.stab, notes, frame_at(1000));
        s.crash.amp = 0.7f;
        break;
    }
    case cue_flash:
        s.zap.tone.phase = 0.0f;
        s.zap.hz = 2600.0f;
        s.zap.amp = 1.0f;
        snare_hit(s.snare, 0.8f);
        break;
    case cue_riser:
        riser_start(s.riser, frame_at(c.arg) - frame_at(c.tenths));
        break;
    case cue_burn:
        // The greetings burn over the beat every eleven beats: lighter.
        boom_hit(s.boom, c.tenths > beat_tenths(270) ? 0.55f : 0.8f, 0.7);
        s.crash.amp = 1.0f;
        break;
    case cue_flare:
        boom_hit(s.boom, 1.0f, 2.2);
        s.boom.rumble_fall = decay(1.2);
        s.crash.amp = 1.3f;
        break;
    case cue_chime:
        chime_hit(s.chime, now.notes[c.arg % 3] + 24, (c.arg & 1) ? 0.75f : 0.25f);
        break;
    }
}

// ---------------------------------------------------------------- mixing

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

void render_span(score_state& s, std::int16_t* out, std::uint32_t frames)
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
            l += cl * 0.16f;
            r += cr * 0.16f;
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
        if (s.frame >= fade_frame) {
            const float left = static_cast<float>(length_frames - s.frame) / static_cast<float>(length_frames - fade_frame);
            gain *= left * left;
        }
        const float in[2] = {l * gain, r * gain};
        for (int c = 0; c < 2; ++c) {
            const float y = in[c] - s.dc_in[c] + dc_pole * s.dc_out[c];
            s.dc_in[c] = in[c];
            s.dc_out[c] = y;
            out[2 * i + c] = to_sample(soft_limit(y));
        }
        ++s.frame;
    }
}

void write_le(unsigned char* at, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::uint32_t score_length_frames() { return length_frames; }

void score_reset()
{
    std::memset(&state, 0, sizeof state);
    state.noise.state = 0x1badf00du;
    state.chord = am;
    state.pad.chord = am;
    state.hat.fall = hat_closed;
    state.boom.fall = decay(0.7);
    state.boom.rumble_fall = rumble_fall;
    osc_tune(state.pad.lfo, 0.09f);
    osc_tune(state.lead.vibrato, 5.3f);
}

void score_set_voices(std::uint32_t mask) { voice_mask = mask; }

void score_render(std::int16_t* out, std::uint32_t frames)
{
    score_state& s = state;
    if (s.noise.state == 0) score_reset();  // the first call without a reset starts at the beginning
    while (frames > 0) {
        if (s.frame >= length_frames) {
            std::memset(out, 0, static_cast<std::size_t>(frames) * 2 * sizeof(std::int16_t));
            return;
        }
        const std::uint32_t tick_frame = frame_at(tick_tenths(s.tick));
        if (tick_frame <= s.frame && s.tick < end_beat * 4) {
            on_tick(s);
            continue;
        }
        const std::uint32_t cue_frame = s.next_cue < cue_count ? frame_at(cues[s.next_cue].tenths) : length_frames;
        if (cue_frame <= s.frame) {
            on_cue(s, cues[s.next_cue++]);
            continue;
        }
        std::uint32_t until = length_frames;
        if (s.tick < end_beat * 4 && tick_frame < until) until = tick_frame;
        if (cue_frame < until) until = cue_frame;
        const std::uint32_t n = until - s.frame < frames ? until - s.frame : frames;
        render_span(s, out, n);
        out += 2 * static_cast<std::size_t>(n);
        frames -= n;
    }
}

bool write_score_wav(const char* path)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const std::uint32_t data_bytes = length_frames * 4;
    unsigned char header[44];
    std::memcpy(header, "RIFF", 4);
    write_le(header + 4, 36 + data_bytes, 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    write_le(header + 16, 16, 4);
    write_le(header + 20, 1, 2);  // integer samples
    write_le(header + 22, 2, 2);
    write_le(header + 24, score_rate, 4);
    write_le(header + 28, score_rate * 4, 4);
    write_le(header + 32, 4, 2);
    write_le(header + 34, 16, 2);
    std::memcpy(header + 36, "data", 4);
    write_le(header + 40, data_bytes, 4);
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;

    constexpr std::uint32_t chunk = 4096;
    std::int16_t samples[chunk * 2];
    unsigned char bytes[chunk * 4];
    score_reset();
    for (std::uint32_t done = 0; ok && done < length_frames; done += chunk) {
        const std::uint32_t n = length_frames - done < chunk ? length_frames - done : chunk;
        score_render(samples, n);
        for (std::uint32_t i = 0; i < 2 * n; ++i)
            write_le(bytes + 2 * i, static_cast<std::uint16_t>(samples[i]), 2);
        ok = std::fwrite(bytes, 1, 4 * static_cast<std::size_t>(n), f) == 4 * static_cast<std::size_t>(n);
    }
    score_reset();
    if (std::fclose(f) != 0) ok = false;
    return ok;
}
