#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/fatal.h"
#include "base/monotonic_clock.h"
#include "capture/asciicast.h"
#include "platform/ansi_encoder.h"
#include "platform/music.h"
#include "platform/terminal_caps.h"

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
char frame_bytes[ansi_frame_capacity + 8];  // room for a status request after the frame
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

cast_file* recording = nullptr;     // gets every write to the terminal, or null
std::int64_t recording_start_ns = 0;
int recorded_columns = 0, recorded_rows = 0;  // the size the recording last gave

// How far the terminal trails. Over a slow link (ssh) the writes pile up in
// buffers on the way and the picture falls behind the music. So each write
// ends with a status request (device attributes, CSI c: every common terminal
// answers it; not all answer DSR's CSI 5 n), and its answer, read with the
// keys, tells when the terminal got there. While it trails, frames are not
// presented; the next present sends the difference from what the terminal
// last received. A terminal that never answers is asked twice (at the take-
// over and after the start picture: the answers' spacing times the link) and
// gets every frame.
constexpr char status_request[] = "\x1b[c";
constexpr int status_request_length = sizeof status_request - 1;
constexpr int probe_capacity = 64;                      // requests awaiting an answer
constexpr std::int64_t trail_slack_ns = 20000000;       // a frame of queue past the round trip
constexpr std::int64_t late_slack_ns = 40000000;        // two frames late past the round trip
constexpr std::int64_t silent_ns = 3000000000;          // no answer for so long: it stopped answering
constexpr std::int64_t reply_drain_ns = 500000000;      // how long an exit waits for the last answers
constexpr double rate_decay = 0.9;                      // per answer, for the measured link rate

struct link_probe {
    std::int64_t sent_ns;  // when the request had been written
    std::uint64_t bytes;   // bytes written up to and including it
};

struct link_state {
    link_probe probes[probe_capacity];  // requests not yet answered, oldest at first
    int first = 0, count = 0;
    bool answers = false;               // the terminal answers: ask after every write
    std::int64_t min_delay_ns = INT64_MAX;  // the fastest answer: the round trip with nothing queued
    std::uint64_t written = 0;          // bytes written since the start
    std::uint64_t answered = 0;         // of those, the ones known to have arrived
    std::int64_t answered_ns = 0;       // when the last answer came
    double rate_bytes = 0, rate_ns = 0; // decayed sums of bytes delivered on a busy link and their time
};

link_state link;

// A terminal one row short (80 x 24 is the usual default) is asked to grow
// with the window-size request; where it complies it is given its size back
// at the end. One that does not comply shows the size message as before.
bool size_asked = false;         // the request went out with the last take-over
int asked_columns = 0;           // the size asked for: 25 rows of this many columns
char size_back[32];              // the request for the size it had, NUL-terminated

std::uint32_t term_tick_count() { return static_cast<std::uint32_t>(monotonic_ns() / 1000000); }

// Every write to the terminal is also an event of the recording, at its time
// since the take-over. Safe in a signal handler.
void record_write(const char* bytes, std::size_t n)
{
    if (recording) cast_output(*recording, (monotonic_ns() - recording_start_ns) / 1000, bytes, n);
}

// A new terminal size is an event of the recording, so that it plays back
// at the size the bytes were made for.
void record_size(int columns, int rows)
{
    if (!recording || (columns == recorded_columns && rows == recorded_rows)) return;
    recorded_columns = columns;
    recorded_rows = rows;
    cast_resize(*recording, (monotonic_ns() - recording_start_ns) / 1000, columns, rows);
}

// write() until done or failed; safe in a signal handler.
bool raw_write(const char* bytes, std::size_t n)
{
    record_write(bytes, n);
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

// Asks for the size the terminal had, if it grew as asked and is still so.
void give_size_back()
{
    if (!size_asked) return;
    size_asked = false;
    winsize ws{};
    if (ioctl(out_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_row == screen_height && ws.ws_col == asked_columns)
        raw_write(size_back, std::strlen(size_back));
}

void link_answered(std::int64_t now);

// Reads the answers to the status requests still out, while the modes are
// raw, so that none reaches the shell; until the last arrives or, for a
// terminal not known to answer, half a second after the oldest was sent.
void await_answers()
{
    if (link.count == 0) return;
    const std::int64_t start = link.answers ? monotonic_ns() : link.probes[link.first].sent_ns;
    const std::int64_t until = start + reply_drain_ns;
    for (std::int64_t now = monotonic_ns(); link.count > 0 && now < until; now = monotonic_ns()) {
        pollfd p{key_fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>((until - now) / 1000000) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || !(p.revents & POLLIN)) break;
        unsigned char bytes[256];
        const ssize_t n = read(key_fd, bytes, sizeof bytes);
        if (n <= 0) break;
        const int before = keys.replies;
        keys_feed(keys, bytes, static_cast<int>(n), term_tick_count());
        for (int r = before; r < keys.replies; ++r) link_answered(now);
    }
}

// Gives the terminal back: modes, colours, cursor, main screen. Safe in a
// signal handler and at any time; does something only while taken over.
// With wait, answers still due are read first (not in a signal handler);
// any still due then are dropped from the input.
void give_back(bool wait)
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
    give_size_back();
    if (wait) await_answers();
    if (link.count > 0) tcflush(key_fd, TCIFLUSH);
    link.count = 0;  // the next answer times nothing written before now
    link.answered = link.written;
    link.answered_ns = 0;
    keys.replies_due = 0;
    tcsetattr(key_fd, TCSANOW, &saved_modes);
    sigaction(SIGTTOU, &previous, nullptr);
    errno = saved_errno;
}

void restore_terminal() { give_back(false); }

// The last thing before the process ends: the terminal back, then the
// recording finished with the restore as its last event. Safe in a signal handler.
void give_back_for_good()
{
    restore_terminal();
    if (recording) cast_finish(*recording);
}

// The terminal went away (hang-up, EIO, EPIPE): end at once, as a hang-up would.
[[noreturn]] void terminal_lost()
{
    writing = false;
    give_back_for_good();
    std::signal(SIGHUP, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(SIGHUP);
    std::_Exit(128 + SIGHUP);
}

// One frame's bytes in one write (more only when the terminal takes them in parts).
void write_frame(const char* bytes, std::size_t n)
{
    record_write(bytes, n);
    writing = true;
    std::size_t left = n;
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

// Writes bytes (room for a status request after them) with the request when
// one is due; returns the count written.
int write_out(char* bytes, int n)
{
    const bool ask = link.count < 2 || (link.answers && link.count < probe_capacity);
    if (ask) {
        std::memcpy(bytes + n, status_request, status_request_length);
        n += status_request_length;
    }
    write_frame(bytes, static_cast<std::size_t>(n));
    link.written += static_cast<std::uint64_t>(n);
    if (ask) {
        link.probes[(link.first + link.count) % probe_capacity] = {monotonic_ns(), link.written};
        ++link.count;
        keys.replies_due = link.count;
    }
    return n;
}

// The oldest request was answered at now: how long it took, and how fast the
// link delivered the bytes since the answer before.
void link_answered(std::int64_t now)
{
    if (link.count == 0) return;  // an answer nobody asked for
    const link_probe p = link.probes[link.first];
    link.first = (link.first + 1) % probe_capacity;
    keys.replies_due = --link.count;
    link.answers = true;
    if (now - p.sent_ns < link.min_delay_ns) link.min_delay_ns = now - p.sent_ns;
    // The link carried the bytes since the answer before from when they were
    // written or, if the bytes before them still queued then, from when those
    // were through; either shows a round trip later.
    const std::int64_t start = std::max(link.answered_ns, p.sent_ns + link.min_delay_ns);
    if (link.answered_ns > 0 && now > start) {
        link.rate_bytes = link.rate_bytes * rate_decay + static_cast<double>(p.bytes - link.answered);
        link.rate_ns = link.rate_ns * rate_decay + static_cast<double>(now - start);
    }
    link.answered = p.bytes;
    link.answered_ns = now;
}

// The bytes still queued on the link at now, if it carries bytes_per_ns: from
// when the last answered request left the queue (a round trip before its
// answer), the writes since go in and the rate drains them.
double link_queued(std::int64_t now, double bytes_per_ns)
{
    std::int64_t t = link.answered_ns - link.min_delay_ns;
    std::uint64_t bytes = link.answered;
    double queued = 0;
    for (int i = 0; i < link.count; ++i) {
        const link_probe& p = link.probes[(link.first + i) % probe_capacity];
        if (p.sent_ns > t) {
            queued -= bytes_per_ns * static_cast<double>(p.sent_ns - t);
            if (queued < 0) queued = 0;
            t = p.sent_ns;
        }
        queued += static_cast<double>(p.bytes - bytes);
        bytes = p.bytes;
    }
    queued -= bytes_per_ns * static_cast<double>(now - t);
    return queued < 0 ? 0 : queued;
}

// True while the terminal trails: the oldest request is two frames later than
// the round trip and the bytes before it take, or more than a frame's time of
// bytes is still queued on the link.
bool link_trails(std::int64_t now)
{
    if (!link.answers || link.count == 0) return false;
    const link_probe& oldest = link.probes[link.first];
    const std::int64_t waited = now - oldest.sent_ns;
    if (waited > silent_ns) {
        link.answers = false;  // today's behaviour until it answers again
        return false;
    }
    const double allowed = static_cast<double>(link.min_delay_ns + late_slack_ns);
    if (link.rate_ns <= 0) return static_cast<double>(waited) > allowed;  // the rate is not known yet
    const double bytes_per_ns = link.rate_bytes / link.rate_ns;
    const double before_oldest = static_cast<double>(oldest.bytes - link.answered);
    if (static_cast<double>(waited) > allowed + before_oldest / bytes_per_ns) return true;
    return link_queued(now, bytes_per_ns) > bytes_per_ns * static_cast<double>(trail_slack_ns);
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

void query_size(int& columns, int& rows);

void write_takeover()
{
    char bytes[96];
    int n = static_cast<int>(std::strlen(ansi_takeover));
    std::memcpy(bytes, ansi_takeover, static_cast<std::size_t>(n));
    int columns = 0, rows = 0;
    query_size(columns, rows);
    size_asked = rows == screen_height - 1 && columns >= screen_width;
    if (size_asked) {
        asked_columns = columns;
        n += std::snprintf(bytes + n, 32, "\x1b[8;%d;%dt", screen_height, columns);
        std::snprintf(size_back, sizeof size_back, "\x1b[8;%d;%dt", rows, columns);
    }
    GLIM_ASSERT(n + status_request_length <= static_cast<int>(sizeof bytes));
    write_out(bytes, n);
}


void take_over()
{
    set_raw_modes();
    taken_over = true;
    write_takeover();
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
        if (!message_shown) n = write_out(frame_bytes, encode_size_message(encoder, frame_bytes));
        message_shown = true;
        return n;
    }
    message_shown = false;
    if (have_frame) n = write_out(frame_bytes, encode_frame(encoder, shown, frame_bytes));
    return n;
}

// The screen's contents are unknown or the size changed: the next show draws
// everything again.
void forget_screen()
{
    int columns = 0, rows = 0;
    query_size(columns, rows);
    encoder_resize(encoder, columns, rows);
    record_size(columns, rows);
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
    give_back_for_good();
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

// The recording's header, with the terminal as found; its clock starts here.
void start_recording(int columns, int rows)
{
    cast_header header;
    header.width = recorded_columns = columns;
    header.height = recorded_rows = rows;
    header.timestamp = std::time(nullptr);
    header.term = std::getenv("TERM");
    header.shell = std::getenv("SHELL");
    cast_write_header(*recording, header);
    recording_start_ns = monotonic_ns();
}

// Ctrl-Z: give the terminal back, stop, and on continue take it again.
void suspend()
{
    give_back(true);
    set_handler(SIGTSTP, SIG_DFL);
    music_suspend();
    std::raise(SIGTSTP);  // the process stops here until continued
    music_resume();
    set_handler(SIGTSTP, on_stop_signal);
    continue_pending = 1;
}

// pipe2 is not everywhere: the flags are set one by one (once, before any
// thread or child could inherit the descriptors).
bool make_wake_pipe()
{
    if (pipe(wake_pipe) != 0) return false;
    for (int fd : wake_pipe) {
        if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
            return false;
    }
    return true;
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
            write_takeover();
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
            const int before = keys.replies;
            keys_feed(keys, bytes, static_cast<int>(n), term_tick_count());
            const std::int64_t now = monotonic_ns();
            for (int r = before; r < keys.replies; ++r) link_answered(now);
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
            keys.pause = keys.any = false;  // the SPACE that starts the show pauses nothing
            keys.seek = 0;
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

// The keys escape_down has just read (and the pacing wait before it).
viewer_keys term_take_keys()
{
    viewer_keys taken;
    taken.pause = keys.pause || keys.space;
    taken.seek = keys.seek;
    taken.any = keys.any;
    keys.pause = keys.space = keys.any = false;
    keys.seek = 0;
    return taken;
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
        // A relative wait (clock_nanosleep with an absolute time is not
        // everywhere); a wake-up too early, or by a signal, goes round the loop again.
        const std::int64_t wait_ns = wake_ms * 1000000 - monotonic_ns();
        if (wait_ns <= 0) continue;
        if (link.count > 0) {
            // Answers are due: read them as they come, to time them.
            pollfd p[2] = {{key_fd, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
            if (poll(p, 2, static_cast<int>((wait_ns + 999999) / 1000000)) > 0 && p[0].revents) read_keys();
            continue;
        }
        const timespec wait{static_cast<time_t>(wait_ns / 1000000000), static_cast<long>(wait_ns % 1000000000)};
        nanosleep(&wait, nullptr);
    }
}

std::uint32_t term_pace(std::uint32_t deadline)
{
    if (recording) cast_write_due(*recording);  // the frame is out: write the file while waiting
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
    // Once ESC is down nothing more is sent: on a slow link the restore then
    // follows what is already on its way.
    const std::int64_t now = monotonic_ns();
    if (keys.quit || link_trails(now)) {
        write_stats(0, now);
        return;
    }
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
    give_back(true);
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
            // Also inside a sequence: a new ESC cuts the old one off. An ESC
            // right after an ESC was the key: the answer to a status request
            // can follow a key press at once.
            if (k.state == key_after_escape) k.quit = true;
            k.state = key_after_escape;
            k.escape_tick = now;
            continue;
        }
        switch (k.state) {
        case key_plain:
            if (b == ' ') k.space = true;
            if (b == 'q') k.quit = true;
            if (b == 'p' || b == 'P') k.pause = true;
            k.any = true;
            break;
        case key_after_escape:
            k.state = b == '[' ? key_in_csi : b == 'O' ? key_after_ss3 : key_plain;  // else Alt+key
            k.csi_number = 0;
            if (k.state == key_plain) k.any = true;
            break;
        case key_in_csi:
            if (b >= '0' && b <= '9' && k.csi_number < 1000) k.csi_number = k.csi_number * 10 + (b - '0');
            if (b == ';') k.csi_number = 1000;  // only a lone number names a key here
            if (b >= 0x20 && b <= 0x3F) break;
            k.state = key_plain;  // a final byte, or garbage
            if (b == 'c' || b == 'n') {
                ++k.replies;  // no key ends so: DA or DSR answers
                break;
            }
            k.any = true;
            if (b == 'C' || (b == '~' && k.csi_number == 6)) ++k.seek;  // right arrow, Page Down
            if (b == 'D' || (b == '~' && k.csi_number == 5)) --k.seek;  // left arrow, Page Up
            break;
        case key_after_ss3:
            k.state = key_plain;
            k.any = true;
            if (b == 'C') ++k.seek;  // the arrows in application mode
            if (b == 'D') --k.seek;
            break;
        }
    }
}

namespace {

std::uint32_t escape_wait(const key_decoder& k) { return k.replies_due > 0 ? reply_escape_ms : lone_escape_ms; }

}  // namespace

void keys_settle(key_decoder& k, std::uint32_t now)
{
    if (k.state == key_plain || now - k.escape_tick < escape_wait(k)) return;
    if (k.state == key_after_escape) k.quit = true;
    k.state = key_plain;
}

int keys_settle_in(const key_decoder& k, std::uint32_t now)
{
    if (k.state == key_plain) return -1;
    const std::uint32_t waited = now - k.escape_tick;
    return waited >= escape_wait(k) ? 0 : static_cast<int>(escape_wait(k) - waited);
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
    if (!make_wake_pipe()) {
        *why = "cannot create a pipe";
        return false;
    }
    const terminal_caps caps = terminal_caps_query(out_fd);
    int color = options.color ? options.color : color_from_colorterm(std::getenv("COLORTERM"));
    if (!options.color && color == 24 && !caps.truecolor) color = 16;
    int columns = 0, rows = 0;
    query_size(columns, rows);
    encoder_init(encoder, options.codepage, color, columns, rows);
    encoder.erase_in_color = caps.erase_in_color;
    stats_file = options.stats;
    recording = options.record;
    if (recording) start_recording(columns, rows);
    if (stats_file) {
        std::setvbuf(stats_file, stats_buffer, _IOFBF, sizeof stats_buffer);
        std::fputs("# frame deadline_ms present_ms bytes music_ms\n", stats_file);
    }

    for (int sig : fatal_signals) set_fatal_handler(sig);
    set_handler(SIGTSTP, on_stop_signal);
    set_handler(SIGCONT, on_continue_signal);
    set_handler(SIGWINCH, on_resize_signal);
    std::signal(SIGPIPE, SIG_IGN);  // a closed terminal shows as EPIPE, handled as a hang-up
    set_fatal_cleanup(give_back_for_good);
    std::atexit(give_back_for_good);
    take_over();

    api = platform_api{term_tick_count, term_wait_for_space, term_escape_down, term_pace,
                       term_present,    music_start,         term_music_time,  term_shutdown,
                       term_take_keys,  music_pause,         music_seek};
    return true;
}
