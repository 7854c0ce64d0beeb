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
#include <utility>
#include <vector>

#include "render/codepages.h"

namespace {

using e2e::binary;
using e2e::ended;
using e2e::have_tmux;
using e2e::shell_quoted;
using e2e::slurp;
using e2e::tmux_session;
using e2e::wait_for;

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
        kill(s.pid(), SIGTERM);
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
    const int pid = s.pid();
    EXPECT_TRUE(wait_for([&] { return e2e::process_state(pid) == 'T'; }));
    s.type("fg");
    EXPECT_TRUE(s.taken_over());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    s.keys("Escape");
    EXPECT_EQ(s.status(), 0);
    s.expect_as_found();
}

// A stop does not move the silent clock on: the show resumes where it
// stopped. Read off the frames, the clock's 0 moves on by the time the
// process stood stopped, which this test measures itself: a loaded machine
// delays frames and the stop alike, and no bound here depends on it.
TEST(terminal_e2e, the_silent_clock_stands_still_while_stopped)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    using clock = std::chrono::steady_clock;
    tmux_session s("stop_clock", 80, 25);
    s.start_demo("--mute --stats " + s.path("stats.txt"));
    ASSERT_TRUE(s.taken_over());
    s.keys("Space");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    s.keys("C-z");
    const int pid = s.pid();
    ASSERT_TRUE(wait_for([&] { return e2e::process_state(pid) == 'T'; }));
    const clock::time_point stopped = clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const double stood_ms = std::chrono::duration<double, std::milli>(clock::now() - stopped).count();
    s.type("fg");
    EXPECT_TRUE(s.taken_over());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    s.keys("Escape");
    ASSERT_EQ(s.status(), 0);

    const std::vector<e2e::stats_line> lines = e2e::read_stats(s.file("stats.txt"));
    // After the stop the frames go on from a deadline of their own: the one
    // frame whose deadline is not 20 ms after the one before. The stop came
    // while it or the frame before was under way, and it and the next may
    // carry times from both sides of it.
    std::size_t gap = 0;
    for (std::size_t k = 1; k < lines.size(); ++k)
        if (lines[k].deadline != lines[k - 1].deadline + 20) gap = k;
    ASSERT_GE(gap, 4u) << "too few frames before the stop";
    ASSERT_GE(lines.size(), gap + 4) << "too few frames after the stop";
    const e2e::clock_origin before = e2e::silent_clock_origin(lines, 1, gap - 2);
    const e2e::clock_origin after = e2e::silent_clock_origin(lines, gap + 2, lines.size() - 1);
    EXPECT_LE(before.low, before.high) << "the silent clock ran off real time before the stop";
    EXPECT_LE(after.low, after.high) << "the silent clock ran off real time after the stop";
    // It may have run on for up to a frame's lead at the stop.
    EXPECT_GE(after.high - before.low, stood_ms - 25) << "the music time ran on through the stop";
}

// TERM and the locale are obeyed: a VT100 in the C locale gets no alternate
// screen, synchronized update, column or row move or colour, and ASCII only;
// a dumb terminal is refused in one line.
TEST(terminal_e2e, a_vt100_in_the_c_locale_gets_what_it_has_and_a_dumb_terminal_is_refused)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("vt100", 80, 25);
    s.tmux("pipe-pane -t t -o " + shell_quoted("cat > " + s.path("bytes")));
    s.type("TERM=vt100 LC_ALL=C " + binary + " --mute; echo status $?");
    ASSERT_TRUE(wait_for([&] { return s.file("bytes").find("\x1b[?7l") != std::string::npos; }));
    s.keys("Space");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    s.keys("Escape");
    ASSERT_TRUE(wait_for([&] { return s.pane().find("status 0") != std::string::npos; })) << s.pane();
    const std::string bytes = s.file("bytes");
    const std::size_t from = bytes.find("\x1b[?7l"), to = bytes.find("\x1b[?7h", from);
    ASSERT_NE(to, std::string::npos);
    const std::string show = bytes.substr(from + 5, to - from - 5);  // from the take-over to the restore
    EXPECT_GT(show.size(), 5000u) << "the show was drawn";
    EXPECT_TRUE(std::all_of(show.begin(), show.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    EXPECT_EQ(show.find("\x1b[?"), std::string::npos) << "a private mode";
    for (std::size_t at = show.find("\x1b["); at != std::string::npos; at = show.find("\x1b[", at + 1)) {
        std::size_t end = at + 2;
        while (end < show.size() && (show[end] < 0x40 || show[end] > 0x7E)) ++end;
        const std::string sequence = show.substr(at, end + 1 - at);
        EXPECT_NE(std::string("HABCDJKmc").find(show[end]), std::string::npos) << "a VT100 lacks " << sequence.substr(1);
        if (show[end] == 'm') EXPECT_EQ(sequence, "\x1b[0m") << "a colour";
    }
    s.type("TERM=dumb " + binary + " --mute 2>" + s.path("err") + "; echo status $?");
    EXPECT_TRUE(wait_for([&] { return s.pane().find("status 2") != std::string::npos; })) << s.pane();
    EXPECT_EQ(s.file("err"), "glimfant: the terminal (TERM=dumb) cannot move its cursor: run glimfant in one "
                             "that can, or with --headless\n");
}

TEST(terminal_e2e, a_terminal_that_goes_away_ends_the_program)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    {
        tmux_session s("hangup", 80, 25);  // hang-up while waiting for SPACE
        s.start_demo();
        ASSERT_TRUE(s.taken_over());
        const int pid = s.pid();
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
        const int pid = s.pid();
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
    expect_recording_survives("rec_term", [](tmux_session& s) { kill(s.pid(), SIGTERM); });
    expect_recording_survives("rec_int", [](tmux_session& s) { s.keys("C-c"); });
    expect_recording_survives("rec_hup", [](tmux_session& s) { s.tmux("kill-server"); });
    expect_recording_survives("rec_stop", [](tmux_session& s) {
        s.keys("C-z");
        const int pid = s.pid();
        EXPECT_TRUE(wait_for([&] { return e2e::process_state(pid) == 'T'; }));
        s.type("fg");
        EXPECT_TRUE(s.taken_over());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        s.keys("Escape");
    }, "--stops 1");
}

}  // namespace

namespace {

using e2e::stats_line;

// The longest run of frames that showed one music time, past the start.
std::size_t longest_hold(const std::vector<stats_line>& lines)
{
    std::size_t longest = 0, run = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        run = lines[i].music == lines[i - 1].music && lines[i].music > 0 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

// The time from the tick past frame i - 1's deadline to frame i's present,
// less a frame: what a loaded machine added to how far the music time may
// move on from the one frame to the next (0 when both kept time).
double held_up(const std::vector<stats_line>& lines, std::size_t i)
{
    return std::max(0.0, lines[i].present - static_cast<double>(lines[i - 1].deadline + 1) - 20);
}

// Frames whose music time is not the one before run on: a move, or a jump
// of a clock that ran on through a pause. The clock runs in real time (the
// silent one, or the dummy device's), so between two frames it moves on by
// at most the time from the tick past the earlier one's deadline to the
// later one's present, and 500 ms more.
std::vector<std::size_t> jumps(const std::vector<stats_line>& lines)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const double ran = lines[i].present - static_cast<double>(lines[i - 1].deadline + 1);
        const long step = lines[i].music - lines[i - 1].music;
        if (step < 0 || step > 500 + ran) at.push_back(i);
    }
    return at;
}

// The scenes' starts the keys move between (the first frame past each beat):
// the title, the burn, the fountain, the plasma.
constexpr long scene_starts[] = {0, 10111, 12139, 22955};

// Where the next-scene key goes from music time t, and the previous-scene
// key: this scene's start, or within its first second the one before.
long next_start(long t)
{
    for (long start : scene_starts)
        if (start > t) return start;
    return -1;
}
long previous_start(long t)
{
    long here = 0, before = 0;
    for (long start : scene_starts)
        if (start <= t) before = std::exchange(here, start);
    return t - here < 1000 ? before : here;
}

// A move from frame i - 1 to frame i lands where the key read between them
// goes: from the music time then, which lies between what frame i - 1
// showed and that plus the time to frame i's present (either side of a
// boundary in there will do); frame i shows the start and at most the time
// since.
void expect_move(const std::vector<stats_line>& lines, std::size_t i, long (*goes)(long), const std::string& what)
{
    const long from = lines[i - 1].music;
    const long late = from + 21 + static_cast<long>(held_up(lines, i));
    const long a = goes(from), b = goes(late);
    const long landed = lines[i].music;
    const bool on_a = landed >= a && landed < a + 200 + held_up(lines, i);
    const bool on_b = landed >= b && landed < b + 200 + held_up(lines, i);
    EXPECT_TRUE(on_a || on_b) << what << ": from " << from << " to " << landed << ", expected " << a
                              << (a == b ? "" : " or " + std::to_string(b));
}

}  // namespace

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
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        s.keys("Left");
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        s.keys("Escape");
        ASSERT_EQ(s.status(), 0) << sound;
        s.expect_as_found();

        const std::vector<stats_line> lines = e2e::read_stats(s.file("stats.txt"));
        ASSERT_GT(lines.size(), 50u) << sound;
        // Frames run on their deadlines whatever the machine's delays, and
        // the keys came at least a second apart.
        EXPECT_GE(longest_hold(lines), 20u) << sound << ": a second's pause held the clock";
        // Three moves, in order: to the burn, to the fountain, back to the
        // burn (or, the key read past the fountain's first second, to its
        // start); the resume after the pause jumps nowhere.
        const std::vector<std::size_t> moved = jumps(lines);
        ASSERT_EQ(moved.size(), 3u) << sound << ": the moves, and nothing else, jump the music time";
        expect_move(lines, moved[0], next_start, std::string(sound) + ", Right");
        expect_move(lines, moved[1], next_start, std::string(sound) + ", Page Down");
        expect_move(lines, moved[2], previous_start, std::string(sound) + ", Left");
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
    // Each frame moves the music time on by 20 ms or more: 1154 ms to the
    // end, then some frames past it. Frames written are counted (the re-run
    // of the show up to 157 s comes first, as long as it takes here).
    EXPECT_TRUE(s.frames_pass(80));
    s.keys("Escape");
    ASSERT_EQ(s.status(), 0);
    s.expect_as_found();
    const std::vector<stats_line> lines = e2e::read_stats(s.file("stats.txt"));
    ASSERT_GT(lines.size(), 10u);
    EXPECT_GE(lines.front().music, 157000);
    const auto back = std::adjacent_find(lines.begin(), lines.end(),
                                         [](const stats_line& a, const stats_line& b) { return b.music < a.music; });
    ASSERT_NE(back, lines.end()) << "no loop";
    const std::size_t i = static_cast<std::size_t>(back - lines.begin()) + 1;
    // The last frame before the end, and the loop's first from 0, each
    // within 100 ms and what the machine held the frames up by.
    EXPECT_GT(lines[i - 1].music, 158154 - 100 - held_up(lines, i));
    EXPECT_LT(lines[i].music, 100 + held_up(lines, i));
}

// --screensaver starts without the start picture and ends on any key, status 0.
TEST(viewer_controls_e2e, a_screensaver_needs_no_space_and_ends_on_any_key)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("saver", 80, 25);
    s.start_demo("--mute --screensaver --stats " + s.dir + "/stats.txt");
    ASSERT_TRUE(s.taken_over());
    EXPECT_TRUE(s.frames_pass(10)) << "the show ran without SPACE";
    s.keys("x");
    ASSERT_EQ(s.status(), 0);
    s.expect_as_found();
    EXPECT_GE(e2e::read_stats(s.file("stats.txt")).size(), 10u);
}

// A key typed before the screensaver started (here while the shell waits)
// was not meant for it: it runs on until a key comes.
TEST(viewer_controls_e2e, a_screensaver_drops_what_was_typed_before_it_started)
{
    if (!have_tmux()) GTEST_SKIP() << "tmux is not installed";
    tmux_session s("saver_typed", 80, 25);
    s.type("touch " + s.path("waiting") + "; while [ ! -e " + s.path("go") + " ]; do sleep 0.05; done; " + binary +
           " --mute --screensaver --stats " + s.path("stats.txt") + "; echo $? > " + s.path("status"));
    // Typed once the shell runs the line, so the terminal echoes it (while the
    // shell still reads its line, a key is neither echoed nor kept).
    ASSERT_TRUE(wait_for([&] { return access(s.path("waiting").c_str(), F_OK) == 0; }));
    s.keys("Z");
    ASSERT_TRUE(wait_for([&] { return s.pane().find("\nZ\n") != std::string::npos; })) << s.pane();
    ASSERT_EQ(std::system(("touch " + s.path("go")).c_str()), 0);
    ASSERT_TRUE(s.taken_over()) << "it ended on the key typed before it";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(s.file("status").empty()) << "it ended on the key typed before it";
    s.keys("x");
    EXPECT_EQ(s.status(), 0);
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
    // Once the p is read the pane stands still: two looks half a second apart agree.
    std::string paused;
    EXPECT_TRUE(wait_for([&] {
        paused = s.pane();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return s.pane() == paused;
    })) << "the paused frame changed";
    s.tmux("resize-window -t t -x 100 -y 29");
    // Centred: 10 columns and 2 rows in.
    std::istringstream lines(paused);
    std::string line, expected = "\n\n";
    while (std::getline(lines, line)) expected += (line.empty() ? "" : std::string(10, ' ') + line) + "\n";
    EXPECT_TRUE(wait_for([&] { return trimmed(s.pane()) == trimmed(expected); })) << s.pane() << "\n" << expected;
    s.keys("Escape");
    EXPECT_EQ(s.status(), 0);
}
