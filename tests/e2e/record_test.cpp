// Headless recordings as a user makes them, read back by Python's JSON reader,
// by a real asciicast client (asciinema cat) and by the terminal emulator.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "e2e/e2e_support.h"

namespace {

using e2e::binary;
const std::string source_dir = GLIMFANT_SOURCE_DIR;

using e2e::status_of;

TEST(record, a_headless_recording_is_reproducible_frame_timed_and_plays_the_byte_stream)
{
    scratch_dir s("record");
    const std::string run = binary + " --headless --frames 400 --seed 11 --step 389 --codepage 850 --color truecolor";
    ASSERT_EQ(status_of(run + " --record " + (s / "a.cast") + " --ansi " + (s / "a.ans") + " --dump " + (s / "a.bin")), 0);
    ASSERT_EQ(status_of(run + " --record " + (s / "b.cast")), 0);
    EXPECT_EQ(e2e::slurp(s / "a.cast"), e2e::slurp(s / "b.cast"));

    EXPECT_EQ(status_of("/usr/bin/python3 " + source_dir + "/tests/capture/cast_check.py " + (s / "a.cast") +
                        " --virtual 400 --ansi " + (s / "a.ans")),
              0);
    // The emulated screen shows every frame's cells, the last one included.
    EXPECT_EQ(status_of("/usr/bin/python3 " + source_dir + "/tests/tools/ansi_replay.py --cast " + (s / "a.cast") +
                        " --dump " + (s / "a.bin") + " --codepage 850 --color 24 >/dev/null"),
              0);

    // asciinema cat talks to /dev/tty, so it gets a pseudo-terminal of its own;
    // its home is the scratch folder, where it may make its configuration.
    if (std::system("command -v asciinema >/dev/null && command -v script >/dev/null") != 0)
        GTEST_SKIP() << "asciinema or script is not installed";
    ASSERT_EQ(status_of("cd " + s.dir + " && HOME=" + s.dir + " PYTHONIOENCODING=utf-8 script -qec 'asciinema cat a.cast > cat.out' "
                        "/dev/null </dev/null >/dev/null"),
              0);
    EXPECT_TRUE(e2e::slurp(s / "cat.out") == e2e::slurp(s / "a.ans")) << "asciinema cat differs from --ansi";
    // The player reads the whole header (the theme included) and plays the same bytes.
    ASSERT_EQ(status_of("cd " + s.dir + " && HOME=" + s.dir + " PYTHONIOENCODING=utf-8 script -qec 'asciinema play -s 50 a.cast > play.out' "
                        "/dev/null </dev/null >/dev/null"),
              0);
    EXPECT_TRUE(e2e::slurp(s / "play.out") == e2e::slurp(s / "a.ans")) << "asciinema play differs from --ansi";
}

TEST(record, bad_paths_and_failed_writes_leave_no_file)
{
    scratch_dir s("record");
    const std::string run = binary + " --headless --frames 300 --seed 1 --record ";
    EXPECT_EQ(status_of(run + (s / "show.txt") + " 2>/dev/null"), 2);
    EXPECT_EQ(status_of(run + (s / "missing/show.cast") + " 2>/dev/null"), 1);
    mkdir((s / "folder.cast").c_str(), 0700);
    EXPECT_EQ(status_of(run + (s / "folder.cast") + " 2>/dev/null"), 1);
    rmdir((s / "folder.cast").c_str());
    // Writes past a small file size limit fail: the partial recording is removed.
    EXPECT_EQ(status_of("sh -c \"trap '' XFSZ; ulimit -f 128; exec " + run + (s / "big.cast") + " 2>" + (s / "err") + "\""), 1);
    EXPECT_EQ(e2e::slurp(s / "err"), "glimfant: writing '" + (s / "big.cast") + "' failed\n");
    std::remove((s / "err").c_str());
    // A run ended by a signal removes its temporary file.
    EXPECT_EQ(status_of(binary + " --headless --frames 9999999 --record " + (s / "cut.cast") + " & p=$!; while [ ! -e " +
                        (s / "cut.cast") + ".$p.tmp ]; do sleep 0.01; done; kill -TERM $p; wait $p"),
              128 + SIGTERM);
    EXPECT_EQ(s.files(), 0);
}

}  // namespace
