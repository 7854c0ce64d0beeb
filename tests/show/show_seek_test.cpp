// Moving about the show, headless: after a seek, a late start or a loop, the
// frame shown at a music time is exactly the uninterrupted show's frame there.
#include "show/show_seek.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "show/driver.h"
#include "host/headless/headless.h"

namespace {

struct keyed_run {
    std::map<std::uint32_t, viewer_keys> keys;  // by frame number
    std::uint32_t frame = 0;                     // frames presented so far
    std::vector<std::pair<std::int32_t, std::string>> shown;  // music time, cells
} run;

platform_api api;

bool keep_frame(const screen_cell* cells, std::uint32_t)
{
    run.shown.emplace_back(api.music_time(), std::string(reinterpret_cast<const char*>(cells), screen_cells * 2));
    ++run.frame;
    return true;
}

viewer_keys scripted_keys()
{
    const auto found = run.keys.find(run.frame);
    return found == run.keys.end() ? viewer_keys{} : found->second;
}

// The frames of a headless show with these keys, options and seed.
std::vector<std::pair<std::int32_t, std::string>> show(std::uint32_t seed, std::uint32_t frames, std::uint32_t step,
                                                       const std::map<std::uint32_t, viewer_keys>& keys,
                                                       std::int32_t from_ms = 0, bool loop = false)
{
    run = keyed_run{};
    run.keys = keys;
    headless_options h;
    h.start_tick = seed * 7;
    h.step_ms = step;
    h.frames = frames;
    h.frame_hook = keep_frame;
    api = headless_platform(h);
    api.take_keys = scripted_keys;
    demo_config config;
    config.seed_given = true;
    config.seed = seed;
    config.from_ms = from_ms;
    config.loop = loop;
    config.replay_step_ms = step;
    run_demo(api, config);
    return run.shown;
}

viewer_keys seek(int scenes)
{
    viewer_keys k;
    k.seek = scenes;
    k.any = true;
    return k;
}

viewer_keys pause()
{
    viewer_keys k;
    k.pause = k.any = true;
    return k;
}

// Every frame of a moved show is the straight show's frame at its music time.
void expect_straight(const std::vector<std::pair<std::int32_t, std::string>>& straight,
                     const std::vector<std::pair<std::int32_t, std::string>>& moved, std::uint32_t step)
{
    for (std::size_t i = 0; i < moved.size(); ++i) {
        const std::size_t k = static_cast<std::size_t>(moved[i].first) / step;
        ASSERT_EQ(moved[i].first % static_cast<std::int32_t>(step), 0) << "frame " << i;
        ASSERT_LT(k, straight.size());
        ASSERT_TRUE(moved[i].second == straight[k].second) << "frame " << i << " at " << moved[i].first << " ms";
    }
}

TEST(show_seek, seeks_forward_and_back_show_the_straight_frames_for_several_seeds_and_steps)
{
    for (const auto& [seed, step] : {std::pair<std::uint32_t, std::uint32_t>{1, 20}, {4242, 20}, {99, 7}}) {
        const auto straight = show(seed, 158000 / step, step, {});
        // Right at frame 50: the title burns; twice more: the plasma; left
        // within a second: back to the fountain; later left twice and
        // right four times; Page Down past the last scene stays.
        const std::map<std::uint32_t, viewer_keys> keys = {
            {50, seek(1)}, {60, seek(2)}, {70, seek(-1)}, {400, seek(-2)}, {420, seek(4)},
            {500, seek(20)}, {510, seek(-1)}};
        const auto moved = show(seed, 900, step, keys);
        expect_straight(straight, moved, step);
        EXPECT_GE(moved[60].first, scene_start_ms(plasma_beat));
        EXPECT_EQ(moved[70].first / step, (scene_start_ms(fountain_beat) + step - 1) / step);
        // Late starts by time and by scene.
        for (const std::int32_t from : {1, 10110, 33771, 99999, scene_start_ms(flare_beat)})
            expect_straight(straight, show(seed, 120, step, {}, from), step);
    }
}

TEST(show_seek, a_seek_back_into_the_scroller_after_it_ran_shows_the_straight_frames)
{
    // The late start runs the scroller's frames, which turn its banner's rows;
    // the left arrow then goes back into them.
    const auto straight = show(8, 3600, 20, {});
    const auto moved = show(8, 120, 20, {{10, seek(-1)}}, scene_start_ms(fire_beat));
    ASSERT_EQ(moved[10].first, (scene_start_ms(bars_beat) + 19) / 20 * 20);
    expect_straight(straight, moved, 20);
}

TEST(show_seek, a_paused_show_holds_its_frame_and_a_seek_while_paused_shows_the_new_one)
{
    const auto straight = show(5, 1000, 20, {});
    const auto moved = show(5, 200, 20, {{30, pause()}, {60, seek(1)}, {90, pause()}});
    for (std::uint32_t i = 30; i < 60; ++i) EXPECT_TRUE(moved[i].second == moved[29].second) << i;
    EXPECT_TRUE(moved[60].second == straight[506].second);  // the burn's first frame, 10120 ms
    for (std::uint32_t i = 61; i < 90; ++i) EXPECT_TRUE(moved[i].second == moved[60].second) << i;
}

TEST(show_seek, a_looping_show_begins_again_exactly_after_its_end)
{
    const auto straight = show(3, 400, 20, {});
    const auto looped = show(3, 400, 20, {}, scene_start_ms(flare_beat), true);
    std::size_t first = 1;
    while (first < looped.size() && looped[first].first > looped[first - 1].first) ++first;
    ASSERT_LT(first + 150, looped.size());
    EXPECT_EQ(looped[first - 1].first, show_end_ms - 14);  // the last frame not past the end
    EXPECT_EQ(looped[first].first, 0);
    for (std::size_t i = first; i < looped.size(); ++i)
        ASSERT_TRUE(looped[i].second == straight[i - first].second) << i;
}

TEST(show_seek, the_arrows_go_to_scene_starts)
{
    EXPECT_EQ(next_scene_start(0), 10111);
    EXPECT_EQ(next_scene_start(10110), 10111);
    EXPECT_EQ(next_scene_start(10111), 12139);
    EXPECT_EQ(next_scene_start(160000), -1);
    EXPECT_EQ(previous_scene_start(12139 + 999), 10111);   // within a second: the one before
    EXPECT_EQ(previous_scene_start(12139 + 1000), 12139);  // later: this one's start
    EXPECT_EQ(previous_scene_start(300), 0);
}

}  // namespace
