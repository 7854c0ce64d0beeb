// --stats FILE: the demo in a private tmux server writes a line a frame, and
// the lines keep the pacing rule (deadlines 20 ms apart, each frame written
// after the tick count passed its deadline).
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

#include <string>
#include <vector>

namespace {

using e2e::have_tmux;

TEST(stats, a_line_a_frame_with_deadlines_20_ms_apart_written_past_them)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    e2e::tmux_session s("stats_lines");
    s.start_demo("--mute --stats " + s.path("stats.txt"));
    ASSERT_TRUE(s.taken_over());
    s.keys("Space");
    ASSERT_TRUE(s.frames_pass(20)) << "no frames";
    s.keys("q");
    ASSERT_EQ(s.status(), 0) << s.file("err");

    const std::vector<e2e::stats_line> lines = e2e::read_stats(s.file("stats.txt"));
    ASSERT_GT(lines.size(), 2u);
    long presented = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const e2e::stats_line& l = lines[k];
        EXPECT_EQ(l.frame, k);
        if (k > 0) {
            EXPECT_EQ(l.deadline, lines[k - 1].deadline + 20) << "frame " << k;
            EXPECT_GE(l.music, lines[k - 1].music) << "frame " << k;
        }
        EXPECT_GT(l.present, static_cast<double>(l.deadline)) << "frame " << k;  // the tick count was past the deadline
        // At least the synchronized-update pair, or 0 for a frame not presented
        // (the terminal trailed, or the q had come).
        EXPECT_TRUE(l.bytes == 0 || l.bytes >= 16) << "frame " << k << ": " << l.bytes;
        presented += l.bytes > 0;
    }
    // How many a terminal gets depends on how soon it answers, which only the
    // simulated link's tests measure (tests/tools/link_sim.py).
    EXPECT_GT(presented, 0);
    // The silent clock runs in real time beside the presents: one 0 fits every frame.
    const e2e::clock_origin origin = e2e::silent_clock_origin(lines, 1, lines.size() - 1);
    EXPECT_LE(origin.low, origin.high) << "the music time drifts from the frames' times";
}

TEST(stats, an_unwritable_file_is_one_line_and_status_1)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    e2e::tmux_session s("stats_unwritable");
    s.start_demo("--mute --stats /nonexistent-dir/stats.txt");
    EXPECT_EQ(s.status(), 1);
    EXPECT_EQ(s.file("err"),
              "glimfant: cannot write frame statistics to '/nonexistent-dir/stats.txt': No such file or directory\n");
}

TEST(stats, is_refused_without_a_terminal)
{
    EXPECT_EQ(e2e::status_of(e2e::binary + " --headless --stats /dev/null --dump /dev/null 2>/dev/null"), 2);
}

}  // namespace
