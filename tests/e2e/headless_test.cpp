// The headless mode as a user runs it: the real binary, its files and exit statuses.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

// A file in this program's scratch folder.
std::string temp_path(const std::string& name)
{
    static const scratch_dir scratch("headless");
    return scratch / name;
}

e2e::run_result run(const std::string& args) { return e2e::run(args, temp_path("")); }

using e2e::run_result;
using e2e::slurp;

TEST(headless, writes_4000_bytes_a_frame_and_two_runs_agree)
{
    const std::string a = temp_path("a.bin"), b = temp_path("b.bin");
    ASSERT_EQ(run("--headless --frames 300 --seed 42 --dump " + a).status, 0);
    ASSERT_EQ(run("--headless --frames 300 --seed 42 --dump " + b).status, 0);
    const auto fa = slurp(a), fb = slurp(b);
    EXPECT_EQ(fa.size(), 300u * 4000u);
    EXPECT_TRUE(fa == fb);
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(headless, different_seeds_differ_once_the_fire_burns)
{
    const std::string a = temp_path("s1.bin"), b = temp_path("s2.bin");
    ASSERT_EQ(run("--headless --frames 300 --seed 1 --dump " + a).status, 0);
    ASSERT_EQ(run("--headless --frames 300 --start-tick 2 --dump " + b).status, 0);
    EXPECT_FALSE(slurp(a) == slurp(b));
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(headless, zero_frames_give_an_empty_file)
{
    const std::string a = temp_path("empty.bin");
    ASSERT_EQ(run("--headless --frames 0 --dump " + a).status, 0);
    EXPECT_TRUE(slurp(a).empty());
    std::remove(a.c_str());
}

TEST(command_line, bad_usage_is_one_line_and_status_2)
{
    for (const char* args : {"--bogus", "--headless --seed x --dump /dev/null",
                             "--headless --frames -1 --dump /dev/null",
                             "--headless --step 0 --dump /dev/null", "--headless --dump",
                             "--headless", "--frames 10", "--codepage 1252", "--color 8"}) {
        const run_result r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("glimfant: ", 0), 0u) << args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
    }
}

// An option the others leave without effect is refused, named, before anything
// is written; a value is echoed as one printable line, whatever bytes it holds.
TEST(command_line, options_that_cannot_take_effect_are_usage_errors_that_name_them)
{
    const std::string dir = temp_path("out");
    const struct {
        std::string args;
        const char* named;
    } cases[] = {
        {"--headless --png x.png --at 5000 --write-score s.wav", "--write-score cannot be combined with --headless, --png, --at"},
        {"--write-score a.wav --dump-pictures p.bin", "--dump-pictures cannot be combined with --write-score"},
        {"--write-score s.mp3", "'s.mp3' does not end in .wav"},
        {"--headless --video v.mp4 --frames 0", "--video: there is no frame"},
        {"--headless --png x.png --at 0 --frames 0", "--at: there is no frame"},
        {"--headless --step 2147483340 --dump d", "--step: '2147483340' is not from 1 to 1000 ms"},
        {"--headless --step 5 --step 7 --dump d", "--step is given more than once"},
        {"--mute --score", "--score has no effect with --mute"},
        {"--fullscreen", "--fullscreen needs --window"},
        {"--scale integer", "--scale needs --window"},
        {"--window --scale big", "'big' is not one of fit, integer, square"},
        {"--window --headless --dump d", "--window does not go with --headless"},
        {"--window --record r.cast", "--record needs a terminal, not --window"},
        {"--window --color 256", "--color has no effect with --window"},
        {"--headless --png x.png --at later", "'later' is neither start nor a music time"},
        {"--score --soundtrack x.mp3", "--soundtrack has no effect with --score"},
        {"--headless --score --dump d", "--score has no effect without --video"},
        {"--headless --color 256 --dump d", "--color has no effect without --ansi or --record"},
        {"--headless --audio-latency 9 --dump d", "--audio-latency needs a terminal"},
        {"--color \"$(printf '\\033[2J\\nx')\"", "'\\x1B[2J\\x0Ax' is not one of"},
        {"--codepage \"$(printf '4\\302\\2337\\377')\"", "'4\\xC2\\x9B7\\xFF' is not a whole number"},
        {"\"$(printf -- '--\\033c')\"", "unknown option '--\\x1Bc'"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        const run_result r = run("--version >/dev/null && cd " + dir + " && " + e2e::binary + " " + c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
        EXPECT_TRUE(std::none_of(r.err.begin(), r.err.end() - 1,
                                 [](char ch) { return (ch >= 0 && ch < 0x20) || ch == 0x7F; })) << c.args;
        EXPECT_EQ(rmdir(dir.c_str()), 0) << c.args << ": left files behind";
    }
}

TEST(command_line, an_unwritable_dump_is_an_io_error)
{
    const run_result r = run("--headless --frames 1 --dump /nonexistent-dir/frames.bin");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/nonexistent-dir/frames.bin"), std::string::npos);
    EXPECT_EQ(run("--headless --frames 5 --dump /dev/full").status, 1);
}

// A failed output is the one named, once; a path is quoted as one printable
// line, so that a name holding ESC ] 0 ; ... BEL cannot retitle the terminal.
TEST(command_line, file_errors_name_only_the_file_that_failed_in_one_printable_line)
{
    const auto printable = [](const std::string& err) {
        return std::none_of(err.begin(), err.end() - 1, [](char ch) { return (ch >= 0 && ch < 0x20) || ch == 0x7F; });
    };
    const run_result full = run("--headless --frames 2 --dump /dev/null --ansi /dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "glimfant: writing '/dev/full' failed: No space left on device\n");

    const std::string title = "\"$(printf 'x\033]0;owned\007')\"";
    const struct {
        std::string args;
        const char* named;
    } cases[] = {
        {"--headless --frames 1 --dump " + title + "/f.bin", "'x\\x1B]0;owned\\x07/f.bin'"},
        {"--headless --record " + title + "/f.cast", "'x\\x1B]0;owned\\x07/f.cast'"},
        {"--write-score " + title + "/s.wav", "'x\\x1B]0;owned\\x07/s.wav'"},
        {"--headless --png " + temp_path("p.png") + " --at 0 --font " + title, "font 'x\\x1B]0;owned\\x07'"},
    };
    for (const auto& c : cases) {
        const run_result r = run(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
        EXPECT_TRUE(printable(r.err)) << c.args;
    }
}

// Two outputs that lead to one file would lose one of them: refused before
// anything is written, however the names differ; the null device takes both.
TEST(command_line, two_outputs_that_are_one_file_are_a_usage_error)
{
    const std::string dir = temp_path("same"), out = dir + "/out";
    ASSERT_EQ(std::system(("mkdir -p " + out + " && touch " + out + "/target && ln -s target " + out + "/link").c_str()), 0);
    const struct {
        const char* args;
        const char* named;
    } cases[] = {
        {"--headless --frames 2 --dump same --ansi same", "--dump and --ansi name one file, 'same'"},
        {"--headless --dump s.png --png s.png --at 20", "--dump and --png name one file"},
        {"--headless --ansi s.cast --record s.cast", "--ansi and --record name one file"},
        {"--headless --frames 2 --dump ./d --ansi ../out/d", "--dump and --ansi name one file, '../out/d'"},
        {"--headless --frames 2 --dump link --ansi target", "--dump and --ansi name one file, 'target'"},
        {"--stats x.cast --record x.cast", "--record and --stats name one file"},
    };
    for (const auto& c : cases) {
        const run_result r = run("--version >/dev/null && cd " + out + " && " + e2e::binary + " " + c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(e2e::files_in(out).size(), 2u) << c.args << ": wrote a file";
    }
    EXPECT_EQ(run("--headless --frames 2 --dump /dev/null --ansi /dev/null").status, 0);
}

TEST(command_line, help_and_version_succeed)
{
    EXPECT_EQ(run("--help >/dev/null").status, 0);
    EXPECT_EQ(run("--version >/dev/null").status, 0);
}

TEST(command_line, no_terminal_is_refused_with_a_hint)
{
    const run_result r = run(">/dev/null");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "glimfant: standard output is not a terminal (use --headless to render without one)\n");
}

}  // namespace
