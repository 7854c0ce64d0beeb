// The recording writer and a signal handler that finishes the file part-way
// through the main flow's event (POSIX signals; Windows has no such handler).
#include <gtest/gtest.h>

#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <string>

#include "capture/asciicast.h"
#include "e2e/e2e_support.h"

namespace {

cast_file cast;  // 256 KiB: one for the whole program, as in glimfant

// As a fatal signal does: the restore, then the finish, whatever the main flow was doing.
volatile std::sig_atomic_t handler_ran = 0;
void finish_from_handler(int)
{
    cast_output(cast, 99000000, "bye", 3);
    cast_finish(cast);
    handler_ran = 1;
}

// True when the line is [seconds, "o", "text"] with text a well-formed JSON string.
bool well_formed(const std::string& line)
{
    std::size_t i = 1;
    if (line.empty() || line[0] != '[') return false;
    while (i < line.size() && (std::isdigit(static_cast<unsigned char>(line[i])) || line[i] == '.')) ++i;
    if (line.compare(i, 8, ", \"o\", \"") != 0) return false;
    for (i += 8; i < line.size() && line[i] != '"'; ++i) {
        if (static_cast<unsigned char>(line[i]) < 0x20) return false;
        if (line[i] == '\\' && ++i < line.size() && std::string("\"\\bfnrtu").find(line[i]) == std::string::npos)
            return false;
    }
    return line.compare(i, std::string::npos, "\"]") == 0;
}

TEST(cast_finish, from_a_signal_handler_in_the_middle_of_an_event_leaves_whole_lines)
{
    std::string frame;
    for (int i = 0; i < 600; ++i) frame += "\x1b[31m\xE2\x96\x88\"\\";
    struct sigaction action{};
    action.sa_handler = finish_from_handler;
    sigaction(SIGALRM, &action, nullptr);
    const scratch_dir scratch("cast-signal");
    const std::string path = scratch / "signal.cast";
    for (int run = 0; run < 60; ++run) {
        ASSERT_TRUE(cast_open(cast, path.c_str()));
        cast_write_header(cast, cast_header{});
        handler_ran = 0;
        itimerval timer{};
        timer.it_value.tv_usec = 50 + run * 97 % 3000;  // anywhere in an event, or in a flush
        setitimer(ITIMER_REAL, &timer, nullptr);
        for (std::int64_t t = 0; !handler_ran; t += 20000) cast_output(cast, t, frame.data(), frame.size());
        const std::string text = e2e::slurp(path);
        ASSERT_EQ(text.back(), '\n');
        std::size_t at = text.find('\n') + 1, last = at;
        for (; at < text.size(); at = text.find('\n', at) + 1) {
            last = at;
            ASSERT_TRUE(well_formed(text.substr(at, text.find('\n', at) - at))) << "run " << run << ", byte " << at;
        }
        EXPECT_EQ(text.substr(last), "[99.0, \"o\", \"bye\"]\n");
        std::remove(path.c_str());
    }
    signal(SIGALRM, SIG_DFL);
}

}  // namespace
