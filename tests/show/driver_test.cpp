// The driver's frame loop on a scripted platform: a fake tick count that only
// moves when the loop waits or a frame "works", so pacing can be checked exactly.
#include "show/driver.h"

#include <gtest/gtest.h>

#include <vector>

#include "show/schedule.h"

namespace {

struct fake_machine {
    std::uint32_t now = 1000;
    bool escape_at_start = false;
    bool space = true;
    int frames_wanted = 0;
    std::vector<std::uint32_t> present_times;  // tick count at each frame's present
    std::vector<std::uint32_t> work_ms;        // work of frame k, spent after its present
    int presents_before_music = 0;
    bool music_started = false;
    std::int32_t music_ms = 0;
    int shutdowns = 0;
} fake;

std::uint32_t fake_ticks() { return fake.now; }
bool fake_wait_for_space() { return fake.space; }
bool fake_escape()
{
    return fake.escape_at_start ||
           static_cast<int>(fake.present_times.size()) >= fake.frames_wanted;
}
std::uint32_t fake_pace(std::uint32_t deadline)
{
    if (fake.now <= deadline) fake.now = deadline + 1;  // wait until the tick count is past it
    return deadline;
}
void fake_present(const screen_cell*, int, int)
{
    if (!fake.music_started) {
        ++fake.presents_before_music;
        return;
    }
    const std::size_t k = fake.present_times.size();
    fake.present_times.push_back(fake.now);
    fake.now += k < fake.work_ms.size() ? fake.work_ms[k] : 1;
}
int fake_music_start(const char*)
{
    fake.music_started = true;
    return 0;
}
std::int32_t fake_music_time() { return fake.music_ms; }
void fake_shutdown() { ++fake.shutdowns; }

constexpr platform_api fake_api{fake_ticks, fake_wait_for_space, fake_escape,     fake_pace,
                                fake_present, fake_music_start,  fake_music_time, fake_shutdown,
                                nullptr,      nullptr,           nullptr};

demo_config seeded()
{
    demo_config config;
    config.seed_given = true;
    config.seed = 7;
    return config;
}

TEST(driver, escape_down_at_space_ends_before_the_first_frame)
{
    fake = {};
    fake.escape_at_start = true;
    fake.frames_wanted = 100;
    EXPECT_EQ(run_demo(fake_api, seeded()), 0);
    EXPECT_EQ(fake.presents_before_music, 1);  // the start picture only
    EXPECT_TRUE(fake.present_times.empty());
    EXPECT_EQ(fake.shutdowns, 1);
}

TEST(driver, quitting_at_the_start_screen_starts_no_music)
{
    fake = {};
    fake.space = false;
    EXPECT_EQ(run_demo(fake_api, seeded()), 0);
    EXPECT_FALSE(fake.music_started);
    EXPECT_EQ(fake.shutdowns, 1);
}

TEST(driver, frames_present_every_20_ms_past_the_deadline)
{
    fake = {};
    fake.frames_wanted = 5;
    run_demo(fake_api, seeded());
    // The first deadline is the tick count at the music start; each present
    // waits until the tick count is past it.
    ASSERT_EQ(fake.present_times.size(), 5u);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(fake.present_times[k], 1001u + 20u * k);
}

TEST(driver, a_slow_frame_is_followed_by_frames_at_once_until_the_deadline_is_ahead)
{
    fake = {};
    fake.frames_wanted = 12;
    fake.work_ms = {1, 1, 70, 1, 1, 1, 1, 1, 1, 1, 1, 1};  // frame 3's work takes 70 ms
    run_demo(fake_api, seeded());
    const auto& p = fake.present_times;
    ASSERT_EQ(p.size(), 12u);
    EXPECT_EQ(p[2], 1041u);
    EXPECT_EQ(p[3], 1041u + 70u);  // late: its deadline (1060) has long passed
    EXPECT_EQ(p[4], p[3] + 1);     // deadline 1080 passed too: at once
    EXPECT_EQ(p[5], p[4] + 1);     // deadline 1100 passed too: at once
    EXPECT_EQ(p[6], 1121u);        // caught up: back on the 20 ms grid
    EXPECT_EQ(p[11], 1221u);       // no frame skipped
}

TEST(driver, frame_count_follows_elapsed_time_over_a_long_run)
{
    fake = {};
    fake.frames_wanted = 2000;
    fake.work_ms.assign(2000, 3);
    for (int k = 0; k < 2000; k += 97) fake.work_ms[k] = 55;  // an occasional stall
    run_demo(fake_api, seeded());
    const double elapsed = fake.present_times.back() - fake.present_times.front();
    EXPECT_NEAR(elapsed / 20.0, 1999.0, 1.0);
}

TEST(schedule, a_music_time_past_several_ends_runs_each_body_once_in_order)
{
    fake = {};
    demo_setup(fake_api, seeded());
    demo.scene = 2;
    demo.scene_counter = 0;
    fake.music_ms = 12140;  // past the ends of scenes 2 (10110) and 3 (12138)
    run_scene();
    EXPECT_EQ(demo.scene, 21);
    EXPECT_EQ(demo.scene_counter, 1);  // scene 3 ran once: one stamp of the title
}

TEST(schedule, end_tests_are_strict)
{
    fake = {};
    demo_setup(fake_api, seeded());
    demo.scene = 2;
    fake.music_ms = 10110;
    run_scene();
    EXPECT_EQ(demo.scene, 2);
    fake.music_ms = 10111;
    run_scene();
    EXPECT_EQ(demo.scene, 3);
}

TEST(schedule, a_huge_jump_walks_the_whole_running_order_in_one_frame)
{
    fake = {};
    demo_setup(fake_api, seeded());
    demo.scene = 0;
    fake.music_ms = 1'000'000;
    run_scene();
    EXPECT_EQ(demo.scene, 55);
    run_scene();
    EXPECT_EQ(demo.scene, 55);  // the last scene never ends
}

}  // namespace
