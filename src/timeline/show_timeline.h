// The show's moments, written once: the scene schedule draws at them and the
// built-in score plays its cues at them, so moving a scene moves both. Music
// time is counted in milliseconds; a beat is 338 ms and beat n begins at
// n x 338 - 30 ms (beat 0 begins 30 ms before the music does).
#pragma once

// The soundtrack the moments are set to, looked for in the working directory.
inline constexpr const char* default_soundtrack = "brumo.mp3";

inline constexpr int beat_ms = 338;
inline constexpr int beat_lead_ms = 30;  // beat 0 begins this long before music time 0

// Beat n's start in ms, in double precision (n may be fractional).
constexpr double beat_time(double n) { return n * beat_ms - beat_lead_ms; }

// Where the scenes begin (each when the music time passes its beat's start).
inline constexpr int title_second_beat = 2;  // the fire behind the title, unchanged to the eye
inline constexpr int title_burn_beat = 30;   // the title is burnt into the fire
inline constexpr int fountain_beat = 36;
inline constexpr int plasma_beat = 68;
inline constexpr int cascade_beat = 100;
inline constexpr int bars_beat = 140;
inline constexpr int fire_beat = 212;
inline constexpr int credits_beat = 214;
inline constexpr int second_credit_beat = 230;
inline constexpr int logo_beat = 246;
inline constexpr int greetings_beat = 270;
inline constexpr int flare_beat = 458;
// The fire dies at beat 461.6 (in tenths of a beat, so the score can count it exactly).
inline constexpr int fade_tenth_beat = 4616;
// The score ends here; the last scene runs on. A looping show starts again here.
inline constexpr int show_end_beat = 468;
inline constexpr int show_end_ms = beat_ms * show_end_beat - beat_lead_ms;
// The whole show in frames, as a run without a viewer renders it unless told
// otherwise: 157 s of 20 ms frames, past the fire's death, about a second
// short of the score's end.
inline constexpr int show_frame_count = 7850;

// The fountain spawns until beat 60, the cascade until beat 132.
inline constexpr int fountain_spawn_end_beat = 60;
inline constexpr int cascade_spawn_end_beat = 132;

// The beat words over the fountain: JEG at each of these beats, SER two beats
// later and HORER two beats after that.
inline constexpr int word_beats[3] = {36, 44, 52};
inline constexpr int word_step_beats = 2;

// The plasma's cube: it jumps to a corner where (t - 30) mod 1352 is 0 and
// stays there a beat; it flashes white where (t + 308) mod 676 is 0.
inline constexpr int cube_pulse_ms = 1352;
inline constexpr int cube_pulse_lag_ms = 30;
inline constexpr int cube_flash_ms = 676;
inline constexpr int cube_flash_lead_ms = 308;
static_assert(cube_pulse_ms == 4 * beat_ms && cube_flash_ms == 2 * beat_ms, "the cube keeps to the beat");

// Each credit stands until its burn beat, then burns.
inline constexpr int credit_burn_beats[3] = {228, 244, 260};

// The greetings: greeting g (0 .. greeting_count - 1) shows after beat
// 285.5 + 11 g, burns from beat 295 + 11 g and has faded by 296.5 + 11 g.
inline constexpr int greeting_count = 15;
inline constexpr int greeting_beats = 11;
inline constexpr double greeting_in_beat = 285.5;
inline constexpr int greeting_burn_beat = 295;
inline constexpr double greeting_gone_beat = 296.5;

// The scenes a viewer moves between (the arrows, --from NAME), in running
// order: each begins in the first frame past its beat's start.
struct show_scene {
    const char* name;
    int beat;
};
inline constexpr show_scene show_scenes[] = {
    {"title", 0},
    {"burn", title_burn_beat},
    {"fountain", fountain_beat},
    {"plasma", plasma_beat},
    {"cascade", cascade_beat},
    {"bars", bars_beat},
    {"fire", fire_beat},
    {"credits", credits_beat},
    {"second-credit", second_credit_beat},
    {"logo", logo_beat},
    {"greetings", greetings_beat},
    {"flare", flare_beat},
};
inline constexpr int show_scene_count = static_cast<int>(sizeof show_scenes / sizeof show_scenes[0]);

// The first whole millisecond of music time in a scene that begins at beat.
constexpr int scene_start_ms(int beat) { return beat == 0 ? 0 : beat_ms * beat - beat_lead_ms + 1; }
