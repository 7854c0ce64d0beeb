// Every combination of outputs, cut short by SIGINT, SIGTERM or SIGHUP once
// its files are being written, leaves neither a temporary nor a partial
// file: one table, one run per row and signal. (The live recording, which is
// finished whole with the restore, is checked in terminal_tmux_test.cpp.)
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

const std::string binary = GLIMFANT_BINARY;

// Starts glimfant with args (words split at spaces), the ending signals at
// their default actions as a user's shell leaves them in the foreground.
pid_t start(const std::string& args)
{
    std::vector<std::string> words{binary};
    std::istringstream in(args);
    for (std::string w; in >> w;) words.push_back(w);
    const pid_t pid = fork();
    if (pid == 0) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 2);
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

struct interrupt_case {
    const char* args;  // {d} stands for the scratch folder
    int files;         // interrupted once this many files are there
    bool may_end;      // the run may be over before the signal: its file is then whole
};

const interrupt_case cases[] = {
    {"--headless --frames 9999999 --dump {d}/a.bin", 1, false},
    {"--headless --frames 9999999 --ansi {d}/a.ans", 1, false},
    {"--headless --frames 9999999 --record {d}/a.cast", 1, false},
    {"--headless --frames 9999999 --png {d}/a.png --at 150000", 0, false},
    {"--headless --video {d}/a.mp4", 1, false},
    {"--headless --record {d}/a.cast --video {d}/a.mp4", 2, false},
    {"--headless --dump {d}/a.bin --ansi {d}/a.ans --record {d}/a.cast --png {d}/a.png --at 150000 "
     "--video {d}/a.mp4", 4, false},
    {"--write-score {d}/s.wav", 1, true},
    {"--dump-pictures {d}/p.bin", 1, true},
};

// A whole file of a run that ended before the signal: a WAV as long as its
// header says, or the pictures as another run writes them.
bool whole(const std::string& dir, const std::string& name)
{
    const std::string bytes = e2e::slurp(dir + "/" + name);
    if (name == "s.wav")
        return bytes.size() >= 8 && bytes.compare(0, 4, "RIFF") == 0 &&
               (static_cast<std::uint8_t>(bytes[4]) | static_cast<std::uint8_t>(bytes[5]) << 8 |
                static_cast<std::uint8_t>(bytes[6]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[7])) << 24) +
                       8u == bytes.size();
    const std::string again = dir + "/again.bin";
    const bool same = std::system((binary + " --dump-pictures " + again).c_str()) == 0 && e2e::slurp(again) == bytes;
    std::remove(again.c_str());
    return same;
}

TEST(interrupt, no_combination_of_outputs_leaves_a_temporary_or_partial_file)
{
    const scratch_dir scratch("interrupt");
    const std::string dir = scratch / "outputs";
    for (const interrupt_case& c : cases) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            mkdir(dir.c_str(), 0700);
            std::string args = c.args;
            for (std::size_t at; (at = args.find("{d}")) != std::string::npos;) args.replace(at, 3, dir);
            const std::string what = args + " / " + strsignal(sig);
            const pid_t pid = start(args);
            int raw = 0;
            bool ended = false;
            // Up to a minute for the files to appear (a loaded machine), then
            // a moment for bytes to be written into them.
            for (int i = 0; i < 6000 && static_cast<int>(e2e::files_in(dir).size()) < c.files; ++i) {
                if (c.may_end && waitpid(pid, &raw, WNOHANG) == pid) {
                    ended = true;
                    break;
                }
                usleep(10000);
            }
            usleep(c.files ? 100000 : 300000);
            kill(pid, sig);
            if (!ended) waitpid(pid, &raw, 0);
            const std::vector<std::string> left = e2e::files_in(dir);
            if (c.may_end && WIFEXITED(raw) && WEXITSTATUS(raw) == 0) {
                EXPECT_EQ(left.size(), 1u) << what;
                for (const std::string& name : left) EXPECT_TRUE(whole(dir, name)) << what << ": " << name;
            } else {
                EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == sig) << what << ": status " << raw;
                EXPECT_TRUE(left.empty()) << what << ": " << (left.empty() ? "" : left[0]);
            }
            std::system(("rm -rf '" + dir + "'").c_str());
        }
    }
    // The frames to a pipe whose reader is gone: SIGPIPE ends the run, as cleanly.
    mkdir(dir.c_str(), 0700);
    std::system((binary + " --headless --ansi " + dir + "/a.ans --record " + dir +
                 "/a.cast --dump /dev/stdout | head -c 10 >/dev/null").c_str());
    EXPECT_EQ(e2e::files_in(dir), std::vector<std::string>{});
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
