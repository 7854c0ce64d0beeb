// The song the built-in score plays, as data: A minor at 338 ms a beat, its
// chords and progressions, drum, bass and arpeggio patterns, melodies, the
// parts laid on the show's script and the cues at the script's own moments.
//
// Time is counted in tenths of milliseconds so that beats (3380), quarter
// beats (845) and the script's fractional beats stay exact; a time becomes
// the frame round(t x 4.41) at score_rate.
#pragma once
#include <array>
#include <cstdint>

#include "timeline/show_timeline.h"

inline constexpr std::int64_t tenths_per_beat = 10 * beat_ms;
inline constexpr std::int64_t tenths_per_tick = tenths_per_beat / 4;  // a tick is a quarter beat
inline constexpr std::int64_t beat_origin = -10 * beat_lead_ms;       // beat 0 begins before the start
inline constexpr int steps_per_bar = 16;                              // ticks in a bar of four beats
inline constexpr int end_beat = show_end_beat;
static_assert(tenths_per_beat % 4 == 0, "quarter beats are whole tenths of a millisecond");

constexpr std::int64_t beat_tenths(int beat) { return beat * tenths_per_beat + beat_origin; }
constexpr std::int64_t half_beat_tenths(int half_beats) { return half_beats * (tenths_per_beat / 2) + beat_origin; }
constexpr std::int64_t tick_tenths(int tick) { return tick * tenths_per_tick + beat_origin; }

// round(t x 4.41): the frame of a time in tenths of milliseconds at 44100
// frames a second; times before the start sound at its first frame.
constexpr std::uint32_t frame_at(std::int64_t tenths)
{
    return tenths <= 0 ? 0u : static_cast<std::uint32_t>((tenths * 441 + 50) / 100);
}

inline constexpr std::uint32_t song_length_frames = frame_at(beat_tenths(end_beat));

// Chords: the bass's root (MIDI note) and the pad's three notes.
struct chord { std::uint8_t root; std::uint8_t notes[3]; };

enum chord_name : std::uint8_t { am, f_maj, c_maj, g_maj, em, dm, e_maj, bb_maj, chord_count };

extern const chord chords[chord_count];

// Progressions: one chord a bar, repeated.
struct progression { std::uint8_t length; chord_name bar[8]; };

enum progression_name : std::uint8_t {
    prog_main, prog_second, prog_drift, prog_credits, prog_rain, prog_dominant, prog_home, progression_count
};

extern const progression progressions[progression_count];

// Drums, one character a quarter beat over a bar. Kick 'x' (whole beats only:
// it is the beat voice); snare 'x' full, '-' ghost; hat 'x' closed, 'o' open,
// '-' ghost.
struct drum_pattern { const char* kick; const char* snare; const char* hat; };

enum drum_name : std::int8_t {
    drums_none = -1, drums_hats, drums_four, drums_four_fill, drums_rock, drums_rock_fill,
    drums_half, drums_half_fill, drums_rain, drums_roll, drum_pattern_count
};

extern const drum_pattern drum_patterns[drum_pattern_count];

// Bass, a character a quarter beat: 'r' root, 'o' octave, 'f' fifth, '_' off,
// '.' keep sounding.
enum bass_name : std::int8_t { bass_none = -1, bass_long, bass_offbeat, bass_drive, bass_half, bass_pattern_count };

extern const char* const bass_patterns[bass_pattern_count];

// Arpeggios, a character a quarter beat: the index of a note in the chord
// spread over two octaves (0-2, then 3-5 an octave higher), '.' nothing.
enum arp_name : std::int8_t { arp_none = -1, arp_eighths, arp_sixteenths, arp_drops, arp_pattern_count };

extern const char* const arp_patterns[arp_pattern_count];

// Melodies, a character an eighth note: a b c d e f g = A3 .. G4,
// A B C D E F G H = A4 .. A5 (A minor), '-' hold, '.' rest.
enum lead_name : std::int8_t { lead_none = -1, lead_theme, lead_answer, lead_plasma, lead_drift, melody_count };

inline constexpr int melody_length = 64;

extern const char* const melodies[melody_count];

// The MIDI note of a melody's note letter; -1 for any other character.
int melody_note(char c);

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

inline constexpr int part_count = 18;

extern const song_part parts[part_count];

// The beat where part p ends: the next part's first, or the song's end.
int part_end_beat(int p);

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

// Three words a fountain pass, the cube's 8 pulses and 16 flashes, a riser
// and a burn for the title, each credit, each greeting and the flare, a chime
// for each greeting, and the fade.
inline constexpr int cue_count = 9 + 8 + 16 + (1 + 3 + greeting_count + 1) * 2 + greeting_count + 1;

using cue_list = std::array<cue, cue_count>;

extern const cue_list cues;  // in time order; cues at the same time in the order made
