// The demo over a simulated link (tests/tools/link_sim.py): a pseudo-terminal
// whose output reaches an answering terminal at a set rate and delay through a
// 2 MB window, as over ssh. On a slow link frames are skipped and the picture
// stays in time; on a fast one every frame goes out. The full-show targets
// are measured by bench/slow_link.sh.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

#include <cstdlib>
#include <string>

namespace {

const std::string link_sim = std::string(GLIMFANT_SOURCE_DIR) + "/tests/tools/link_sim.py";

// Runs the simulator; its JSON line, or "" when it failed. The simulated link
// and terminal run in real time, so a loaded machine holds them up as it
// holds up the program: the line says by how much, from the terminal's own
// record of when it read and answered and the program's record of when it
// presented (stall_ms, the longest hold-up; stalled_frames, the frames'
// worth of all of them, each counted where it held something up).
std::string simulate(const std::string& link_args)
{
    int status = -1;
    const std::string out = e2e::output_of("/usr/bin/python3 " + link_sim + " --json " + link_args + " -- " +
                                           e2e::binary + " --mute", &status);
    return status == 0 ? out : "";
}

// The number after "key": in the JSON line; -1 when absent or null.
double field(const std::string& json, const std::string& key)
{
    const std::size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return -1;
    const char* start = json.c_str() + at + key.size() + 4;
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    return end == start ? -1 : value;
}

TEST(slow_link, frames_are_skipped_and_the_picture_keeps_time_and_esc_restores_promptly)
{
    // 64 kbit/s carries a fraction of what the show needs from its seventh
    // second on: sent frame by frame, the picture falls 1.5 s behind within
    // 8 s, and the terminal is given back 5 s after the ESC. Paced, it stays
    // within 800 ms, and a hold-up of the machine adds its length twice at
    // most (once on the way out, once for the answer).
    const std::string r = simulate("--rate 64000 --rtt 100 --seconds 8");
    ASSERT_NE(r, "") << "the simulated run failed";
    const double bound = 800 + 2 * field(r, "stall_ms");
    EXPECT_GT(field(r, "skipped"), 0) << r;
    EXPECT_GT(field(r, "presented"), 20 - field(r, "stalled_frames")) << r;
    EXPECT_GE(field(r, "max_age_ms"), 0) << r;
    EXPECT_LT(field(r, "max_age_ms"), bound) << r;
    EXPECT_GE(field(r, "restore_after_esc_ms"), 0) << r;
    EXPECT_LT(field(r, "restore_after_esc_ms"), bound) << r;
}

TEST(slow_link, a_fast_link_gets_every_frame_and_a_terminal_one_row_short_grows_and_shrinks_back)
{
    const std::string r = simulate("--rate 100000000 --rtt 1 --seconds 3 --size 80x24");
    ASSERT_NE(r, "") << "the simulated run failed";
    EXPECT_NE(r.find("\"resizes\": [[25, 80], [24, 80]]"), std::string::npos) << r;
    EXPECT_GT(field(r, "presented"), 100 - field(r, "stalled_frames")) << r;
    // Every frame but those the machine's hold-ups cost (at most a frame for
    // each frame's worth of hold-up), and a frame or two that waits for the
    // simulated terminal's first answers.
    EXPECT_LE(field(r, "skipped"), 3 + field(r, "stalled_frames")) << r;

    // One that does not comply keeps the size message and is not asked back.
    const std::string refused = simulate("--rate 100000000 --rtt 1 --seconds 1 --size 80x24 --refuse-resize");
    ASSERT_NE(refused, "") << "the simulated run failed";
    EXPECT_NE(refused.find("\"resizes\": [[25, 80]],"), std::string::npos) << refused;
    EXPECT_EQ(field(refused, "presented"), 0) << refused;
}

TEST(slow_link, on_a_far_link_no_answer_reaches_the_shell)
{
    // Answers still on their way at the exit are waited for, then the
    // input is flushed: nothing is left for the shell to read.
    for (const char* rtt : {"800", "1500"}) {
        const std::string r = simulate(std::string("--rtt ") + rtt + " --seconds 2");
        ASSERT_NE(r, "") << "the simulated run failed";
        EXPECT_EQ(field(r, "shell_bytes"), 0) << r;
        EXPECT_GT(field(r, "presented"), 50 - field(r, "stalled_frames")) << r;
    }
}

}  // namespace
