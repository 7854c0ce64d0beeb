// The --ansi byte stream of real headless runs, replayed in a terminal
// emulator (tests/tools/ansi_replay.py): after every frame the emulated
// screen must show exactly that frame's cells from --dump.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A file in this program's scratch folder.
std::string temp_path(const std::string& name)
{
    static const scratch_dir scratch("stream");
    return scratch / name;
}

// Renders frames headless (a large step sweeps through the scenes) and replays them.
int render_and_replay(const std::string& options, int codepage, const std::string& color, int color_mode)
{
    const std::string ansi = temp_path("show.ans"), dump = temp_path("show.bin");
    const std::string render = e2e::binary + " --headless " + options + " --codepage " +
                               std::to_string(codepage) + " --color " + color + " --ansi " + ansi +
                               " --dump " + dump;
    int status = std::system(render.c_str());
    if (status == 0) {
        status = std::system(("/usr/bin/python3 " + std::string(GLIMFANT_SOURCE_DIR) +
                              "/tests/tools/ansi_replay.py --ansi " + ansi + " --dump " + dump +
                              " --codepage " + std::to_string(codepage) + " --color " +
                              std::to_string(color_mode))
                                 .c_str());
    }
    std::remove(ansi.c_str());
    std::remove(dump.c_str());
    return status;
}

TEST(ansi_stream, the_show_replays_frame_for_frame_in_16_colours)
{
    EXPECT_EQ(render_and_replay("--frames 300 --seed 3 --step 523", 437, "16", 16), 0);
    EXPECT_EQ(render_and_replay("--frames 200 --seed 9 --step 97", 850, "16", 16), 0);
}

TEST(ansi_stream, the_show_replays_frame_for_frame_in_256_colours_and_truecolor)
{
    EXPECT_EQ(render_and_replay("--frames 200 --seed 5 --step 787", 865, "256", 256), 0);
    EXPECT_EQ(render_and_replay("--frames 200 --seed 7 --step 401", 437, "truecolor", 24), 0);
}

TEST(ansi_stream, no_frames_is_take_over_start_picture_and_restore)
{
    EXPECT_EQ(render_and_replay("--frames 0", 437, "16", 16), 0);
}

}  // namespace
