// The window as a viewer sees it: a virtual X server of the test's own
// (Xvfb at 1920 x 1080, its display number chosen by the server) with a
// window manager (openbox: full screen is the window manager's to grant),
// keys sent with xdotool and the screen read back with FFmpeg's x11grab.
// Also that the terminal show never connects to the display.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_support.h"
#include "scratch_dir.h"

namespace {

using e2e::output_of;
using e2e::shell_quoted;
using e2e::slurp;
using e2e::wait_for;

constexpr int screen_w = 1920, screen_h = 1080;  // 16:9
constexpr int picture_w = 720, picture_h = 400;

// Polls until done() holds, for at most ten seconds however long each try
// takes (a screenshot takes a good part of a second on a loaded machine).
bool poll_for(const std::function<bool()>& done)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < give_up) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

bool have(const char* program) { return std::system(("command -v " + std::string(program) + " >/dev/null").c_str()) == 0; }

// Runs command (a shell fragment) in the background; its pid.
pid_t spawn(const std::string& command)
{
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The exit status of a spawned process within ten seconds; -1 when it
// does not end (it is killed then).
int status_of(pid_t pid)
{
    int raw = 0;
    if (!wait_for([&] { return waitpid(pid, &raw, WNOHANG) == pid; })) {
        kill(pid, SIGKILL);
        waitpid(pid, &raw, 0);
        return -1;
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

void stop(pid_t& pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

// One virtual screen with its window manager, for the tests of this process.
struct x_display {
    scratch_dir scratch{"window"};
    std::string display;  // ":N"
    std::string problem;  // why there is none
    pid_t server = -1, manager = -1;

    x_display()
    {
        const std::string number = scratch / "display";
        server = spawn("Xvfb -displayfd 3 -screen 0 " + std::to_string(screen_w) + "x" + std::to_string(screen_h) +
                       "x24 -nolisten tcp 3>" + number + " >/dev/null 2>&1");
        // The server writes its number once it takes clients.
        if (!wait_for([&] { return slurp(number).find('\n') != std::string::npos; })) {
            problem = "Xvfb wrote no display number";
            return;
        }
        display = ":" + slurp(number).substr(0, slurp(number).find('\n'));
        manager = spawn("env DISPLAY=" + display + " openbox >" + (scratch / "openbox.txt") + " 2>&1");
        if (!poll_for([&] { return output_of(env() + " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") != std::string::npos; })) {
            problem = "openbox did not start on " + display + ": " + slurp(scratch / "openbox.txt");
            display.clear();
        }
    }

    ~x_display()
    {
        stop(manager);
        stop(server);
    }

    std::string env() const { return "env DISPLAY=" + display; }
    std::string xdotool(const std::string& args) const { return output_of(env() + " timeout 10 xdotool " + args + " 2>/dev/null"); }

    // The connections the server holds (its accepted sockets carry its name).
    int clients() const
    {
        const std::string table = slurp("/proc/net/unix");
        const std::string name = "/tmp/.X11-unix/X" + display.substr(1);
        int count = 0;
        for (std::size_t at = 0; (at = table.find(name + "\n", at)) != std::string::npos; at += name.size()) {
            const std::size_t line = table.rfind('\n', at) + 1;
            char state[8] = "";
            std::sscanf(table.c_str() + line, "%*s %*s %*s %*s %*s %7s", state);
            count += std::string(state) == "03";
        }
        return count;
    }

    // The screen as RGB, through an FFmpeg filter when one is given; the
    // pointer left out.
    std::string screen(const std::string& filter = "") const
    {
        return output_of("ffmpeg -v error -f x11grab -draw_mouse 0 -video_size " + std::to_string(screen_w) + "x" +
                         std::to_string(screen_h) + " -i " + display + " -frames:v 1 " + filter +
                         " -f rawvideo -pix_fmt rgb24 -");
    }
};

x_display* x = nullptr;

class window_x11 : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (have("Xvfb") && have("openbox") && have("xdotool") && have("xprop") && have("ffmpeg")) x = new x_display;
    }
    static void TearDownTestSuite()
    {
        delete x;
        x = nullptr;
    }
    void SetUp() override
    {
        if (!x) GTEST_SKIP() << "needs Xvfb, openbox, xdotool, xprop (x11-utils) and ffmpeg";
        ASSERT_FALSE(x->display.empty()) << x->problem;
    }
};

struct geometry {
    int width = 0, height = 0;
};

geometry window_geometry(const std::string& window)
{
    geometry g;
    const std::string shell = x->xdotool("getwindowgeometry --shell " + window);
    std::sscanf(shell.c_str() + std::min(shell.find("WIDTH="), shell.size()), "WIDTH=%d", &g.width);
    std::sscanf(shell.c_str() + std::min(shell.find("HEIGHT="), shell.size()), "HEIGHT=%d", &g.height);
    return g;
}

double psnr(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        sum += d * d;
    }
    return 10.0 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size()) + 1e-9));
}

// The w x h part of an RGB screen at left, top brought back to 720 x 400:
// each VGA pixel read at its centre, which the sharp scaling leaves its own
// colour (it mixes two only at their edge).
std::string shrink(const std::string& rgb, int left, int top, int w, int h)
{
    if (rgb.size() != static_cast<std::size_t>(screen_w) * screen_h * 3) return "";
    std::string out;
    for (int y = 0; y < picture_h; ++y)
        for (int x = 0; x < picture_w; ++x) {
            const int sx = left + static_cast<int>((x + 0.5) * w / picture_w);
            const int sy = top + static_cast<int>((y + 0.5) * h / picture_h);
            out.append(rgb, (static_cast<std::size_t>(sy) * screen_w + sx) * 3, 3);
        }
    return out;
}

// True when every pixel of columns [left, right) of an RGB screen is black.
bool black_columns(const std::string& rgb, int left, int right)
{
    if (rgb.size() != static_cast<std::size_t>(screen_w) * screen_h * 3) return false;
    for (int y = 0; y < screen_h; ++y)
        for (std::size_t i = (static_cast<std::size_t>(y) * screen_w + left) * 3; i < (static_cast<std::size_t>(y) * screen_w + right) * 3; ++i)
            if (rgb[i] != 0) return false;
    return true;
}

TEST_F(window_x11, shows_the_start_picture_at_4_to_3_full_screen_and_takes_the_keys)
{
    const std::string start_png = x->scratch / "start.png";
    ASSERT_EQ(e2e::run("--headless --png " + start_png + " --at start --frames 0", x->scratch.dir).status, 0);
    const std::string start = output_of("ffmpeg -v error -i " + start_png + " -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(start.size(), static_cast<std::size_t>(picture_w) * picture_h * 3);

    const std::string stats = x->scratch / "stats.txt";
    pid_t show = spawn(x->env() + " SDL_AUDIODRIVER=dummy " + e2e::binary + " --window --mute --stats " + stats +
                       " 2>" + (x->scratch / "err"));
    std::string window;
    ASSERT_TRUE(poll_for([&] { return !(window = x->xdotool("search --name '^glimfant$'")).empty(); }))
        << slurp(x->scratch / "err");
    window = window.substr(0, window.find('\n'));
    // The keys go where the focus is, as a viewer's do.
    ASSERT_TRUE(poll_for([&] {
        x->xdotool("windowactivate " + window);
        return x->xdotool("getactivewindow") == window + "\n";
    }));

    // Windowed, it is 4:3 from the start.
    const geometry first = window_geometry(window);
    EXPECT_LT(std::abs(first.width * 3 - first.height * 4), 4) << first.width << " x " << first.height;
    EXPECT_LT(first.width, screen_w);

    // F11: the whole 16:9 screen, the picture 1440 x 1080 in the middle, black either side.
    x->xdotool("key F11");
    EXPECT_TRUE(poll_for([&] {
        const geometry g = window_geometry(window);
        return g.width == screen_w && g.height == screen_h;
    }));
    std::string whole;
    double match = 0;
    EXPECT_TRUE(poll_for([&] { return (match = psnr(shrink(whole = x->screen(), 240, 0, 1440, 1080), start)) > 40; }))
        << match << " dB";
    EXPECT_TRUE(black_columns(whole, 0, 240));
    EXPECT_TRUE(black_columns(whole, 1680, screen_w));

    // SPACE: the show moves; p: it stands.
    x->xdotool("key space");
    const std::string small = "-vf scale=192:108:flags=area";
    const std::string start_small = x->screen(small);
    EXPECT_TRUE(poll_for([&] { return x->screen(small) != start_small; }));
    std::string before = x->screen(small);
    EXPECT_TRUE(poll_for([&] {
        const std::string now = x->screen(small);
        const bool moved = now != before;
        before = now;
        return moved;
    }));
    x->xdotool("key p");
    usleep(300000);
    std::string held = x->screen(small);
    EXPECT_TRUE(poll_for([&] {
        usleep(200000);
        const std::string now = x->screen(small);
        const bool stands = now == held;
        held = now;
        return stands;
    }));
    // Alt+Enter leaves full screen; ESC leaves with status 0.
    x->xdotool("key alt+Return");
    EXPECT_TRUE(poll_for([&] { return window_geometry(window).width < screen_w; }));
    x->xdotool("key Escape");
    EXPECT_EQ(status_of(show), 0) << slurp(x->scratch / "err");
    show = -1;

    // A line a frame from SPACE on: frames went to the screen, and the
    // paused one stayed there without being handed over again.
    const std::vector<e2e::stats_line> lines = e2e::read_stats(slurp(stats));
    int presented = 0;
    for (const e2e::stats_line& line : lines) presented += line.bytes > 0;
    EXPECT_GT(presented, 10);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().bytes, 0);
}

TEST_F(window_x11, without_a_display_says_so_in_one_line)
{
    const e2e::run_result r = e2e::run("--window --mute", x->scratch.dir, "env -u DISPLAY -u WAYLAND_DISPLAY");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("display"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

// The terminal show, DISPLAY set: muted it never maps SDL; with sound it
// does, and still opens no connection to the display.
TEST_F(window_x11, the_terminal_show_never_connects_to_the_display)
{
    if (!e2e::have_tmux()) GTEST_SKIP() << "tmux is not installed";
    // The window manager's alone, once the tools that waited for it have gone.
    const int clients = 1;
    EXPECT_TRUE(poll_for([&] { return x->clients() == clients; })) << x->clients();
    for (const char* sound : {"--mute", "--score"}) {
        e2e::tmux_session tmux(std::string("display") + (sound + 2));
        tmux.type("sh -c 'echo $$ > " + tmux.path("pid") + "; exec env DISPLAY=" + x->display + " " + e2e::binary +
                  " " + sound + "'");
        ASSERT_TRUE(tmux.taken_over());
        const std::string maps = "/proc/" + std::to_string(tmux.pid()) + "/maps";
        tmux.keys("Space");
        const bool muted = std::string(sound) == "--mute";
        // The sound starts with the show; muted, there is none to wait for.
        if (muted) usleep(500000);
        else EXPECT_TRUE(wait_for([&] { return slurp(maps).find("libSDL2") != std::string::npos; }));
        EXPECT_EQ(slurp(maps).find("libSDL2") != std::string::npos, !muted) << sound;
        EXPECT_EQ(x->clients(), clients) << sound;
        tmux.keys("Escape");
        EXPECT_TRUE(e2e::ended(tmux.pid()));
    }
}

}  // namespace
