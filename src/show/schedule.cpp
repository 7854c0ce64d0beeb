#include "show/schedule.h"

#include <initializer_list>

#include "show/demo_state.h"
#include "effects/fire.h"
#include "effects/plasma.h"
#include "effects/sine_bars.h"
#include "render/ascii_pictures.h"
#include "text/banner_effects.h"

const char* const greeting_texts[greeting_count] = {
    "GREETS TO        ",
    "TRIVOLUTEX         ",
    "  GLYMBA             ",
    "ZORBALINE          ",
    " VESTRO K           ",
    "BLIMSTODE          ",
    "   YUX            ",
    " FRENTIK              ",
    " PLOOMA             ",
    " DWERIN             ",
    " MARGOLIX              ",
    " TUNDRAVE                  ",
    "   KEV               ",
    " SNORVALT                  ",
    "WOBBLEFIN                    ",
};

const char scroll_text[] =
    "      Husker dere oss...?         blixtorn og quillbuk fra murvalde er tilbake med "
    "glimfant 4 for brenntopp 04... og ja, vi har farger denne gangen!"
    "                                                                  ";

namespace {

// The short fractions of a beat are single-precision constants widened to double.
constexpr double fifth_beat = 0.2f;
constexpr double four_fifths_beat = 0.8f;

std::int32_t t() { return demo.platform->music_time(); }  // a fresh read at every use

// ---- scene bodies ----------------------------------------------------------

void fire_through_title()
{
    fire_set_palette(fire_stored_palette);
    fire_frame();
    draw_picture(title_picture, 0, 0, '8');  // black everywhere but inside the letters
}

void title_burns()
{
    if (demo.scene_counter < 2) {
        fire_stamp_picture(title_picture, 255, '8');
        ++demo.scene_counter;
    }
    fire_frame();
}

void fountain_scene() { fountain_frame(demo.fountain_particles, t() <= beat_time(fountain_spawn_end_beat) ? 1 : 0); }

// The beat words flash over the fountain and the plasma: JEG, SER, HORER.
void beat_words()
{
    for (const int b : word_beats) {
        constexpr int ser = word_step_beats, horer = 2 * word_step_beats;
        if (t() > beat_time(b) && t() <= beat_time(b + fifth_beat))
            draw_picture(word_jeg_picture, 15, 8, '.');
        if (t() > beat_time(b + ser) && t() <= beat_time(b + ser + fifth_beat))
            draw_picture(word_ser_picture, 15, 8, '.');
        if (t() > beat_time(b + horer) && t() <= beat_time(b + horer + four_fifths_beat))
            draw_picture(word_horer_picture, 15, 8, '.');
    }
}

// The cube jumps to the next corner at the start of every 4-beat window, 10
// units deeper for the first beat, and flashes large and white every 2 beats.
void plasma_and_cube_pulse()
{
    plasma_frame(demo.frame_deadline + demo.show_clock_shift);

    const int r = (t() - cube_pulse_lag_ms) % cube_pulse_ms;
    if (r <= beat_ms) {
        if (demo.cube_amplitude == 0.0f) {
            ++demo.cube_pattern;
            if (demo.cube_pattern > 3) demo.cube_pattern = 0;
        }
        demo.cube_amplitude = 10.0f;
    } else {
        demo.cube_amplitude = 0.0f;
    }

    const int r2 = (t() + cube_flash_lead_ms) % cube_flash_ms;
    float scale = 0.12f;
    int foreground = 11, background = 9;
    if (r2 <= 70) {
        scale = 0.07f;
        foreground = 15;
        background = 15;
    }

    const float a = demo.cube_amplitude;
    const float corner_x[4] = {6 * a, -6 * a, 6 * a, -6 * a};  // negative y is up
    const float corner_y[4] = {-a, -a, a, a};
    demo.cube.draw(corner_x[demo.cube_pattern], corner_y[demo.cube_pattern], a + 20, '8',
                   foreground, background, scale);
}

void plasma_and_cube()
{
    plasma_frame(demo.frame_deadline + demo.show_clock_shift);
    demo.cube.draw(0, 0, 20, '8', 11, 9, 0.1f);
    beat_words();  // this scene lasts one frame; the words come before its end test
}

void cascade_scene()
{
    cascade_frame(demo.cascade, t() <= beat_time(cascade_spawn_end_beat) ? 1 : 0);
    demo.glyph.draw(0, 0, 20, '8', 15, 8, 0.1f);
}

void bars_and_scroller()
{
    streaks_frame(demo.streaks);
    bars_draw_back(0);
    bars_draw_back(1);
    wave_scroll(demo.scroll_banner, 10, 20, 8, 11, 9);
    bars_draw_front(0);
    bars_draw_front(1);
}

void fire_alone() { fire_frame(); }

// A credit stands in dark grey, flashing white for 43 ms every two beats,
// until its end; then its letters are stamped into the fire on five frames.
void show_and_stamp(const ascii_picture& picture, int burn_beat, std::uint8_t ink)
{
    fire_frame();
    if (t() < beat_time(burn_beat)) {
        const int r = (t() + 139) % 676;
        draw_picture(picture, r <= 42.25 ? 15 : 8, 0, '.');
    } else if (demo.scene_counter < 5) {
        fire_stamp_picture(picture, 255, ink);
        ++demo.scene_counter;
    }
}

void first_credit() { show_and_stamp(credit_first_picture, credit_burn_beats[0], '#'); }
void second_credit() { show_and_stamp(credit_second_picture, credit_burn_beats[1], '#'); }
void logo_credit() { show_and_stamp(logo_picture, credit_burn_beats[2], '8'); }

// Each greeting has 11 beats: shown for 9.5, burnt for 0.2, then it fades.
void rain_and_greetings()
{
    drops_frame(demo.rain);
    fire_frame();
    for (int g = 0; g < greeting_count; ++g) {
        const double o = static_cast<double>(greeting_beats) * g;
        if (t() <= beat_time(o + greeting_in_beat) || t() >= beat_time(o + greeting_gone_beat)) continue;
        if (t() < beat_time(o + greeting_burn_beat))
            draw_banner(*demo.greeting_banners[g], 8, 15, 7);
        else if (t() < beat_time(o + greeting_burn_beat + fifth_beat))
            burn_banner(*demo.greeting_banners[g], fire_field, 8, '$');
    }
}

void flare_and_burn_out()
{
    if (t() > beat_time(fade_tenth_beat / 10.0)) fire_set_sparks(1);  // the fire dies
    else drops_frame(demo.rain);
    fire_frame();
}

// ---- changes made when a scene ends -------------------------------------------

void no_change() {}
void opening() { fire_set_decay(3.5, 0.22, 0.008), fire_set_sparks(0); }
void title_to_burn() { fire_set_sparks(1), demo.scene_counter = 0; }
void bars_to_fire() { fire_set_decay(4.0, 0.22, 0.006), fire_set_sparks(0), demo.scene_counter = 0; }
void fire_to_credits() { fire_set_decay(3.5, 0.22, 0.006), fire_set_sparks(0), demo.scene_counter = 0; }
void next_credit() { demo.scene_counter = 0; }
void credits_to_rain() { fire_set_decay(0.22, 25.0, -0.0005), fire_set_sparks(0), demo.scene_counter = 0; }
void rain_to_flare() { fire_set_sparks(0), fire_set_decay(1.7, 0.0, 0.5); }

// ---- the running order -----------------------------------------------------------

enum class end_rule {
    always,        // passes straight on in the same frame
    after_beat,    // ends when t > beat_time(end_beat)
    never,         // the last scene
};

struct scene_entry {
    int code;
    void (*body)();
    bool words_after;   // the beat words follow this body when it does not end
    end_rule rule;
    double end_beat;
    int next;
    void (*changes)();  // made when the scene ends, before the next body runs
};

constexpr scene_entry running_order[] = {
    //code body                  words  end rule             end beat            next changes
    {0,  nullptr,                false, end_rule::always,     0,                  1,  opening},
    {1,  fire_through_title,     false, end_rule::after_beat, title_second_beat,  2,  no_change},
    {2,  fire_through_title,     false, end_rule::after_beat, title_burn_beat,    3,  title_to_burn},
    {3,  title_burns,            false, end_rule::after_beat, fountain_beat,      21, no_change},
    {21, fountain_scene,         true,  end_rule::after_beat, plasma_beat,        22, no_change},
    {22, plasma_and_cube_pulse,  true,  end_rule::after_beat, cascade_beat,       23, no_change},
    {23, plasma_and_cube,        false, end_rule::after_beat, cascade_beat,       61, no_change},
    {61, cascade_scene,          false, end_rule::after_beat, bars_beat,          16, no_change},
    {16, bars_and_scroller,      false, end_rule::after_beat, fire_beat,          17, bars_to_fire},
    {17, fire_alone,             false, end_rule::after_beat, credits_beat,       51, fire_to_credits},
    {51, first_credit,           false, end_rule::after_beat, second_credit_beat, 52, next_credit},
    {52, second_credit,          false, end_rule::after_beat, logo_beat,          53, next_credit},
    {53, logo_credit,            false, end_rule::after_beat, greetings_beat,     54, credits_to_rain},
    {54, rain_and_greetings,     false, end_rule::after_beat, flare_beat,         55, rain_to_flare},
    {55, flare_and_burn_out,     false, end_rule::never,      0,                  55, no_change},
};

const scene_entry* find_scene(int code)
{
    for (const scene_entry& entry : running_order)
        if (entry.code == code) return &entry;
    return nullptr;
}

}  // namespace

void run_scene()
{
    for (;;) {
        const scene_entry* entry = find_scene(demo.scene);
        if (!entry) return;  // a code without a body draws nothing
        if (entry->body) entry->body();
        if (entry->rule == end_rule::never) return;
        if (entry->rule == end_rule::after_beat && !(t() > beat_time(entry->end_beat))) {
            if (entry->words_after) beat_words();
            return;
        }
        entry->changes();
        demo.scene = entry->next;
    }
}
