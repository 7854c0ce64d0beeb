// The song's tables, laid out to be read line by line, and the cues worked
// out from the show's script when the program is built. Checked as they are
// compiled: each pattern has its length, the kick keeps to whole beats, the
// parts follow one another and the cue list is full and sorted.
#include "score/score_song.h"

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

constexpr progression progressions[] = {
    {4, {am, f_maj, c_maj, g_maj}},                     // main
    {4, {f_maj, g_maj, em, am}},                        // second
    {8, {am, am, em, em, f_maj, f_maj, c_maj, c_maj}},  // drift
    {4, {dm, am, bb_maj, e_maj}},                       // credits
    {4, {am, em, f_maj, c_maj}},                        // rain
    {1, {e_maj}},                                       // dominant
    {1, {am}},                                          // home
};

constexpr drum_pattern drum_patterns[] = {
    {"................", "................", "x.-.o.-.x.-.o.-."},  // hats
    {"x...x...x...x...", "....x.......x...", "-.o.-.o.-.o.-.ox"},  // four
    {"x...x...x...x...", "....x...x.x.xxxx", "-.o.-.o.-.o....."},  // four, fill
    {"x.......x...x...", "................", "x-x-x-x-x-x-x-x-"},  // rock
    {"x.......x...x...", "..........x.x-xx", "x-x-x-x-x-x-...."},  // rock, fill
    {"x...........x...", "......-.x.....-.", "x.x.x.o.x.x.x.o."},  // half
    {"x...........x...", "......-.x...x-xx", "x.x.x.o.x.x....."},  // half, fill
    {"................", "................", "x-x.-.x.x-x.-.xo"},  // rain
    {"................", "................", "x.x.x.x.x.x.x.x."},  // roll: the snare roll is computed
};

constexpr const char* bass_patterns[] = {
    "r...............",  // long
    "..r_..r_..r_..o_",  // offbeat
    "r_r_o_r_r_r_o_f_",  // drive
    "r.......r_..r.o_",  // half
};

constexpr const char* arp_patterns[] = {
    "0.2.4.3.1.5.2.4.",  // eighths
    "0123432101234321",  // sixteenths
    "5..2..4...1..3..",  // drops
};

constexpr const char* melodies[] = {
    "E.EDC-A-" "C-D-CA--" "g.C-E-DC" "D---B-g-" "E.EDC-E-" "F-E-CA--" "G-E-C-ED" "D-----..",  // theme
    "A-C-F-E-" "D-B-g-B-" "B-G-E-G-" "A-------" "C-A-F-A-" "B-D-G-D-" "E-B-G-B-" "A---....",  // answer
    "F---E-C-" "D---B---" "E---G-F-" "E-------" "H-G-F-E-" "D-E-D-B-" "G-E-B-E-" "A---....",  // plasma
    "E-------" "C-------" "B-------" "g-------" "A-------" "C-------" "E-------" "D---C---",  // drift
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

namespace {

constexpr bool kicks_on_beats_only()
{
    for (const drum_pattern& d : drum_patterns)
        for (int s = 0; s < steps_per_bar; ++s)
            if (d.kick[s] != '.' && s % 4 != 0) return false;
    return true;
}
static_assert(kicks_on_beats_only(), "the kick marks the beat grid: whole beats only");

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

constexpr bool tables_are_full()
{
    for (const chord& c : chords) if (c.root == 0) return false;
    for (const progression& g : progressions) if (g.length < 1 || g.length > 8) return false;
    for (int p = 1; p < part_count; ++p) if (parts[p].first_beat <= parts[p - 1].first_beat) return false;
    return parts[part_count - 1].first_beat < end_beat;
}
static_assert(tables_are_full(), "every chord, progression and part is written, the parts in order");

constexpr std::int64_t plasma_start_ms = beat_tenths(plasma_beat) / 10;  // the plasma runs while t > this
constexpr std::int64_t plasma_end_ms = beat_tenths(cascade_beat) / 10;    // and t <= this

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

}  // namespace

constexpr cue_list cues = make_cues();
static_assert(cues[cue_count - 1].kind == cue_fade, "the cue list is full and sorted");

int melody_note(char c)
{
    constexpr const char names[] = "abcdefgABCDEFGH";
    constexpr int notes[] = {57, 59, 60, 62, 64, 65, 67, 69, 71, 72, 74, 76, 77, 79, 81};
    for (int i = 0; i < 15; ++i)
        if (names[i] == c) return notes[i];
    return -1;
}

int part_end_beat(int p) { return p + 1 < part_count ? parts[p + 1].first_beat : end_beat; }
