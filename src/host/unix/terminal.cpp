// The terminal backend on POSIX systems: take-over and give-back, present and
// pace. Its rooms: the key decoder (key_decoder.h) and the input it reads
// (terminal_input.h), the slow link's pacing (link_pacing.h), the job-control
// signals (terminal_signals.h), the live recording (terminal_recording.h)
// and the statistics (frame_stats.h).
#include "platform/terminal_host.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/printable.h"
#include "base/process_exit.h"
#include "base/monotonic_clock.h"
#include "terminal/ansi_encoder.h"
#include "host/unix/console_font.h"
#include "terminal/frame_stats.h"
#include "terminal/key_decoder.h"
#include "terminal/link_pacing.h"
#include "sound/music.h"
#include "terminal/terminal_caps.h"
#include "host/unix/terminal_input.h"
#include "terminal/terminal_recording.h"
#include "host/unix/terminal_signals.h"

namespace {

int key_fd = -1;                 // where keys come from: standard input or /dev/tty
int out_fd = STDOUT_FILENO;      // where frames go
termios saved_modes;             // the terminal's modes as found

std::atomic<bool> taken_over{false};  // give_back has something to give back
std::atomic<bool> writing{false};     // a frame is being written: it may stop mid-sequence

ansi_encoder encoder;
char frame_bytes[ansi_frame_capacity + 8];  // room for a status request after the frame
screen_cell shown[screen_cells];  // the last frame presented, for redraws
bool have_frame = false;
bool message_shown = false;       // the too-small message is on screen
bool resumed = false;             // continued after a stop since the last pace
key_decoder keys;
link_state link;
frame_stats stats;
bool paced = false;               // stats.deadline holds the deadline the last pace returned
bool music_read = false;          // a frame's scenes have read the music time

// A terminal one row short (80 x 24 is the usual default) is asked to grow
// with the window-size request; where it complies it is given its size back
// at the end. One that does not comply shows the size message as before.
bool size_asked = false;         // the request went out with the last take-over
int asked_columns = 0;           // the size asked for: 25 rows of this many columns
char size_back[32];              // the request for the size it had, NUL-terminated

std::uint32_t term_tick_count() { return static_cast<std::uint32_t>(monotonic_ns() / 1000000); }

// write() until done; false when it failed. A frame (a write from the main
// flow) is marked as being written, and ends the process as a hang-up when
// the terminal went away. Safe in a signal handler as no frame.
bool write_all(const char* bytes, std::size_t n, bool frame)
{
    if (frame) writing = true;
    while (n > 0) {
        const ssize_t w = write(out_fd, bytes, n);
        if (w > 0) {
            bytes += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else if (frame && w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{out_fd, POLLOUT, 0};  // someone made the terminal non-blocking
            poll(&p, 1, 100);
        } else if (frame) {
            writing = false;
            signals_hang_up();
        } else {
            return false;
        }
    }
    if (frame) writing = false;
    return true;
}

bool raw_write(const char* text)
{
    recording_write(text, std::strlen(text));
    return write_all(text, std::strlen(text), false);
}

// Asks for the size the terminal had, if it grew as asked and is still so.
void give_size_back()
{
    if (!size_asked) return;
    size_asked = false;
    winsize ws{};
    if (ioctl(out_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_row == screen_height && ws.ws_col == asked_columns)
        raw_write(size_back);
}

// Gives the terminal back: modes, colours, cursor, main screen. Safe in a
// signal handler and at any time; does something only while taken over.
// With wait, answers still due are read first (not in a signal handler);
// then whatever is left of the input is dropped: nothing that came while
// the program had the terminal reaches the shell.
void give_back(bool wait)
{
    if (!taken_over.exchange(false)) return;
    const int saved_errno = errno;
    if (writing.load()) raw_write(ansi_cancel);
    signals_hold_ttou();
    raw_write(encoder_restore(encoder));
    give_size_back();
    if (wait) input_await_answers(key_fd, keys, link);
    tcflush(key_fd, TCIFLUSH);
    link_forget(link);
    keys.replies_due = 0;
    tcsetattr(key_fd, TCSANOW, &saved_modes);
    signals_release_ttou();
    errno = saved_errno;
}

void restore_at_exit(void*) { give_back(false); }

// Writes bytes (room for a status request after them) with the request when
// one is due; returns the count written.
int write_out(char* bytes, int n)
{
    // The recording holds what the terminal shows, not the link's requests:
    // a player that writes it to a terminal would make that one answer.
    recording_write(bytes, static_cast<std::size_t>(n));
    // An answer nobody asked for (another program's, or typed in) that came
    // before this request cannot be its answer: read now, it is counted
    // against the requests already out, or against none, not against this one.
    input_read(key_fd, keys, link);
    const bool ask = link_should_ask(link);
    if (ask) {
        std::memcpy(bytes + n, status_request, status_request_length);
        n += status_request_length;
    }
    write_all(bytes, static_cast<std::size_t>(n), true);
    link_wrote(link, n, ask, monotonic_ns());
    keys.replies_due = link.count;
    return n;
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

void write_takeover()
{
    char bytes[96];
    const char* takeover = encoder_takeover(encoder);
    int n = static_cast<int>(std::strlen(takeover));
    std::memcpy(bytes, takeover, static_cast<std::size_t>(n));
    int columns = 0, rows = 0;
    query_size(columns, rows);
    // xterm's window operation, which goes with the private modes: a VT100 has neither.
    size_asked = rows == screen_height - 1 && columns >= screen_width && encoder.private_modes;
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
    recording_size(columns, rows);
    message_shown = false;
}

// Acts on a stop, continue or resize that came since the last call. With
// draw, the last frame is drawn again at once where the screen was lost
// (the start screen); in the show the next present draws in full.
void handle_signals(bool draw)
{
    if (!signals_pending()) return;
    signals_drain_wake();
    if (signals_take(signal_stop)) {
        // Ctrl-Z: give the terminal back, stop, and on continue take it again.
        give_back(true);
        music_suspend();
        signals_stop_here();
        music_resume();
    }
    if (signals_take(signal_continue)) {
        // Whoever had the terminal meanwhile may have changed anything.
        signals_take(signal_resize);
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
    if (signals_take(signal_resize)) {
        forget_screen();
        if (draw) show();
    }
}

bool term_wait_for_space()
{
    for (;;) {
        handle_signals(true);
        input_read(key_fd, keys, link);
        if (keys.quit) return false;
        if (keys.space) {
            keys.space = false;
            keys.pause = keys.any = false;  // the SPACE that starts the show pauses nothing
            keys.seek = 0;
            return true;
        }
        pollfd p[2] = {{key_fd, POLLIN, 0}, {signals_wake_fd(), POLLIN, 0}};
        const int timeout = keys_settle_in(keys, term_tick_count());
        if (poll(p, 2, timeout) < 0 && errno != EINTR) signals_hang_up();
        if (p[1].revents & POLLIN) signals_drain_wake();
    }
}

// During the show a present follows within a frame and draws in full.
bool term_escape_down()
{
    handle_signals(false);
    input_read(key_fd, keys, link);
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
            pollfd p[2] = {{key_fd, POLLIN, 0}, {signals_wake_fd(), POLLIN, 0}};
            if (poll(p, 2, static_cast<int>((wait_ns + 999999) / 1000000)) > 0 && p[0].revents) input_read(key_fd, keys, link);
            continue;
        }
        const timespec wait{static_cast<time_t>(wait_ns / 1000000000), static_cast<long>(wait_ns % 1000000000)};
        nanosleep(&wait, nullptr);
    }
}

std::uint32_t term_pace(std::uint32_t deadline)
{
    recording_write_due();  // the frame is out: write the file while waiting
    stats_paced(stats, pace_until(deadline));
    paced = true;
    return stats.deadline;
}

void term_present(const screen_cell* cells, int width, int height)
{
    GLIM_ASSERT(width == screen_width && height == screen_height);
    handle_signals(false);
    std::memcpy(shown, cells, sizeof shown);
    have_frame = true;
    // Once ESC is down nothing more is sent: on a slow link the restore then
    // follows what is already on its way.
    // A frame held before any ran (paused at once after SPACE) shows the time the clock holds.
    if (!music_read) stats.music = music_time_ahead(0);
    const std::int64_t now = monotonic_ns();
    if (keys.quit || link_trails(link, now)) {
        stats_write(stats, 0, now);
        return;
    }
    const int bytes = show();
    stats_write(stats, bytes, monotonic_ns());
}

// The music time heard when the frame being composed shows.
std::int32_t term_music_time()
{
    const std::int64_t lead_ns = paced ? frame_lead_ns(stats.deadline, monotonic_ns()) : 0;
    stats.music = music_time_ahead(lead_ns);
    music_read = true;
    return stats.music;
}

void term_shutdown()
{
    give_back(true);
    signals_stop();
    stats_flush(stats);
    music_shutdown();
}

}  // namespace

const char* terminal_refusal(const terminal_options&)
{
    if (terminal_caps_query(STDOUT_FILENO).cursor_moves) return nullptr;
    static char message[200];
    const char* term = std::getenv("TERM");
    std::snprintf(message, sizeof message,
                  "the terminal (TERM=%s) cannot move its cursor: run glimfant in one that can, or with --headless",
                  printable(term ? term : ""));
    return message;
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
    if (!signals_start()) {
        *why = "cannot create a pipe";
        return false;
    }
    const terminal_caps caps = terminal_caps_query(out_fd);
    int color = options.color ? options.color : color_from_colorterm(std::getenv("COLORTERM"));
    if (!options.color && color == 24 && !caps.truecolor) color = 16;
    if (!options.color && !caps.colors) color = 0;  // an entry without colours: the characters only
    int columns = 0, rows = 0;
    query_size(columns, rows);
    encoder_init(encoder, options.codepage, color, columns, rows);
    encoder.erase_in_color = caps.erase_in_color;
    encoder.column_moves = caps.column_moves;
    encoder.row_moves = caps.row_moves;
    encoder.step_moves = caps.step_moves;
    encoder.private_modes = caps.private_modes;
    static glyph_set ascii;
    glyph_set_ascii(ascii);
    if (!caps.utf8) encoder_use_font(encoder, ascii);
    else if (caps.linux_console) encoder_use_font(encoder, console_font_glyphs(out_fd));
    stats_start(stats, options.stats);
    exit_signals_install();
    recording_start(options.record, columns, rows);
    exit_cleanup_add(restore_at_exit, nullptr);  // however the process ends
    if (options.drop_typed_ahead) tcflush(key_fd, TCIFLUSH);
    take_over();

    api = platform_api{term_tick_count, term_wait_for_space, term_escape_down, term_pace,
                       term_present,    music_start,         term_music_time,  term_shutdown,
                       term_take_keys,  music_pause,         music_seek};
    return true;
}
