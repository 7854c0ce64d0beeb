// The headless mode as a user runs it: the real binary, its files and exit statuses.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "glimfant_" + std::to_string(getpid()) + "_" + name;
}

e2e::run_result run(const std::string& args) { return e2e::run(args, testing::TempDir()); }

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

TEST(command_line, an_unwritable_dump_is_an_io_error)
{
    const run_result r = run("--headless --frames 1 --dump /nonexistent-dir/frames.bin");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/nonexistent-dir/frames.bin"), std::string::npos);
    EXPECT_EQ(run("--headless --frames 5 --dump /dev/full").status, 1);
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
