// The script's boundaries: each scene body and change driven by a music time
// that the test sets, read afresh at every use.
#include "show/schedule.h"

#include <gtest/gtest.h>

#include <cstring>

#include "show/driver.h"
#include "platform/scripted.h"
#include "effects/fire.h"
#include "render/ascii_pictures.h"

namespace {

const platform_api scripted = scripted_platform();

class schedule_at : public testing::Test {
protected:
    void SetUp() override
    {
        demo_config config;
        config.seed_given = true;
        config.seed = 99;
        demo_setup(scripted, config);
        demo.scene = 0;
        demo.scene_counter = 0;
        scripted_music_ms = 0;
        fire_set_sparks(0);  // the fire's flags outlive a test
    }
    // One frame at music time ms, starting in scene.
    void frame(int scene, std::int32_t ms)
    {
        demo.scene = scene;
        scripted_music_ms = ms;
        clear_screen();
        run_scene();
    }
    static int cells_with(std::uint16_t value)
    {
        int n = 0;
        for (screen_cell c : screen_buffer) n += c == value;
        return n;
    }
};

TEST(beat_time, matches_the_script_thresholds)
{
    EXPECT_EQ(beat_time(2), 646.0);
    EXPECT_EQ(beat_time(30), 10110.0);
    EXPECT_EQ(beat_time(458), 154774.0);
    EXPECT_EQ(beat_time(285.5), 96469.0);
}

TEST_F(schedule_at, the_first_frame_sets_the_opening_fire_values)
{
    frame(0, 0);
    EXPECT_EQ(demo.scene, 1);
    EXPECT_EQ(fire_decay_target, 0.22);
    EXPECT_EQ(fire_decay_step, 0.008);
    EXPECT_EQ(fire_decay, 3.5 - 0.008);  // one fire frame has run since
    EXPECT_EQ(fire_sparks_off, 0);
}

TEST_F(schedule_at, the_title_is_stamped_once_when_scene_3_gets_no_frame)
{
    frame(2, 12140);
    EXPECT_EQ(demo.scene, 21);
    EXPECT_EQ(demo.scene_counter, 1);
    EXPECT_EQ(fire_sparks_off, 1);
}

TEST_F(schedule_at, beat_words_flash_inside_their_windows)
{
    const screen_cell jeg_ink = make_cell('9', 15, 8);
    frame(21, 12138);  // B(36): not yet
    EXPECT_EQ(cells_with(jeg_ink), 0);
    frame(21, 12139);
    const int jeg_cells = cells_with(jeg_ink);
    EXPECT_GT(jeg_cells, 0);
    frame(21, 12205);  // B(36.2) is 12205.6
    EXPECT_EQ(cells_with(jeg_ink), jeg_cells);
    frame(21, 12206);
    EXPECT_EQ(cells_with(jeg_ink), 0);
    frame(21, 13760);  // HORER, same colours, lasts 0.8 beat: (B(40), B(40.8)] = (13490, 13760.4]
    EXPECT_GT(cells_with(jeg_ink), 0);
    frame(21, 13761);
    EXPECT_EQ(cells_with(jeg_ink), 0);
}

TEST_F(schedule_at, the_cube_pulse_is_on_for_339_ms_of_every_1352)
{
    for (int m : {17, 18, 24}) {
        demo.cube_amplitude = 0.0f;
        const int pattern = demo.cube_pattern;
        frame(22, 368 + 1352 * m);
        EXPECT_EQ(demo.cube_amplitude, 10.0f) << m;
        EXPECT_EQ(demo.cube_pattern, (pattern + 1) % 4) << m;
        frame(22, 368 + 1352 * m);  // still on: the corner stays
        EXPECT_EQ(demo.cube_pattern, (pattern + 1) % 4) << m;
        frame(22, 369 + 1352 * m);
        EXPECT_EQ(demo.cube_amplitude, 0.0f) << m;
    }
}

TEST_F(schedule_at, scene_23_lives_only_in_the_frame_that_enters_it)
{
    frame(22, 33771);
    EXPECT_EQ(demo.scene, 61);
}

TEST_F(schedule_at, a_credit_shows_until_its_end_then_burns_on_five_frames)
{
    frame(51, 77033);
    EXPECT_EQ(demo.scene_counter, 0);
    EXPECT_GT(cells_with(make_cell('#', 8, 0)) + cells_with(make_cell('#', 15, 0)), 0);
    for (int k = 1; k <= 7; ++k) {
        frame(51, 77034);
        EXPECT_EQ(demo.scene_counter, k < 5 ? k : 5);
        EXPECT_EQ(cells_with(make_cell('#', 8, 0)) + cells_with(make_cell('#', 15, 0)), 0);
    }
}

TEST_F(schedule_at, a_credit_flashes_white_for_43_ms_every_two_beats)
{
    frame(51, 537);  // (537 + 139) mod 676 = 0
    EXPECT_GT(cells_with(make_cell('#', 15, 0)), 0);
    frame(51, 579);  // r = 42
    EXPECT_GT(cells_with(make_cell('#', 15, 0)), 0);
    frame(51, 580);  // r = 43
    EXPECT_EQ(cells_with(make_cell('#', 15, 0)), 0);
    EXPECT_GT(cells_with(make_cell('#', 8, 0)), 0);
}

TEST_F(schedule_at, greeting_zero_is_drawn_then_burnt_inside_its_window)
{
    const screen_cell ink = make_cell('$', 15, 7);
    for (int k = 0; k < 80; ++k) frame(54, 96470);  // the banner slides in unseen
    EXPECT_EQ(cells_with(ink), 0);
    frame(54, 96470);
    EXPECT_GT(cells_with(ink), 0);
    frame(54, 96469);  // the window is open on both sides: (B(285.5), B(295))
    EXPECT_EQ(cells_with(ink), 0);
    frame(54, 99679);
    EXPECT_GT(cells_with(ink), 0);

    std::memset(fire_field, 0, sizeof fire_field);
    fire_set_sparks(1);
    frame(54, 99680);  // burnt, not drawn
    EXPECT_EQ(cells_with(ink), 0);
    int hot = 0;
    for (int y = 16; y < 28; ++y)
        for (int x = 0; x < fire_width; ++x) hot += fire_field[y * fire_width + x] > 0;
    EXPECT_GT(hot, 0);
}

TEST_F(schedule_at, the_fire_dies_after_beat_461_6)
{
    frame(55, 155990);
    const std::uint32_t countdown = demo.rain.active_countdown;
    EXPECT_EQ(fire_sparks_off, 0);
    frame(55, 155991);
    EXPECT_EQ(fire_sparks_off, 1);
    EXPECT_EQ(demo.rain.active_countdown, countdown);  // no drops this frame
}

TEST_F(schedule_at, the_flare_makes_the_decay_negative_after_four_frames)
{
    frame(54, 154775);
    EXPECT_EQ(demo.scene, 55);
    for (int k = 0; k < 5; ++k) frame(55, 154800);
    EXPECT_EQ(fire_decay, -0.30000000000000004);
}

}  // namespace
