// --stats FILE: the demo in a private tmux server writes a line a frame, and
// the lines keep the pacing rule (deadlines 20 ms apart, each frame written
// after the tick count passed its deadline).
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

namespace {

using e2e::have_tmux;
using e2e::slurp;
using e2e::wait_for;

const std::string binary = GLIMFANT_BINARY;

// A tmux server of its own with one 80 x 25 window that runs a command.
struct tmux_run {
    std::string socket, dir;

    explicit tmux_run(const std::string& name)
    {
        socket = "glimfant_stats_" + std::to_string(getpid()) + "_" + name;
        dir = testing::TempDir() + socket;
        mkdir(dir.c_str(), 0700);
    }
    ~tmux_run()
    {
        tmux("kill-server");
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    void tmux(const std::string& args) const
    {
        std::system(("tmux -L " + socket + " -f /dev/null " + args + " >/dev/null 2>&1").c_str());
    }
    // Runs glimfant with args; its standard error lands in "err", its status in "status".
    void start(const std::string& args) const
    {
        tmux("new-session -d -s t -x 80 -y 25 \"env SDL_AUDIODRIVER=dummy TERM=screen sh -c '" + binary + " " +
             args + " 2>" + dir + "/err; echo \\$? >" + dir + "/status; sleep 60'\"");
    }
    void keys(const std::string& k) const { tmux("send-keys -t t " + k); }
    // The demo has the terminal (the alternate screen is on), so keys reach it raw.
    bool taken_over() const
    {
        return wait_for([&] {
            std::string out;
            if (std::FILE* p = popen(("tmux -L " + socket + " display -p -t t '#{alternate_on}' 2>/dev/null").c_str(), "r")) {
                char buf[16] = {};
                if (std::fgets(buf, sizeof buf, p)) out = buf;
                pclose(p);
            }
            return out == "1\n";
        });
    }
    int status() const
    {
        if (!wait_for([&] { return !slurp(dir + "/status").empty(); })) return -1;
        return std::atoi(slurp(dir + "/status").c_str());
    }
};

TEST(stats, a_line_a_frame_with_deadlines_20_ms_apart_written_past_them)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_run r("lines");
    const std::string path = r.dir + "/stats.txt";
    r.start("--mute --stats " + path);
    ASSERT_TRUE(r.taken_over());
    r.keys("Space");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    r.keys("q");
    ASSERT_EQ(r.status(), 0) << slurp(r.dir + "/err");

    std::istringstream in(slurp(path));
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, "# frame deadline_ms present_ms bytes music_ms");
    long frames = 0, presented = 0;
    unsigned long previous_deadline = 0, first_present = 0;
    long previous_music = 0, first_music = 0;
    while (std::getline(in, line)) {
        unsigned long frame = 0, deadline = 0, present_ms = 0, micros = 0;
        long bytes = -1, music = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lu %lu %lu.%3lu %ld %ld", &frame, &deadline, &present_ms, &micros,
                              &bytes, &music),
                  6)
            << line;
        EXPECT_EQ(frame, static_cast<unsigned long>(frames)) << line;
        if (frames > 0) {
            EXPECT_EQ(deadline, previous_deadline + 20) << line;
            EXPECT_GE(music, previous_music) << line;
            // The silent clock runs in real time beside the presents.
            EXPECT_NEAR(music - first_music, static_cast<long>(present_ms - first_present), 100) << line;
        } else {
            first_present = present_ms;
            first_music = music;
        }
        previous_music = music;
        EXPECT_GT(present_ms, deadline) << line;  // the tick count was past the deadline
        // At least the synchronized-update pair, or 0 for a frame not presented
        // (the terminal trailed, or the q had come).
        EXPECT_TRUE(bytes == 0 || bytes >= 16) << line;
        presented += bytes > 0;
        previous_deadline = deadline;
        ++frames;
    }
    EXPECT_GT(frames, 0);
    EXPECT_GE(presented, frames / 2);
}

TEST(stats, an_unwritable_file_is_one_line_and_status_1)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_run r("unwritable");
    r.start("--mute --stats /nonexistent-dir/stats.txt");
    EXPECT_EQ(r.status(), 1);
    EXPECT_EQ(slurp(r.dir + "/err"),
              "glimfant: cannot write frame statistics to '/nonexistent-dir/stats.txt': No such file or directory\n");
}

TEST(stats, is_refused_without_a_terminal)
{
    const int status = std::system((binary + " --headless --stats /dev/null --dump /dev/null 2>/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
