// The built-in score: a song in A minor at 338 ms a beat, its parts and cues
// laid on the show's script, played by a small synthesiser of our own.
//
// Time is counted in tenths of milliseconds so that beats (3380), quarter
// beats (845) and the script's fractional beats stay exact; a time becomes the
// frame round(ms x 44.1). Events (pattern steps every quarter beat, and cues at
// the script's moments) take effect at their exact frame; everything else runs
// sample by sample, so the output never depends on the size of the calls.
#include "score/score.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "score/score_synth.h"
#include "timeline/show_timeline.h"

namespace {

constexpr std::int64_t tenths_per_beat = 10 * beat_ms;
constexpr std::int64_t tenths_per_tick = tenths_per_beat / 4;  // a tick is a quarter beat
constexpr std::int64_t beat_origin = -10 * beat_lead_ms;       // beat 0 begins before the start
constexpr int steps_per_bar = 16;                              // ticks in a bar of four beats
constexpr int end_beat = show_end_beat;
static_assert(tenths_per_beat % 4 == 0, "quarter beats are whole tenths of a millisecond");

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
    {title_burn_beat, title_burn_beat, drums_roll, drums_roll, bass_none, prog_dominant, lead_none, arp_none, 2600, 4200, false},
    // the fountain; the words are hit by cues
    {fountain_beat, fountain_beat, drums_four, drums_four_fill, bass_offbeat, prog_main, lead_none, arp_sixteenths, 2400, 2400, true},
    // the plasma; the cube's pulses and flashes are cues
    {plasma_beat, plasma_beat, drums_rock, drums_rock_fill, bass_drive, prog_second, lead_plasma, arp_none, 1800, 2200, true},
    // the cascade: drifting, the beat coming back, a roll
    {cascade_beat, cascade_beat, drums_hats, drums_hats, bass_none, prog_drift, lead_drift, arp_sixteenths, 900, 2000, true},
    {116, cascade_beat, drums_half, drums_half_fill, bass_long, prog_drift, lead_drift, arp_sixteenths, 2000, 2400, false},
    {cascade_spawn_end_beat, cascade_beat, drums_roll, drums_roll, bass_offbeat, prog_drift, lead_none, arp_sixteenths, 2400, 4000, false},
    // the bars and the wave scroller: the theme and its answer
    {bars_beat, bars_beat, drums_four, drums_four_fill, bass_offbeat, prog_main, lead_theme, arp_sixteenths, 2600, 2600, true},
    {172, 172, drums_four, drums_four_fill, bass_drive, prog_second, lead_answer, arp_sixteenths, 2600, 3200, true},
    // the fire: a two-beat bar that moves the bar line for the rest of the song
    {fire_beat, fire_beat, drums_none, drums_none, bass_none, prog_dominant, lead_none, arp_none, 3200, 1200, false},
    // the credits; their burns are cues
    {credits_beat, credits_beat, drums_half, drums_half_fill, bass_half, prog_credits, lead_none, arp_sixteenths, 1500, 2200, true},
    // rain and greetings
    {greetings_beat, greetings_beat, drums_rain, drums_rain, bass_long, prog_rain, lead_none, arp_drops, 1200, 2000, false},
    {302, 302, drums_four, drums_four_fill, bass_offbeat, prog_main, lead_theme, arp_sixteenths, 2400, 2400, true},
    {366, 366, drums_rain, drums_rain, bass_long, prog_drift, lead_drift, arp_drops, 1000, 1800, true},
    {398, 398, drums_four, drums_four_fill, bass_drive, prog_second, lead_answer, arp_sixteenths, 2400, 2800, true},
    {450, 450, drums_roll, drums_roll, bass_offbeat, prog_dominant, lead_none, arp_sixteenths, 2800, 5000, false},
    // the flare, and the fade with the dying fire
    {flare_beat, flare_beat, drums_none, drums_none, bass_long, prog_home, lead_none, arp_none, 3000, 700, false},
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
    cue_fade,    // the fire dies: the sound fades out until the end
};

struct cue { std::int64_t tenths; cue_kind kind; std::int64_t arg; };

constexpr std::int64_t plasma_start_ms = beat_tenths(plasma_beat) / 10;  // the plasma runs while t > this
constexpr std::int64_t plasma_end_ms = beat_tenths(cascade_beat) / 10;    // and t <= this

constexpr int cue_count = 9 + 8 + 16 + (1 + 3 + greeting_count + 1) * 2 + greeting_count + 1;

using cue_list = std::array<cue, cue_count>;

constexpr cue_list make_cues()
{
    cue_list c{};
    int n = 0;
    for (int b : word_beats) {
        c[n++] = {beat_tenths(b), cue_word, 0};
        c[n++] = {beat_tenths(b + word_step_beats), cue_word, 1};
        c[n++] = {beat_tenths(b + 2 * word_step_beats), cue_word, 2};
    }
    // The cube's clock runs 60 ms behind the beat.
    for (std::int64_t t = cube_pulse_lag_ms; t <= plasma_end_ms; t += cube_pulse_ms)
        if (t > plasma_start_ms) c[n++] = {t * 10, cue_pulse, 0};
    for (std::int64_t t = cube_flash_ms - cube_flash_lead_ms; t <= plasma_end_ms; t += cube_flash_ms)
        if (t > plasma_start_ms) c[n++] = {t * 10, cue_flash, 0};
    auto burn = [&](int beat, int swell_beats, cue_kind kind) {
        c[n++] = {beat_tenths(beat - swell_beats), cue_riser, beat_tenths(beat)};
        c[n++] = {beat_tenths(beat), kind, 0};
    };
    burn(title_burn_beat, 4, cue_burn);
    for (int b : credit_burn_beats) burn(b, 4, cue_burn);
    for (int g = 0; g < greeting_count; ++g) {
        burn(greeting_burn_beat + greeting_beats * g, 2, cue_burn);
        c[n++] = {half_beat_tenths(static_cast<int>(2 * greeting_in_beat) + 2 * greeting_beats * g), cue_chime, g};
    }
    burn(flare_beat, 8, cue_flare);
    c[n++] = {fade_tenth_beat * beat_ms + beat_origin, cue_fade, 0};
    for (int i = 1; i < n; ++i)  // insertion sort, stable
        for (int j = i; j > 0 && c[j - 1].tenths > c[j].tenths; --j) {
            const cue t = c[j];
            c[j] = c[j - 1];
            c[j - 1] = t;
        }
    return n == cue_count ? c : cue_list{};
}

constexpr cue_list cues = make_cues();
static_assert(cues[cue_count - 1].kind == cue_fade, "the cue list is full and sorted");

// Where the song stands: everything the synthesiser does not keep.
struct score_state {
    std::uint32_t frame;  // the next frame to render
    int tick;             // the next quarter beat to take effect
    int part;             // the part that tick falls in
    int next_cue;
    chord_name chord;     // the chord of the current bar
    bool started;         // reset since the program began
};

score_state state;  // the one score being played

void chord_notes(chord_name name, int (&notes)[3])
{
    for (int i = 0; i < 3; ++i) notes[i] = chords[name].notes[i];
}

void drums_step(int part, int r, int bars)
{
    const song_part& p = parts[part];
    const int bar = r / steps_per_bar;
    const drum_name name = bar % 8 == 7 || bar == bars - 1 ? p.fill : p.drums;
    if (name == drums_none) return;
    const drum_pattern& d = drum_patterns[name];
    const int step = r % steps_per_bar;
    if (d.kick[step] == 'x') synth_kick(1.0f);
    if (d.snare[step] != '.') synth_snare(d.snare[step] == 'x' ? 1.0f : 0.3f);
    const char h = d.hat[step];
    if (h != '.') synth_hat(h == '-' ? 0.45f : 1.0f, h == 'o');
    if (name == drums_roll) {
        // Quarter notes, then eighths, then sixteenths over the last two beats, rising.
        const int left = (part_end_beat(part) - p.first_beat) * 4 - r;
        const int every = left <= 8 ? 1 : left <= 16 ? 2 : 4;
        if (r % every == 0) synth_snare(0.35f + 0.65f * static_cast<float>(r) / static_cast<float>(r + left));
    }
}

void bass_step(const song_part& p, chord_name now, int r)
{
    if (p.bass == bass_none) {
        if (r == 0) synth_bass_off();
        return;
    }
    const char c = bass_patterns[p.bass][r % steps_per_bar];
    const int root = chords[now].root;
    if (c == 'r') synth_bass_note(root);
    else if (c == 'o') synth_bass_note(root + 12);
    else if (c == 'f') synth_bass_note(root + 7);
    else if (c == '_') synth_bass_off();
}

void arp_step(const song_part& p, chord_name now, int r)
{
    if (p.arp == arp_none) return;
    const char c = arp_patterns[p.arp][r % steps_per_bar];
    if (c == '.') return;
    const int i = c - '0';
    synth_arp_note(chords[now].notes[i % 3] + 12 * (1 + i / 3), (r & 1) ? 0.8f : 0.2f);
}

void lead_step(const song_part& p, int phrase_ticks)
{
    if (p.lead == lead_none) {
        synth_lead_off();
        return;
    }
    if (phrase_ticks % 2 != 0) return;
    const char c = melodies[p.lead][(phrase_ticks / 2) % melody_length];
    if (c == '.') synth_lead_off();
    else if (c != '-') synth_lead_note(melody_note(c));
}

// One quarter beat of the song: the part, its chord and its patterns' steps.
void on_tick(score_state& s)
{
    const int tick = s.tick++;
    while (s.part + 1 < part_count && tick >= parts[s.part + 1].first_beat * 4) ++s.part;
    const song_part& p = parts[s.part];
    const int r = tick - p.first_beat * 4;
    const int ticks = (part_end_beat(s.part) - p.first_beat) * 4;
    const int phrase_ticks = tick - p.phrase_beat * 4;
    synth_pad_brightness(p.pad_from + (p.pad_to - p.pad_from) * static_cast<float>(r) / static_cast<float>(ticks));
    if (phrase_ticks % steps_per_bar == 0 || r == 0) {
        const progression& g = progressions[p.chords];
        s.chord = g.bar[(phrase_ticks / steps_per_bar) % g.length];
        int notes[3];
        chord_notes(s.chord, notes);
        synth_pad_chord(notes);
    }
    if (r == 0 && p.crash) synth_crash(1.0f);
    drums_step(s.part, r, (ticks + steps_per_bar - 1) / steps_per_bar);
    bass_step(p, s.chord, r);
    arp_step(p, s.chord, r);
    lead_step(p, phrase_ticks);
}

void on_cue(const score_state& s, const cue& c)
{
    const chord& now = chords[s.chord];
    switch (c.kind) {
    case cue_word: {
        // JEG, SER, HORER climb A, C, E; HORER holds for its 0.8 beat.
        constexpr int roots[3] = {57, 60, 64};
        const int n = roots[c.arg];
        const int notes[4] = {n - 12, n, n + 7, n + 12};
        synth_stab(notes, c.arg == 2 ? frame_at(2704) : frame_at(676));
        synth_crash(c.arg == 2 ? 0.8f : 0.4f);
        break;
    }
    case cue_pulse: {
        const int notes[4] = {now.notes[0], now.notes[1], now.notes[2], now.notes[0] + 12};
        synth_stab(notes, frame_at(1000));
        synth_crash(0.5f);
        break;
    }
    case cue_flash:
        synth_zap();
        synth_snare(0.8f);
        break;
    case cue_riser:
        synth_riser(frame_at(c.arg) - frame_at(c.tenths));
        break;
    case cue_burn:
        // The greetings burn over the beat every eleven beats: lighter.
        synth_boom(c.tenths > beat_tenths(greetings_beat) ? 0.55f : 0.8f, 0.7f);
        synth_crash(1.0f);
        break;
    case cue_flare:
        synth_boom(1.0f, 2.2f);
        synth_crash(1.3f);
        break;
    case cue_chime:
        synth_chime(now.notes[c.arg % 3] + 24, (c.arg & 1) ? 0.75f : 0.25f);
        break;
    case cue_fade:
        synth_fade_out(length_frames - frame_at(c.tenths));
        break;
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
    state = score_state{};
    state.chord = am;
    state.started = true;
    synth_reset();
}

void score_seek(std::uint32_t frame)
{
    score_reset();
    static std::int16_t dropped[4096 * 2];
    for (std::uint32_t done = 0; done < frame && done < length_frames;) {
        const std::uint32_t n = frame - done < 4096 ? frame - done : 4096;
        score_render(dropped, n);
        done += n;
    }
}

void score_set_voices(std::uint32_t mask) { synth_set_voices(mask); }

void score_render(std::int16_t* out, std::uint32_t frames)
{
    score_state& s = state;
    if (!s.started) score_reset();  // a first call without a reset starts at the beginning
    while (frames > 0) {
        if (s.frame >= length_frames) {
            std::memset(out, 0, static_cast<std::size_t>(frames) * 2 * sizeof(std::int16_t));
            return;
        }
        // Events due at this frame first: the quarter beat, then the cues.
        const bool ticks_left = s.tick < end_beat * 4;
        const std::uint32_t tick_frame = ticks_left ? frame_at(tick_tenths(s.tick)) : length_frames;
        if (tick_frame <= s.frame) {
            on_tick(s);
            continue;
        }
        const std::uint32_t cue_frame = s.next_cue < cue_count ? frame_at(cues[s.next_cue].tenths) : length_frames;
        if (cue_frame <= s.frame) {
            on_cue(s, cues[s.next_cue++]);
            continue;
        }
        const std::uint32_t until = tick_frame < cue_frame ? tick_frame : cue_frame;
        const std::uint32_t n = until - s.frame < frames ? until - s.frame : frames;
        synth_render(out, n);
        s.frame += n;
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
