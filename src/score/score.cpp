// The score's sequencer: which note plays when. Events (pattern steps every
// quarter beat, and cues at the script's moments) take effect at their exact
// frame, as triggers of the synthesiser's voices; everything else runs sample
// by sample in the mix, so the output never depends on the size of the calls.
#include "score/score.h"

#include <cstring>

#include "score/score_drums.h"
#include "score/score_mix.h"
#include "score/score_song.h"
#include "score/score_voices.h"

namespace {

static_assert(score_rate == 44100, "the song's times become frames at 4.41 a tenth of a millisecond");

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
        mix_fade_out(song_length_frames - frame_at(c.tenths));
        break;
    }
}

}  // namespace

std::uint32_t score_length_frames() { return song_length_frames; }

void score_reset()
{
    state = score_state{};
    state.chord = am;
    state.started = true;
    mix_reset();
}

void score_seek(std::uint32_t frame)
{
    score_reset();
    static std::int16_t dropped[4096 * 2];
    for (std::uint32_t done = 0; done < frame && done < song_length_frames;) {
        const std::uint32_t n = frame - done < 4096 ? frame - done : 4096;
        score_render(dropped, n);
        done += n;
    }
}

void score_set_voices(std::uint32_t mask) { mix_set_voices(mask); }

void score_render(std::int16_t* out, std::uint32_t frames)
{
    score_state& s = state;
    if (!s.started) score_reset();  // a first call without a reset starts at the beginning
    while (frames > 0) {
        if (s.frame >= song_length_frames) {
            std::memset(out, 0, static_cast<std::size_t>(frames) * 2 * sizeof(std::int16_t));
            return;
        }
        // Events due at this frame first: the quarter beat, then the cues.
        const bool ticks_left = s.tick < end_beat * 4;
        const std::uint32_t tick_frame = ticks_left ? frame_at(tick_tenths(s.tick)) : song_length_frames;
        if (tick_frame <= s.frame) {
            on_tick(s);
            continue;
        }
        const std::uint32_t cue_frame = s.next_cue < cue_count ? frame_at(cues[s.next_cue].tenths) : song_length_frames;
        if (cue_frame <= s.frame) {
            on_cue(s, cues[s.next_cue++]);
            continue;
        }
        const std::uint32_t until = tick_frame < cue_frame ? tick_frame : cue_frame;
        const std::uint32_t n = until - s.frame < frames ? until - s.frame : frames;
        mix_render(out, n);
        s.frame += n;
        out += 2 * static_cast<std::size_t>(n);
        frames -= n;
    }
}
