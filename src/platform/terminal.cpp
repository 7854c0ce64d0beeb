#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/fatal.h"
#include "platform/ansi_encoder.h"
#include "platform/music.h"

namespace {

// Signals that end the program: the terminal is restored first. Crashes too,
// so that a fault does not leave the user's terminal in raw mode.
constexpr int fatal_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int max_reads_per_poll = 16;  // a huge paste cannot hold up a frame

int key_fd = -1;                 // where keys come from: standard input or /dev/tty
int out_fd = STDOUT_FILENO;      // where frames go
termios saved_modes;             // the terminal's modes as found
int wake_pipe[2] = {-1, -1};     // signal handlers write a byte here to wake poll()

std::atomic<bool> taken_over{false};  // restore_terminal has something to give back
std::atomic<bool> writing{false};     // a frame is being written: it may stop mid-sequence
volatile std::sig_atomic_t resize_pending = 0;
volatile std::sig_atomic_t stop_pending = 0;
volatile std::sig_atomic_t continue_pending = 0;

ansi_encoder encoder;
char frame_bytes[ansi_frame_capacity];
screen_cell shown[screen_cells];  // the last frame presented, for redraws
bool have_frame = false;
bool message_shown = false;       // the too-small message is on screen
bool resumed = false;             // continued after a stop since the last pace
key_decoder keys;

// The per-frame statistics: written through stdio into a buffer of their own,
// so that no frame allocates and the file is written only when it fills.
std::FILE* stats_file = nullptr;
char stats_buffer[64 * 1024];
bool stats_due = false;             // the show paced a frame that has not been presented yet
std::uint32_t stats_deadline = 0;   // the deadline that frame waited for
std::uint32_t stats_frame = 0;      // its number, from 0
std::int32_t stats_music = 0;       // the music time the show last read: what the frame shows
bool paced = false;                 // stats_deadline holds the deadline the last pace returned

std::int64_t monotonic_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::uint32_t term_tick_count() { return static_cast<std::uint32_t>(monotonic_ns() / 1000000); }

// write() until done or failed; safe in a signal handler.
bool raw_write(const char* bytes, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = write(out_fd, bytes, n);
        if (w > 0) {
            bytes += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

// Gives the terminal back: modes, colours, cursor, main screen. Safe in a
// signal handler and at any time; does something only while taken over.
void restore_terminal()
{
    if (!taken_over.exchange(false)) return;
    const int saved_errno = errno;
    if (writing.load()) raw_write(ansi_cancel, std::strlen(ansi_cancel));
    // On Ctrl-Z the shell may take the terminal back before we get here (a
    // job whose other processes stopped first). Setting the modes from the
    // background would then stop us with SIGTTOU, and the continue that
    // follows would run straight into our own stop; with SIGTTOU ignored the
    // modes are set and the stop happens once.
    struct sigaction ignore{}, previous{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGTTOU, &ignore, &previous);
    raw_write(ansi_restore, std::strlen(ansi_restore));
    tcsetattr(key_fd, TCSANOW, &saved_modes);
    sigaction(SIGTTOU, &previous, nullptr);
    errno = saved_errno;
}

// The terminal went away (hang-up, EIO, EPIPE): end at once, as a hang-up would.
[[noreturn]] void terminal_lost()
{
    writing = false;
    restore_terminal();
    std::signal(SIGHUP, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(SIGHUP);
    std::_Exit(128 + SIGHUP);
}

// One frame's bytes in one write (more only when the terminal takes them in parts).
void write_frame(const char* bytes, int n)
{
    writing = true;
    std::size_t left = static_cast<std::size_t>(n);
    while (left > 0) {
        const ssize_t w = write(out_fd, bytes, left);
        if (w > 0) {
            bytes += w;
            left -= static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{out_fd, POLLOUT, 0};  // someone made the terminal non-blocking
            poll(&p, 1, 100);
        } else {
            terminal_lost();
        }
    }
    writing = false;
}

void set_raw_modes()
{
    termios raw = saved_modes;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);  // ISIG stays: Ctrl-C, Ctrl-Z
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(key_fd, TCSANOW, &raw);
}

void take_over()
{
    set_raw_modes();
    taken_over = true;
    write_frame(ansi_takeover, static_cast<int>(std::strlen(ansi_takeover)));
}

void query_size(int& columns, int& rows)
{
    winsize ws{};
    if (ioctl(out_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        columns = ws.ws_col;
        rows = ws.ws_row;
    } else {
        columns = screen_width;
        rows = screen_height;
    }
}

// Puts the last frame on screen, or the size message when the grid does not
// fit; returns the bytes written.
int show()
{
    int n = 0;
    if (!encoder_fits(encoder)) {
        if (!message_shown) write_frame(frame_bytes, n = encode_size_message(encoder, frame_bytes));
        message_shown = true;
        return n;
    }
    message_shown = false;
    if (have_frame) write_frame(frame_bytes, n = encode_frame(encoder, shown, frame_bytes));
    return n;
}

// The screen's contents are unknown or the size changed: the next show draws
// everything again.
void forget_screen()
{
    int columns = 0, rows = 0;
    query_size(columns, rows);
    encoder_resize(encoder, columns, rows);
    message_shown = false;
}

void wake()
{
    const int saved_errno = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t w = write(wake_pipe[1], &byte, 1);
    errno = saved_errno;
}

void on_fatal_signal(int sig)
{
    restore_terminal();
    std::signal(sig, SIG_DFL);
    std::raise(sig);  // blocked until this handler returns, then ends the process
}

// Stops and resizes are handled in the main flow, never in the middle of a frame.
void on_stop_signal(int)
{
    stop_pending = 1;
    wake();
}

void on_continue_signal(int)
{
    continue_pending = 1;
    wake();
}

void on_resize_signal(int)
{
    resize_pending = 1;
    wake();
}

void set_handler(int sig, void (*handler)(int))
{
    struct sigaction action{};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

// Only over the default action: a signal ignored when the program started
// (nohup, a job started with & without job control) stays ignored, and a
// handler already there (a sanitizer's) stays in charge.
void set_fatal_handler(int sig)
{
    struct sigaction old{};
    sigaction(sig, nullptr, &old);
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) set_handler(sig, on_fatal_signal);
}

// Ctrl-Z: give the terminal back, stop, and on continue take it again.
void suspend()
{
    restore_terminal();
    set_handler(SIGTSTP, SIG_DFL);
    music_suspend();
    std::raise(SIGTSTP);  // the process stops here until continued
    music_resume();
    set_handler(SIGTSTP, on_stop_signal);
    continue_pending = 1;
}

void drain_wake_pipe()
{
    char drain[64];
    while (read(wake_pipe[0], drain, sizeof drain) > 0) {
    }
}

// Acts on a stop, continue or resize that came since the last call. With
// draw, the last frame is drawn again at once where the screen was lost
// (the start screen); in the show the next present draws in full.
void handle_signals(bool draw)
{
    if (!stop_pending && !continue_pending && !resize_pending) return;
    drain_wake_pipe();
    if (stop_pending) {
        stop_pending = 0;
        suspend();
    }
    if (continue_pending) {
        // Whoever had the terminal meanwhile may have changed anything.
        continue_pending = 0;
        resize_pending = 0;
        if (!taken_over) {
            take_over();
        } else {
            set_raw_modes();
            write_frame(ansi_takeover, static_cast<int>(std::strlen(ansi_takeover)));
        }
        resumed = true;
        forget_screen();
        if (draw) show();
    }
    if (resize_pending) {
        resize_pending = 0;
        forget_screen();
        if (draw) show();
    }
}

// Reads whatever the keyboard has sent, without waiting.
void read_keys()
{
    for (int reads = 0; reads < max_reads_per_poll; ++reads) {
        pollfd p{key_fd, POLLIN, 0};
        const int ready = poll(&p, 1, 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) terminal_lost();
        if (ready == 0) break;
        if (!(p.revents & POLLIN)) terminal_lost();  // hang-up or error without data
        unsigned char bytes[256];
        const ssize_t n = read(key_fd, bytes, sizeof bytes);
        if (n > 0) {
            keys_feed(keys, bytes, static_cast<int>(n), term_tick_count());
        } else if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        } else {
            terminal_lost();  // end of input or a read error
        }
    }
    keys_settle(keys, term_tick_count());
}

bool term_wait_for_space()
{
    for (;;) {
        handle_signals(true);
        read_keys();
        if (keys.quit) return false;
        if (keys.space) {
            keys.space = false;
            return true;
        }
        pollfd p[2] = {{key_fd, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
        const int timeout = keys_settle_in(keys, term_tick_count());
        if (poll(p, 2, timeout) < 0 && errno != EINTR) terminal_lost();
        if (p[1].revents & POLLIN) drain_wake_pipe();
    }
}

// During the show a present follows within a frame and draws in full.
bool term_escape_down()
{
    handle_signals(false);
    read_keys();
    return keys.quit;
}

// Waits as platform_api::pace says; the deadline waited for goes to the statistics.
std::uint32_t pace_until(std::uint32_t deadline)
{
    for (;;) {
        handle_signals(false);
        if (resumed) {
            resumed = false;
            return term_tick_count();
        }
        const std::int64_t now_ms = monotonic_ns() / 1000000;
        // The count wraps after 49.7 days; reading the difference as signed
        // keeps "now is past the deadline" true across the wrap.
        const auto ahead = static_cast<std::int32_t>(deadline - static_cast<std::uint32_t>(now_ms));
        if (ahead < 0) return deadline;
        const std::int64_t wake_ms = now_ms + ahead + 1;  // the first tick past the deadline
        const timespec until{static_cast<time_t>(wake_ms / 1000), static_cast<long>(wake_ms % 1000) * 1000000};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    }
}

std::uint32_t term_pace(std::uint32_t deadline)
{
    stats_deadline = pace_until(deadline);
    stats_due = true;
    paced = true;
    return stats_deadline;
}

// One line for the frame just written; the start picture, presented before
// any pace, has none.
void write_stats(int bytes, std::int64_t written_ns)
{
    if (!stats_file || !stats_due) return;
    stats_due = false;
    const auto tick = static_cast<std::uint32_t>(written_ns / 1000000);  // term_tick_count's clock
    const auto micros = static_cast<unsigned>(written_ns % 1000000 / 1000);
    std::fprintf(stats_file, "%u %u %u.%03u %d %d\n", static_cast<unsigned>(stats_frame++),
                 static_cast<unsigned>(stats_deadline), static_cast<unsigned>(tick), micros, bytes,
                 static_cast<int>(stats_music));
}

void term_present(const screen_cell* cells, int width, int height)
{
    GLIM_ASSERT(width == screen_width && height == screen_height);
    handle_signals(false);
    std::memcpy(shown, cells, sizeof shown);
    have_frame = true;
    const int bytes = show();
    write_stats(bytes, monotonic_ns());
}

// The frame being composed shows at the first tick past its deadline, which
// the driver sets 20 ms after the one the previous pace returned: its music
// time is the one heard then, not while its scenes run.
std::int32_t term_music_time()
{
    std::int64_t lead_ns = 0;
    if (paced) {
        const std::int64_t now = monotonic_ns();
        const std::uint32_t due_tick = stats_deadline + 20 + 1;
        lead_ns = static_cast<std::int32_t>(due_tick - static_cast<std::uint32_t>(now / 1000000)) * std::int64_t{1000000} -
                  now % 1000000;
    }
    stats_music = music_time_ahead(lead_ns);
    return stats_music;
}

void term_shutdown()
{
    restore_terminal();
    set_handler(SIGTSTP, SIG_DFL);
    set_handler(SIGCONT, SIG_DFL);
    set_handler(SIGWINCH, SIG_DFL);
    if (stats_file) std::fflush(stats_file);
    music_shutdown();
}

}  // namespace

void keys_feed(key_decoder& k, const unsigned char* bytes, int count, std::uint32_t now)
{
    constexpr unsigned char esc = 0x1B;
    for (int i = 0; i < count; ++i) {
        const unsigned char b = bytes[i];
        if (b == esc) {
            // Also inside a sequence: a new ESC cuts the old one off.
            k.state = key_after_escape;
            k.escape_tick = now;
            continue;
        }
        switch (k.state) {
        case key_plain:
            if (b == ' ') k.space = true;
            if (b == 'q') k.quit = true;
            break;
        case key_after_escape:
            k.state = b == '[' ? key_in_csi : b == 'O' ? key_after_ss3 : key_plain;  // else Alt+key
            break;
        case key_in_csi:
            if (b < 0x20 || b > 0x3F) k.state = key_plain;  // a final byte, or garbage
            break;
        case key_after_ss3:
            k.state = key_plain;
            break;
        }
    }
}

void keys_settle(key_decoder& k, std::uint32_t now)
{
    if (k.state == key_plain || now - k.escape_tick < lone_escape_ms) return;
    if (k.state == key_after_escape) k.quit = true;
    k.state = key_plain;
}

int keys_settle_in(const key_decoder& k, std::uint32_t now)
{
    if (k.state == key_plain) return -1;
    const std::uint32_t waited = now - k.escape_tick;
    return waited >= lone_escape_ms ? 0 : static_cast<int>(lone_escape_ms - waited);
}

bool terminal_platform(platform_api& api, const terminal_options& options, const char** why)
{
    int keyboard = STDIN_FILENO;
    if (!isatty(keyboard)) keyboard = open("/dev/tty", O_RDONLY | O_CLOEXEC);
    if (keyboard < 0) {
        *why = "cannot read the keyboard: no terminal on standard input";
        return false;
    }
    return terminal_platform_on(api, options, keyboard, STDOUT_FILENO, why);
}

bool terminal_platform_on(platform_api& api, const terminal_options& options, int keyboard, int output,
                          const char** why)
{
    key_fd = keyboard;
    out_fd = output;
    if (tcgetattr(key_fd, &saved_modes) != 0) {
        *why = "cannot read the terminal's modes";
        return false;
    }
    if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        *why = "cannot create a pipe";
        return false;
    }
    const int color = options.color ? options.color : color_from_colorterm(std::getenv("COLORTERM"));
    int columns = 0, rows = 0;
    query_size(columns, rows);
    encoder_init(encoder, options.codepage, color, columns, rows);
    stats_file = options.stats;
    if (stats_file) {
        std::setvbuf(stats_file, stats_buffer, _IOFBF, sizeof stats_buffer);
        std::fputs("# frame deadline_ms present_ms bytes music_ms\n", stats_file);
    }

    for (int sig : fatal_signals) set_fatal_handler(sig);
    set_handler(SIGTSTP, on_stop_signal);
    set_handler(SIGCONT, on_continue_signal);
    set_handler(SIGWINCH, on_resize_signal);
    std::signal(SIGPIPE, SIG_IGN);  // a closed terminal shows as EPIPE, handled as a hang-up
    set_fatal_cleanup(restore_terminal);
    std::atexit(restore_terminal);
    take_over();

    api = platform_api{term_tick_count, term_wait_for_space, term_escape_down, term_pace,
                       term_present,    music_start,         term_music_time,  term_shutdown};
    return true;
}
