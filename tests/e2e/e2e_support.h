// Helpers shared by the end-to-end tests that drive the real binary: running
// it and capturing what it writes, a private tmux server for live runs, and
// the reading of its --stats lines. (The unit tests of the Windows build
// read files with it too: what runs programs is Unix only.)
#pragma once
#include <gtest/gtest.h>

#include "scratch_dir.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

inline const std::string binary = GLIMFANT_BINARY;

// A file's bytes, or what could be read of them. Read with stdio: a read
// that fails (a process reaped while its /proc file is read) ends the bytes,
// where a stream would throw.
inline std::string slurp(const std::string& path)
{
    std::string bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char block[65536];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.append(block, n);
        std::fclose(f);
    }
    return bytes;
}

// Polls until done() holds, for at most ten seconds (a slow CI machine).
inline bool wait_for(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

#ifndef _WIN32
inline bool have_tmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

inline std::string shell_quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The exit status of a shell command, 128 + the signal when one ended it.
inline int status_of(const std::string& command)
{
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Standard output of a shell command, bytes as they are; its exit status in
// *status when asked for.
inline std::string output_of(const std::string& command, int* status = nullptr)
{
    std::string out;
    int raw = -1;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        raw = pclose(p);
    }
    if (status) *status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

struct run_result {
    int status;
    std::string err;
};

// Runs glimfant with args (a shell fragment) and no input, its standard
// error captured through a file in dir; env (NAME=value ...) goes before it.
inline run_result run(const std::string& args, const std::string& dir, const std::string& env = "")
{
    const std::string err_path = dir + "/glimfant_" + std::to_string(getpid()) + "_stderr.txt";
    const int status = status_of(env + " " + binary + " " + args + " 2>" + err_path + " </dev/null");
    std::string err = slurp(err_path);
    std::remove(err_path.c_str());
    return {status, err};
}

// The state letter of a process from /proc (R, S, T, Z ...), or 0 when it is gone.
inline char process_state(int pid)
{
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    return paren == std::string::npos || paren + 2 >= stat.size() ? 0 : stat[paren + 2];
}

// The write calls the process has made (syscw in /proc/PID/io), -1 when it is
// gone. A live run writes each frame it presents in one, so a test can wait
// for frames however slow the machine is, instead of sleeping for them.
inline long writes_of(int pid)
{
    const std::string io = slurp("/proc/" + std::to_string(pid) + "/io");
    const std::size_t at = io.find("syscw: ");
    return at == std::string::npos ? -1 : std::atol(io.c_str() + at + 7);
}

// True once the process is gone or a zombie: it ended and does not spin.
inline bool ended(int pid)
{
    return wait_for([&] {
        const char state = process_state(pid);
        return state == 0 || state == 'Z';
    });
}

// One tmux server of its own, with an interactive bash in a window of the
// given size (in GNU screen's terminal type and a UTF-8 locale, as a user's
// shell would be), and a scratch folder for the run's files that holds the
// server's socket too.
struct tmux_session {
    scratch_dir scratch;
    std::string dir, socket;

    explicit tmux_session(const std::string& name, int columns = 80, int rows = 25)
        : scratch(name), dir(scratch.dir), socket(scratch / "tmux")
    {
        tmux("new-session -d -s t -x " + std::to_string(columns) + " -y " + std::to_string(rows) +
             " \"env -i PATH=/usr/bin:/bin HOME=" + dir + " HISTFILE=/dev/null PS1='$ ' TERM=screen LANG=C.UTF-8"
             " SDL_AUDIODRIVER=dummy bash --norc --noprofile -i\"");
    }

    ~tmux_session() { tmux("kill-server"); }

    std::string tmux(const std::string& args) const
    {
        return output_of("tmux -S " + shell_quoted(socket) + " -f /dev/null " + args + " 2>/dev/null");
    }

    std::string flags() const { return tmux("display -p -t t '#{alternate_on} #{cursor_flag} #{wrap_flag}'"); }
    std::string pane() const { return tmux("capture-pane -p -t t"); }
    void keys(const std::string& k) const { tmux("send-keys -t t " + k); }
    void type(const std::string& line) const
    {
        tmux("send-keys -t t -l " + shell_quoted(line));
        keys("Enter");
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string file(const std::string& name) const { return slurp(path(name)); }
    int pid() const { return std::atoi(file("pid").c_str()); }

    // Waits until the demo has made n more writes (presented n more frames)
    // than it had when called; false when they did not come within a minute,
    // which only ends a hang.
    bool frames_pass(int n) const
    {
        const int p = pid();
        const long from = writes_of(p);
        for (int i = 0; from >= 0 && i < 6000; ++i) {
            const long now = writes_of(p);
            if (now < 0) return false;
            if (now >= from + n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Runs glimfant from the shell between two `stty -a`, as one job (so Ctrl-Z
    // stops it all); its pid lands in "pid", its standard error in "err", its
    // exit status in "status".
    void start_demo(const std::string& args = "--mute") const
    {
        const std::string& d = dir;  // a path without spaces or quotes
        type("( trap true INT QUIT; stty -a > " + d + "/before; sh -c \"echo \\$\\$ > " + d + "/pid; exec " +
             binary + " " + args + " 2>" + d + "/err\"; s=$?; stty -a > " + d + "/after; echo $s > " + d +
             "/status )");
    }

    // The demo has the terminal: alternate screen on, cursor hidden, no auto-wrap.
    bool taken_over() const
    {
        return wait_for([&] { return flags().rfind("1 0 0", 0) == 0; });
    }

    // Waits for the demo's end; its exit status, or -1 when it never came.
    int status() const
    {
        if (!wait_for([&] { return !file("status").empty(); })) return -1;
        return std::atoi(file("status").c_str());
    }

    // The terminal as it was: same modes, cursor shown, auto-wrap on, main screen.
    void expect_as_found() const
    {
        EXPECT_EQ(flags(), "0 1 1\n");
        const std::string before = file("before");
        EXPECT_FALSE(before.empty());
        EXPECT_EQ(before, file("after"));
    }
};
// The names in a folder, less the dot entries.
inline std::vector<std::string> files_in(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}


// A loopback port nobody holds now, for a program that cannot take port 0.
inline int free_port()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}
#endif

// One line of --stats: a frame, its deadline and present time on the tick
// count's clock (ms), the bytes written and the music time it shows.
struct stats_line {
    unsigned long frame, deadline;
    double present;
    long bytes, music;
};

// The lines after the header; a line that does not read stops the list
// (and fails the test).
inline std::vector<stats_line> read_stats(const std::string& text)
{
    std::vector<stats_line> lines;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "# frame deadline_ms present_ms bytes music_ms");
    while (std::getline(in, line)) {
        stats_line s{};
        unsigned long whole = 0, micros = 0;
        if (std::sscanf(line.c_str(), "%lu %lu %lu.%3lu %ld %ld", &s.frame, &s.deadline, &whole, &micros, &s.bytes,
                        &s.music) != 6) {
            ADD_FAILURE() << "not a statistics line: " << line;
            break;
        }
        s.present = static_cast<double>(whole) + static_cast<double>(micros) / 1000.0;
        lines.push_back(s);
    }
    return lines;
}

// Where the silent clock's 0 lay on the tick count's clock, as far as the
// paced frames first to last tell. A frame shows the music time of the first
// tick past its deadline (or of its read, when that came later) and is
// presented after both, so the 0 lay in [deadline - music, present - music]
// (1 ms of rounding either side). A clock that runs in real time fits every
// frame: the window is not empty (low <= high). A loaded machine only widens
// each frame's window, so it never empties theirs. (A start's first frame
// reads the clock before any pace, and tells only the upper end.)
struct clock_origin {
    double low, high;
};

inline clock_origin silent_clock_origin(const std::vector<stats_line>& lines, std::size_t first, std::size_t last)
{
    clock_origin o{-1e18, 1e18};
    for (std::size_t k = first; k <= last && k < lines.size(); ++k) {
        const double music = static_cast<double>(lines[k].music);
        o.low = std::max(o.low, static_cast<double>(lines[k].deadline) - music - 1.0);
        o.high = std::min(o.high, lines[k].present - music + 1.0);
    }
    return o;
}

}  // namespace e2e
