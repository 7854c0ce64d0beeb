// The demo in a real terminal: the binary runs in an interactive shell inside
// a private tmux server, keys and signals come as a user's would, and the
// terminal must be left exactly as it was found however the program ends.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "render/codepages.h"

namespace {

using e2e::have_tmux;
using e2e::slurp;
using e2e::wait_for;

const std::string binary = GLIMFANT_BINARY;

std::string output_of(const std::string& command)
{
    std::string out;
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string shell_quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// One tmux server of its own, with an interactive bash in a window of the given size.
struct tmux_session {
    std::string socket, dir;

    tmux_session(const std::string& name, int columns, int rows)
    {
        socket = "glimfant_" + std::to_string(getpid()) + "_" + name;
        dir = testing::TempDir() + socket;
        mkdir(dir.c_str(), 0700);
        tmux("new-session -d -s t -x " + std::to_string(columns) + " -y " + std::to_string(rows) +
             " \"env -i PATH=/usr/bin:/bin HOME=" + dir + " HISTFILE=/dev/null PS1='$ ' TERM=screen"
             " SDL_AUDIODRIVER=dummy bash --norc --noprofile -i\"");
    }

    ~tmux_session()
    {
        tmux("kill-server");
        std::system(("rm -rf " + shell_quoted(dir)).c_str());
    }

    std::string tmux(const std::string& args) const
    {
        return output_of("tmux -L " + socket + " -f /dev/null " + args + " 2>/dev/null");
    }

    std::string flags() const { return tmux("display -p -t t '#{alternate_on} #{cursor_flag} #{wrap_flag}'"); }
    std::string pane() const { return tmux("capture-pane -p -t t"); }
    void keys(const std::string& k) const { tmux("send-keys -t t " + k); }
    void type(const std::string& line) const
    {
        tmux("send-keys -t t -l " + shell_quoted(line));
        keys("Enter");
    }
    std::string file(const std::string& name) const { return slurp(dir + "/" + name); }

    // Runs glimfant from the shell between two `stty -a`, as one job (so Ctrl-Z
    // stops it all); its pid lands in "pid", its exit status in "status".
    void start_demo(const std::string& args = "--mute") const
    {
        const std::string& d = dir;  // a path without spaces or quotes
        type("( trap true INT QUIT; stty -a > " + d + "/before; sh -c \"echo \\$\\$ > " + d + "/pid; exec " +
             binary + " " + args + "\"; s=$?; stty -a > " + d + "/after; echo $s > " + d + "/status )");
    }

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

// The start picture as the pane shows it: '.' is transparent, blanks are spaces.
std::vector<std::string> start_picture_lines(const std::string& dir)
{
    const std::string path = dir + "/pictures.bin";
    if (std::system((binary + " --dump-pictures " + shell_quoted(path) + " >/dev/null 2>&1").c_str()) != 0) return {};
    const std::string bytes = slurp(path);
    if (bytes.size() < 2000) return {};
    const std::uint16_t* table = codepage_table(437);
    std::vector<std::string> lines;
    for (int r = 0; r < 25; ++r) {
        std::string line;
        for (int c = 0; c < 80; ++c) {
            const auto b = static_cast<unsigned char>(bytes[static_cast<std::size_t>(r * 80 + c)]);
            const unsigned u = b == '.' || b == 0xDB ? 0x20 : table[b];  // a white full block on black: blank
            if (u < 0x80) {
                line += static_cast<char>(u == 0xA0 ? ' ' : u);
            } else if (u < 0x800) {
                line += static_cast<char>(0xC0 | (u >> 6));
                line += static_cast<char>(0x80 | (u & 0x3F));
            } else {
                line += static_cast<char>(0xE0 | (u >> 12));
                line += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
                line += static_cast<char>(0x80 | (u & 0x3F));
            }
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string indented(const std::vector<std::string>& lines, int top, int left)
{
    std::string text(static_cast<std::size_t>(top), '\n');
    for (const std::string& line : lines) text += (line.empty() ? "" : std::string(static_cast<std::size_t>(left), ' ') + line) + "\n";
    return text;
}

// The pane without its trailing empty lines.
std::string trimmed(std::string pane)
{
    while (pane.size() >= 2 && pane[pane.size() - 1] == '\n' && pane[pane.size() - 2] == '\n') pane.pop_back();
    return pane;
}

TEST(terminal_e2e, start_picture_space_and_escape_leave_the_terminal_as_found)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("escape", 80, 25);
    const std::vector<std::string> picture = start_picture_lines(s.dir);
    ASSERT_EQ(picture.size(), 25u) << "glimfant --dump-pictures failed";
    const std::string expected = trimmed(indented(picture, 0, 0));
    s.start_demo();
    ASSERT_TRUE(s.taken_over()) << s.pane();
    EXPECT_TRUE(wait_for([&] { return trimmed(s.pane()) == expected; })) << s.pane();
    s.keys("Space");
    // The show clears the start picture from its first frame on.
    EXPECT_TRUE(wait_for([&] { return trimmed(s.pane()) != expected; }));
    s.keys("Escape");
    EXPECT_EQ(s.status(), 0);
    s.expect_as_found();
}

TEST(terminal_e2e, sigterm_ctrl_c_and_ctrl_backslash_restore_and_end_with_128_plus_the_signal)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    {
        tmux_session s("term", 80, 25);
        s.start_demo();
        ASSERT_TRUE(s.taken_over());
        s.keys("Space");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(std::atoi(s.file("pid").c_str()), SIGTERM);
        EXPECT_EQ(s.status(), 128 + SIGTERM);
        s.expect_as_found();
    }
    {
        tmux_session s("int", 80, 25);
        s.start_demo();
        ASSERT_TRUE(s.taken_over());
        s.keys("C-c");  // while waiting for SPACE
        EXPECT_EQ(s.status(), 128 + SIGINT);
        s.expect_as_found();
    }
    {
        tmux_session s("quit", 80, 25);
        s.type("ulimit -c 0");
        s.start_demo();
        ASSERT_TRUE(s.taken_over());
        s.keys("Space");
        s.keys("'C-\\'");
        EXPECT_EQ(s.status(), 128 + SIGQUIT);
        s.expect_as_found();
    }
}

TEST(terminal_e2e, a_small_terminal_shows_the_size_message_until_it_grows)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("small", 60, 20);
    const std::vector<std::string> picture = start_picture_lines(s.dir);
    ASSERT_EQ(picture.size(), 25u);
    s.start_demo();
    ASSERT_TRUE(s.taken_over());
    EXPECT_TRUE(wait_for([&] {
        const std::string p = s.pane();
        return p.find("glimfant needs a terminal of 80 x 25") != std::string::npos &&
               p.find("this one is 60 x 20") != std::string::npos;
    })) << s.pane();
    s.tmux("resize-window -t t -x 100 -y 29");
    const std::string centred = trimmed(indented(picture, 2, 10));
    EXPECT_TRUE(wait_for([&] { return trimmed(s.pane()) == centred; })) << s.pane();
    s.keys("q");
    EXPECT_EQ(s.status(), 0);
    EXPECT_EQ(s.flags(), "0 1 1\n");
}

TEST(terminal_e2e, ctrl_z_gives_the_terminal_back_and_fg_takes_it_again)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("stop", 80, 25);
    s.start_demo();
    ASSERT_TRUE(s.taken_over());
    s.keys("Space");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    s.keys("C-z");
    EXPECT_TRUE(wait_for([&] { return s.flags() == "0 1 1\n"; }));
    // The shell's "Stopped" line may land on the alternate screen just before
    // the program leaves it, so the stop is read from the process itself.
    const int pid = std::atoi(s.file("pid").c_str());
    EXPECT_TRUE(wait_for([&] { return e2e::process_state(pid) == 'T'; }));
    s.type("fg");
    EXPECT_TRUE(s.taken_over());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    s.keys("Escape");
    EXPECT_EQ(s.status(), 0);
    s.expect_as_found();
}

// A stop does not move the silent clock on: the show resumes where it stopped.
TEST(terminal_e2e, the_silent_clock_stands_still_while_stopped)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("stop_clock", 80, 25);
    s.start_demo("--mute --stats " + s.dir + "/stats.txt");
    ASSERT_TRUE(s.taken_over());
    s.keys("Space");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    s.keys("C-z");
    const int pid = std::atoi(s.file("pid").c_str());
    EXPECT_TRUE(wait_for([&] { return e2e::process_state(pid) == 'T'; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    s.type("fg");
    EXPECT_TRUE(s.taken_over());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    s.keys("Escape");
    ASSERT_EQ(s.status(), 0);

    std::istringstream lines(s.file("stats.txt"));
    std::string line;
    long previous = -1, largest_step = 0, frames = 0;
    while (std::getline(lines, line)) {
        long music = 0;
        if (line[0] == '#' || std::sscanf(line.c_str(), "%*u %*u %*u.%*u %*d %ld", &music) != 1) continue;
        if (previous >= 0) largest_step = std::max(largest_step, music - previous);
        previous = music;
        ++frames;
    }
    EXPECT_GT(frames, 10);
    EXPECT_LT(largest_step, 500) << "the music time jumped over the stop";
}

// True once the process is gone or a zombie: it ended and does not spin.
bool ended(int pid)
{
    return wait_for([&] {
        const char state = e2e::process_state(pid);
        return state == 0 || state == 'Z';
    });
}

TEST(terminal_e2e, a_terminal_that_goes_away_ends_the_program)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    {
        tmux_session s("hangup", 80, 25);  // hang-up while waiting for SPACE
        s.start_demo();
        ASSERT_TRUE(s.taken_over());
        const int pid = std::atoi(s.file("pid").c_str());
        s.tmux("kill-server");
        EXPECT_TRUE(ended(pid));
    }
    {
        tmux_session s("gone", 80, 25);  // hang-up ignored: the show finds the terminal gone
        s.type("trap '' HUP");
        s.start_demo();
        ASSERT_TRUE(s.taken_over());
        s.keys("Space");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int pid = std::atoi(s.file("pid").c_str());
        s.tmux("kill-server");
        EXPECT_TRUE(ended(pid));
    }
}

// A recording of the show in this session, ended by end(): whole and valid
// JSON lines (tests/capture/cast_check.py), with no temporary file left.
void expect_recording_survives(const std::string& name, const std::function<void(tmux_session&)>& end,
                               const std::string& check_options = "")
{
    tmux_session s(name, 80, 25);
    s.start_demo("--mute --record " + s.dir + "/show.cast");
    ASSERT_TRUE(s.taken_over()) << name;
    s.keys("Space");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string pid = s.file("pid");
    end(s);
    ASSERT_TRUE(ended(std::atoi(pid.c_str()))) << name;
    EXPECT_EQ(std::system(("/usr/bin/python3 " + std::string(GLIMFANT_SOURCE_DIR) + "/tests/capture/cast_check.py " +
                           s.dir + "/show.cast " + check_options).c_str()),
              0)
        << name;
    EXPECT_TRUE(s.file("show.cast." + std::to_string(std::atoi(pid.c_str())) + ".tmp").empty()) << name;
}

TEST(terminal_e2e, a_recording_is_whole_however_the_show_ends)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    expect_recording_survives("rec_esc", [](tmux_session& s) {
        s.tmux("resize-window -t t -x 100 -y 29");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        s.keys("Escape");
    }, "--resized 100x29");
    expect_recording_survives("rec_term", [](tmux_session& s) { kill(std::atoi(s.file("pid").c_str()), SIGTERM); });
    expect_recording_survives("rec_int", [](tmux_session& s) { s.keys("C-c"); });
    expect_recording_survives("rec_hup", [](tmux_session& s) { s.tmux("kill-server"); });
    expect_recording_survives("rec_stop", [](tmux_session& s) {
        s.keys("C-z");
        const int pid = std::atoi(s.file("pid").c_str());
        EXPECT_TRUE(wait_for([&] { return e2e::process_state(pid) == 'T'; }));
        s.type("fg");
        EXPECT_TRUE(s.taken_over());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        s.keys("Escape");
    }, "--stops 1");
}

}  // namespace

// The music time each frame showed, from --stats.
std::vector<long> music_column(const std::string& stats)
{
    std::istringstream lines(stats);
    std::string line;
    std::vector<long> music;
    while (std::getline(lines, line)) {
        long ms = 0;
        if (line[0] != '#' && std::sscanf(line.c_str(), "%*u %*u %*u.%*u %*d %ld", &ms) == 1) music.push_back(ms);
    }
    return music;
}

// The longest run of frames that showed one music time, past the start.
std::size_t longest_hold(const std::vector<long>& music)
{
    std::size_t longest = 0, run = 0;
    for (std::size_t i = 1; i < music.size(); ++i) {
        run = music[i] == music[i - 1] && music[i] > 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// p pauses and resumes picture and clock together; the arrows and Page Down
// move the music time to the scenes' starts, on the silent clock and with the
// score playing (SDL's dummy device).
TEST(viewer_controls_e2e, pause_and_seek_move_the_music_column)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    for (const char* sound : {"--mute", "--score"}) {
        tmux_session s(std::string("controls") + (sound + 2), 80, 25);
        s.start_demo(std::string(sound) + " --stats " + s.dir + "/stats.txt");
        ASSERT_TRUE(s.taken_over());
        s.keys("Space");
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        s.keys("p");
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        s.keys("p");
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        s.keys("Right");
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        s.keys("NPage");
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        s.keys("Left");
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        s.keys("Escape");
        ASSERT_EQ(s.status(), 0) << sound;
        s.expect_as_found();

        const std::vector<long> music = music_column(s.file("stats.txt"));
        ASSERT_GT(music.size(), 50u) << sound;
        EXPECT_GE(longest_hold(music), 20u) << sound << ": a second's pause held the clock";
        // In order: a resume where it stood, the burn's start, the fountain's, then back to the burn's.
        std::size_t i = 1;
        while (i < music.size() && music[i] < 10111) {
            EXPECT_LT(music[i] - music[i - 1], 500) << sound << ": the pause moved the clock at frame " << i;
            ++i;
        }
        ASSERT_LT(i, music.size()) << sound << ": no move to the burn";
        EXPECT_LT(music[i], 10111 + 200) << sound;
        while (i < music.size() && music[i] < 12139) ++i;
        ASSERT_LT(i, music.size()) << sound << ": no move to the fountain";
        EXPECT_LT(music[i], 12139 + 200) << sound;
        while (i < music.size() && music[i] >= 12139) ++i;
        ASSERT_LT(i, music.size()) << sound << ": no move back";
        EXPECT_GE(music[i], 10111) << sound << ": back within a second goes to the scene before";
    }
}

// --loop begins again from music time 0 after the end, until ESC.
TEST(viewer_controls_e2e, a_looping_show_begins_again_after_its_end)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("loop", 80, 25);
    s.start_demo("--mute --loop --from 157000 --stats " + s.dir + "/stats.txt");
    ASSERT_TRUE(s.taken_over());
    s.keys("Space");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    s.keys("Escape");
    ASSERT_EQ(s.status(), 0);
    s.expect_as_found();
    const std::vector<long> music = music_column(s.file("stats.txt"));
    ASSERT_GT(music.size(), 10u);
    EXPECT_GE(music.front(), 157000);
    const auto back = std::adjacent_find(music.begin(), music.end(), [](long a, long b) { return b < a; });
    ASSERT_NE(back, music.end()) << "no loop";
    EXPECT_GT(*back, 158154 - 100);  // the last frame before the end
    EXPECT_LT(*(back + 1), 100);
}

// --screensaver starts without the start picture and ends on any key, status 0.
TEST(viewer_controls_e2e, a_screensaver_needs_no_space_and_ends_on_any_key)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("saver", 80, 25);
    s.start_demo("--mute --screensaver --stats " + s.dir + "/stats.txt");
    ASSERT_TRUE(s.taken_over());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    s.keys("x");
    ASSERT_EQ(s.status(), 0);
    s.expect_as_found();
    EXPECT_GT(music_column(s.file("stats.txt")).size(), 5u) << "the show ran without SPACE";
}

// The paused frame stays on screen, and a resize draws it again, centred.
TEST(viewer_controls_e2e, a_resize_while_paused_draws_the_paused_frame_again)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("paused_resize", 80, 25);
    s.start_demo();
    ASSERT_TRUE(s.taken_over());
    s.keys("Space");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    s.keys("p");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string paused = s.pane();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(s.pane(), paused) << "the paused frame changed";
    s.tmux("resize-window -t t -x 100 -y 29");
    // Centred: 10 columns and 2 rows in.
    std::istringstream lines(paused);
    std::string line, expected = "\n\n";
    while (std::getline(lines, line)) expected += (line.empty() ? "" : std::string(10, ' ') + line) + "\n";
    EXPECT_TRUE(wait_for([&] { return trimmed(s.pane()) == trimmed(expected); })) << s.pane() << "\n" << expected;
    s.keys("Escape");
    EXPECT_EQ(s.status(), 0);
}
