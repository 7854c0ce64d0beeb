// The terminal backend in a child process: keys come from a pseudo-terminal,
// frames go to a packet socket so that every write() arrives as one message.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "terminal/ansi_encoder.h"
#include "terminal/key_decoder.h"
#include "terminal/link_pacing.h"
#include "terminal/terminal_caps.h"
#include "platform/terminal_host.h"
#include "sound/music.h"

namespace {

const std::string sync_begin = "\x1b[?2026h";
const std::string sync_end = "\x1b[?2026l";
// The take-over and the first frame ask for the device attributes; a terminal
// that does not answer (this socket) is not asked again.
const std::string status_request = "\x1b[c";
const std::string takeover = std::string(ansi_takeover) + status_request;

struct backend_run {
    int master = -1, slave = -1;  // the keyboard's pseudo-terminal
    int sockets[2] = {-1, -1};    // [0] read here, [1] the backend's output
    pid_t child = -1;

    backend_run()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets);
    }

    ~backend_run()
    {
        for (int fd : {master, slave, sockets[0], sockets[1]}) close(fd);
    }

    // Runs body in a child on a fresh backend; body returns the exit status.
    // The statistics go to stats, if given.
    void start(const std::function<int(const platform_api&, int master)>& body, std::FILE* stats = nullptr)
    {
        child = fork();
        if (child == 0) {
            setpgid(0, 0);  // a group of its own, so that a stop really stops it
            platform_api api{};
            const char* why = nullptr;
            terminal_options options;
            options.color = 16;
            options.stats = stats;
            if (!terminal_platform_on(api, options, slave, sockets[1], &why)) _exit(90);
            _exit(body(api, master));
        }
    }

    int status()
    {
        int raw = 0;
        waitpid(child, &raw, 0);
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }

    // The writes the backend made, in order.
    std::vector<std::string> writes()
    {
        std::vector<std::string> all;
        static char buf[ansi_frame_capacity];
        pollfd p{sockets[0], POLLIN, 0};
        while (poll(&p, 1, 0) > 0) {
            const ssize_t n = recv(sockets[0], buf, sizeof buf, 0);
            if (n <= 0) break;
            all.emplace_back(buf, static_cast<std::size_t>(n));
        }
        return all;
    }
};

// One synchronized update, and with asked a status request after it.
bool is_frame(std::string w, bool asked = false)
{
    if (asked) {
        if (w.size() < status_request.size() || w.compare(w.size() - 3, 3, status_request) != 0) return false;
        w.resize(w.size() - 3);
    }
    return w.rfind(sync_begin, 0) == 0 && w.size() >= 16 && w.compare(w.size() - 8, 8, sync_end) == 0 &&
           w.find(sync_begin, 1) == std::string::npos;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// An environment variable set (value null: unset) while it lives, then put back.
struct environment_value {
    std::string name, saved;
    bool was_set;

    environment_value(const char* variable, const char* value) : name(variable)
    {
        const char* old = std::getenv(variable);
        was_set = old != nullptr;
        saved = old ? old : "";
        if (value) setenv(variable, value, 1);
        else unsetenv(variable);
    }

    ~environment_value()
    {
        if (was_set) setenv(name.c_str(), saved.c_str(), 1);
        else unsetenv(name.c_str());
    }
};

// The backend reads the terminal's type and the locale from the environment:
// the tests here run as in an xterm in a UTF-8 locale, but where they say otherwise.
const environment_value xterm("TERM", "xterm-256color"), utf8("LC_ALL", "C.UTF-8");

TEST(terminal_backend, each_frame_is_one_write_between_take_over_and_restore)
{
    backend_run run;
    termios before{};
    tcgetattr(run.slave, &before);
    run.start([](const platform_api& api, int) {
        static screen_cell cells[screen_cells];
        api.present(cells, screen_width, screen_height);
        cells[100] = make_cell('A', 14, 1);
        api.present(cells, screen_width, screen_height);
        api.present(cells, screen_width, screen_height);
        api.shutdown();
        api.shutdown();  // safe twice
        return 0;
    });
    ASSERT_EQ(run.status(), 0);
    const std::vector<std::string> w = run.writes();
    ASSERT_EQ(w.size(), 5u);
    EXPECT_EQ(w[0], takeover);
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(is_frame(w[i], i == 1)) << i;
    EXPECT_NE(w[2].find("A"), std::string::npos);
    EXPECT_EQ(w[3], sync_begin + sync_end);  // no answers came: no more requests
    EXPECT_EQ(w[4], ansi_restore);
    termios after{};
    tcgetattr(run.slave, &after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "the terminal's modes were not restored";
}

TEST(terminal_backend, keys_space_starts_escape_sequences_do_not_quit_a_lone_escape_does)
{
    backend_run run;
    run.start([](const platform_api& api, int keyboard) {
        if (write(keyboard, "x ", 2) != 2) return 10;
        if (!api.wait_for_space()) return 11;
        if (write(keyboard, "\x1b[A\x1bOP", 6) != 6) return 12;
        sleep_ms(2 * lone_escape_ms);
        if (api.escape_down()) return 13;
        if (write(keyboard, "\x1b", 1) != 1) return 14;
        for (int i = 0; i < 100 && !api.escape_down(); ++i) sleep_ms(5);
        if (!api.escape_down()) return 15;
        api.shutdown();
        return 0;
    });
    EXPECT_EQ(run.status(), 0);
}

TEST(terminal_backend, q_or_escape_at_the_start_screen_quits)
{
    backend_run run;
    run.start([](const platform_api& api, int keyboard) {
        if (write(keyboard, "q", 1) != 1) return 10;
        if (api.wait_for_space()) return 11;
        if (!api.escape_down()) return 12;
        api.shutdown();
        return 0;
    });
    EXPECT_EQ(run.status(), 0);
    backend_run esc;
    esc.start([](const platform_api& api, int keyboard) {
        if (write(keyboard, "\x1b", 1) != 1) return 10;
        return api.wait_for_space() ? 11 : 0;  // waits in poll() until the ESC has stood alone
    });
    EXPECT_EQ(esc.status(), 0);
}

TEST(terminal_backend, pace_keeps_the_deadline_rule)
{
    backend_run run;
    run.start([](const platform_api& api, int) {
        const std::uint32_t now = api.tick_count();
        if (api.pace(now - 1000) != now - 1000) return 10;  // late: no wait, the deadline stays
        const std::uint32_t deadline = api.tick_count() + 30;
        if (api.pace(deadline) != deadline) return 11;
        if (static_cast<std::int32_t>(api.tick_count() - deadline) <= 0) return 12;  // woke past it
        api.shutdown();
        return 0;
    });
    EXPECT_EQ(run.status(), 0);
}

TEST(terminal_backend, ctrl_z_restores_stops_and_on_continue_redraws_and_re_anchors)
{
    backend_run run;
    run.start([](const platform_api& api, int) {
        static screen_cell cells[screen_cells];
        cells[0] = make_cell('Z', 15, 0);
        api.present(cells, screen_width, screen_height);
        std::raise(SIGTSTP);
        const std::uint32_t before = api.tick_count();
        api.escape_down();  // stops here; continues after SIGCONT
        const std::uint32_t resumed = api.pace(before - 5000);
        // After a stop the frames go on from now, not from the old deadline.
        if (static_cast<std::int32_t>(resumed - before) < 0) return 10;
        api.present(cells, screen_width, screen_height);
        api.shutdown();
        return 0;
    });
    int raw = 0;
    ASSERT_EQ(waitpid(run.child, &raw, WUNTRACED), run.child);
    ASSERT_TRUE(WIFSTOPPED(raw));
    std::vector<std::string> w = run.writes();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[2], ansi_restore);
    kill(run.child, SIGCONT);
    EXPECT_EQ(run.status(), 0);
    w = run.writes();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0], takeover);
    EXPECT_TRUE(is_frame(w[1], true));
    EXPECT_EQ(w[1].rfind(sync_begin + "\x1b[0;40m\x1b[2J", 0), 0u) << "no full redraw";
    EXPECT_NE(w[1].find("Z"), std::string::npos);
    EXPECT_EQ(w[2], ansi_restore);
}

// The keyboard plays a terminal that answers the status requests, and
// another program's answer nobody asked for comes while none is due, just
// before a frame asks again; the answer to that request comes 50 ms later,
// after the show has ended. It is read, not left for the shell. (An exit
// waits for the answers due a margin past two round trips; a run whose
// answer this machine held up past the margin is run again.)
TEST(terminal_backend, an_answer_nobody_asked_for_leaves_no_answer_for_the_shell)
{
    constexpr int too_late = 20;
    std::unique_ptr<backend_run> held;
    int status = too_late;
    for (int attempt = 0; attempt < 3 && status == too_late; ++attempt) {
        held = std::make_unique<backend_run>();
        held->start([](const platform_api& api, int keyboard) {
            static const char answer[] = "\x1b[?1;2c";
            static screen_cell cells[screen_cells];
            if (write(keyboard, answer, sizeof answer - 1) <= 0) return 10;  // to the take-over's request
            sleep_ms(5);
            api.escape_down();
            if (write(keyboard, answer, sizeof answer - 1) <= 0) return 11;  // asked by nobody
            sleep_ms(5);
            const auto asked = std::chrono::steady_clock::now();
            api.present(cells, screen_width, screen_height);
            api.escape_down();
            std::chrono::steady_clock::duration took{};
            std::thread late([keyboard, asked, &took] {
                sleep_ms(50);
                if (write(keyboard, answer, sizeof answer - 1) <= 0) std::abort();
                took = std::chrono::steady_clock::now() - asked;
            });
            api.shutdown();
            late.join();
            return took < std::chrono::nanoseconds(answer_margin_ns) ? 0 : too_late;
        });
        status = held->status();
    }
    ASSERT_EQ(status, 0);
    backend_run& run = *held;
    const std::vector<std::string> w = run.writes();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_TRUE(is_frame(w[1], true));
    // Out of the line discipline's lines, what the shell would read next.
    termios raw{};
    tcgetattr(run.slave, &raw);
    cfmakeraw(&raw);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(run.slave, TCSANOW, &raw);
    char left[64];
    EXPECT_EQ(read(run.slave, left, sizeof left), 0) << "an answer reached the shell";
}

// Paused at once after SPACE, before any frame ran (the show moved to 158 s
// first): each held frame's statistics show the music time the clock holds.
TEST(terminal_backend, a_frame_held_before_any_ran_shows_the_music_time_the_clock_holds)
{
    std::FILE* stats = std::tmpfile();
    ASSERT_NE(stats, nullptr);
    backend_run run;
    run.start([](const platform_api& api, int) {
        static screen_cell cells[screen_cells];
        music_options mute;
        mute.mute = true;
        music_configure(mute);
        api.music_start("");
        api.music_seek(158000);
        api.music_pause(true);
        std::uint32_t deadline = api.tick_count();
        for (int frame = 0; frame < 3; ++frame) {
            deadline = api.pace(deadline) + frame_ms;
            api.present(cells, screen_width, screen_height);
        }
        api.shutdown();
        return 0;
    }, stats);
    ASSERT_EQ(run.status(), 0);
    std::rewind(stats);
    char line[128];
    int held = 0;
    while (std::fgets(line, sizeof line, stats)) {
        long music = -1;
        if (line[0] == '#' || std::sscanf(line, "%*u %*u %*u.%*u %*d %ld", &music) != 1) continue;
        EXPECT_EQ(music, 158000) << line;
        ++held;
    }
    std::fclose(stats);
    EXPECT_EQ(held, 3);
}

TEST(terminal_backend, the_linux_console_gets_stand_ins_for_glyphs_its_fonts_lack_other_terminals_do_not)
{
    const char* term = std::getenv("TERM");
    const std::string saved = term ? term : "";
    for (const char* name : {"linux", "xterm-256color"}) {
        setenv("TERM", name, 1);  // the child takes it over; its output is no console
        backend_run run;
        run.start([](const platform_api& api, int) {
            static screen_cell cells[screen_cells];
            cells[0] = make_cell(0xB2, 4, 0);  // ▓ ⌐ ░
            cells[1] = make_cell(0xA9, 4, 0);
            cells[2] = make_cell(0xB0, 4, 0);
            api.present(cells, screen_width, screen_height);
            api.shutdown();
            return 0;
        });
        EXPECT_EQ(run.status(), 0);
        const std::vector<std::string> w = run.writes();
        ASSERT_EQ(w.size(), 3u) << name;
        // Over a link the console's font is not known: what all of Debian's have.
        const bool console = std::string(name) == "linux";
        EXPECT_NE(w[1].find(console ? "\x1b[31m▒-░" : "\x1b[31m▓⌐░"), std::string::npos) << name << ": " << w[1];
    }
    if (term) setenv("TERM", saved.c_str(), 1);
    else unsetenv("TERM");
}

// What the terminfo entries of today's terminals say leaves them everything;
// a VT100 has no column or row moves, colours or private modes, a dumb
// terminal no cursor moves; and the locale's character set decides UTF-8.
TEST(terminal_caps, terminfo_and_the_locale_say_what_goes_out)
{
    const environment_value no_tmux("TMUX", nullptr), no_screen("STY", nullptr);
    for (const char* name : {"xterm", "xterm-256color", "screen", "tmux-256color", "linux", "rxvt-unicode-256color", "no-such-terminal"}) {
        const environment_value term("TERM", name);
        const terminal_caps caps = terminal_caps_query(STDOUT_FILENO);
        EXPECT_TRUE(caps.cursor_moves && caps.column_moves && caps.row_moves && caps.step_moves && caps.colors &&
                    caps.private_modes) << name;
    }
    {
        const environment_value term("TERM", "vt100");
        const terminal_caps caps = terminal_caps_query(STDOUT_FILENO);
        EXPECT_TRUE(caps.cursor_moves && caps.step_moves) << "vt100";
        EXPECT_FALSE(caps.column_moves || caps.row_moves || caps.colors || caps.private_modes || caps.erase_in_color)
            << "vt100";
    }
    {
        const environment_value term("TERM", "dumb");
        const char* refused = terminal_refusal(terminal_options{});
        ASSERT_NE(refused, nullptr);
        EXPECT_NE(std::string(refused).find("(TERM=dumb) cannot move its cursor"), std::string::npos) << refused;
    }
    const environment_value lang("LANG", "C.UTF-8"), ctype("LC_CTYPE", nullptr);
    const struct {
        const char* lc_all;
        bool utf8;
    } locales[] = {{"C", false}, {"POSIX", false}, {"C.UTF-8", true}, {"xx_YY.utf8", true}, {nullptr, true}};
    for (const auto& l : locales) {
        const environment_value all("LC_ALL", l.lc_all);
        EXPECT_EQ(terminal_caps_query(STDOUT_FILENO).utf8, l.utf8) << (l.lc_all ? l.lc_all : "LANG");
    }
}

}  // namespace
