// The Windows console backend: a console screen buffer of the program's own,
// 80 x 25 and made active for the run, frames written as cells with
// WriteConsoleOutputA, keys from the console's input events, pacing on the
// performance counter with a high-resolution waitable timer. The user's
// buffer, input modes and code page are given back on every way out.
//
// Cells rather than VT sequences: a screen_cell already is the console's own
// cell (a code-page byte and an attribute in the console's colour numbering),
// so a frame is one call with no translation, on every Windows version and in
// every console host (VT output needs Windows 10 and a host that parses it);
// the console shows the bytes in its own code page and palette.
#include "platform/terminal_host.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/process_exit.h"
#include "base/monotonic_clock.h"
#include "terminal/frame_stats.h"
#include "sound/music.h"

namespace {

HANDLE console_out = INVALID_HANDLE_VALUE;  // the buffer made for the show; never closed
HANDLE user_out = INVALID_HANDLE_VALUE;     // the buffer that was active before
HANDLE console_in = INVALID_HANDLE_VALUE;   // the console's input
DWORD saved_input_mode = 0;
UINT saved_output_cp = 0;
HANDLE pace_timer = nullptr;   // waitable timer for the frame pacing
// Windows 10 1803 and later; older headers do not name it yet.
constexpr DWORD high_resolution_timer = 0x2;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION

std::atomic<bool> taken_over{false};  // restore_console has something to give back
CHAR_INFO output_cells[screen_cells];  // reused by every present
bool space_seen = false;               // SPACE pressed; the taker clears it
bool quit_seen = false;                // ESC or q pressed; stays set
viewer_keys viewer_seen;               // pause, seek and any key since the show last took them

frame_stats stats;
bool music_read = false;  // a frame's scenes have read the music time

std::uint32_t console_tick_count() { return static_cast<std::uint32_t>(monotonic_ns() / 1000000); }

// Gives the console back: the user's buffer active again, input modes and
// code page as found. Safe from the control handler's thread and at any time;
// does something only while taken over.
void restore_console()
{
    if (!taken_over.exchange(false)) return;
    SetConsoleActiveScreenBuffer(user_out);
    SetConsoleMode(console_in, saved_input_mode);
    if (saved_output_cp != 0) SetConsoleOutputCP(saved_output_cp);
}

void restore_at_exit(void*) { restore_console(); }

// The window cannot be larger than the buffer: shrink it first where needed,
// then size the buffer, then the window. Each step may be refused (a
// maximised or full-screen window, a host that sizes itself); the show then
// runs in whatever the console gives.
void size_console()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(console_out, &info)) {
        SMALL_RECT window = info.srWindow;
        const SHORT w = static_cast<SHORT>(window.Right - window.Left + 1);
        const SHORT h = static_cast<SHORT>(window.Bottom - window.Top + 1);
        if (w > screen_width || h > screen_height) {
            SMALL_RECT smaller{0, 0, static_cast<SHORT>((w < screen_width ? w : screen_width) - 1),
                               static_cast<SHORT>((h < screen_height ? h : screen_height) - 1)};
            SetConsoleWindowInfo(console_out, TRUE, &smaller);
        }
    }
    SetConsoleScreenBufferSize(console_out, COORD{screen_width, screen_height});
    SMALL_RECT full{0, 0, screen_width - 1, screen_height - 1};
    SetConsoleWindowInfo(console_out, TRUE, &full);
}

// Reads the input events waiting, without blocking.
void read_keys()
{
    DWORD waiting = 0;
    while (GetNumberOfConsoleInputEvents(console_in, &waiting) && waiting > 0) {
        INPUT_RECORD events[32];
        DWORD n = 0;
        if (!ReadConsoleInputA(console_in, events, 32, &n) || n == 0) return;
        for (DWORD i = 0; i < n; ++i) {
            if (events[i].EventType != KEY_EVENT || !events[i].Event.KeyEvent.bKeyDown) continue;
            const KEY_EVENT_RECORD& key = events[i].Event.KeyEvent;
            if (key.wVirtualKeyCode == VK_SPACE) space_seen = true;
            if (key.wVirtualKeyCode == VK_ESCAPE || key.uChar.AsciiChar == 'q') quit_seen = true;
            viewer_seen.any = true;
            const WORD v = key.wVirtualKeyCode;
            if (v == VK_SPACE || v == 'P') viewer_seen.pause = true;
            if (v == VK_RIGHT || v == VK_NEXT) ++viewer_seen.seek;
            if (v == VK_LEFT || v == VK_PRIOR) --viewer_seen.seek;
        }
    }
}

bool console_wait_for_space()
{
    for (;;) {
        read_keys();
        if (quit_seen) return false;
        if (space_seen) {
            space_seen = false;
            viewer_seen = viewer_keys{};  // the SPACE that starts the show pauses nothing
            return true;
        }
        // Sleeps until the console has input; a failed wait (the console
        // gone) would otherwise spin, so it ends the wait as a quit.
        if (WaitForSingleObject(console_in, INFINITE) != WAIT_OBJECT_0) return false;
    }
}

// Keys are read while the frame waits (sleep_ns), so that a frame asks the
// console nothing more when there was no key.
bool console_escape_down() { return quit_seen; }

// The keys the pacing wait has read.
viewer_keys console_take_keys()
{
    const viewer_keys taken = viewer_seen;
    viewer_seen = viewer_keys{};
    space_seen = false;
    return taken;
}

// Sleeps about ns nanoseconds, reading keys that come meanwhile: the
// high-resolution timer where there is one, else a plain timer with the
// system tick set to 1 ms at start-up.
void sleep_ns(std::int64_t ns)
{
    LARGE_INTEGER due;
    due.QuadPart = -(ns / 100 > 0 ? ns / 100 : 1);  // relative, 100 ns units
    if (!pace_timer || !SetWaitableTimer(pace_timer, &due, 0, nullptr, nullptr, FALSE)) {
        Sleep(static_cast<DWORD>(ns / 1000000 + 1));
        read_keys();
        return;
    }
    const HANDLE both[2] = {pace_timer, console_in};
    for (;;) {
        const DWORD woke = WaitForMultipleObjects(2, both, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) return;
        if (woke == WAIT_OBJECT_0 + 1) {
            read_keys();
            if (WaitForSingleObject(console_in, 0) != WAIT_OBJECT_0) continue;
        }
        // A console that stays signalled with nothing left to read, or a
        // wait that fails, would make this a busy wait: the rest of it is
        // on the timer alone.
        WaitForSingleObject(pace_timer, INFINITE);
        return;
    }
}

std::uint32_t console_pace(std::uint32_t deadline)
{
    // A frame that is late waits for nothing: its keys are read here.
    bool waited = false;
    for (;;) {
        const std::int64_t now_ms = monotonic_ns() / 1000000;
        // Signed difference: "past the deadline" stays right across the wrap.
        const auto ahead = static_cast<std::int32_t>(deadline - static_cast<std::uint32_t>(now_ms));
        if (ahead < 0) break;
        const std::int64_t wait_ns = (now_ms + ahead + 1) * 1000000 - monotonic_ns();
        if (wait_ns > 0) {
            sleep_ns(wait_ns);
            waited = true;
        }
    }
    if (!waited) read_keys();
    stats_paced(stats, deadline);
    return deadline;
}

void console_present(const screen_cell* cells, int width, int height)
{
    GLIM_ASSERT(width == screen_width && height == screen_height);
    for (int i = 0; i < screen_cells; ++i) {
        // Character 0 is an empty cell; a console shows it blank, but not
        // every host does (wine's terminal host prints '?'), so it goes as a space.
        const unsigned ch = cells[i] & 0xFFu;
        output_cells[i].Char.AsciiChar = static_cast<CHAR>(ch == 0 ? ' ' : ch);
        output_cells[i].Attributes = static_cast<WORD>(cells[i] >> 8);
    }
    SMALL_RECT region{0, 0, screen_width - 1, screen_height - 1};
    WriteConsoleOutputA(console_out, output_cells, COORD{screen_width, screen_height}, COORD{0, 0}, &region);
    // A frame held before any ran (paused at once after SPACE) shows the time the clock holds.
    if (!music_read) stats.music = music_time();
    stats_write(stats, static_cast<int>(sizeof output_cells), monotonic_ns());  // the bytes handed to the console
}

std::int32_t console_music_time()
{
    stats.music = music_time();
    music_read = true;
    return stats.music;
}

void console_shutdown()
{
    restore_console();
    stats_flush(stats);
    music_shutdown();
}

}  // namespace

// The console takes cells in its own sixteen colours (WriteConsoleOutputA);
// there is no colour mode to choose.
const char* terminal_refusal(const terminal_options& options)
{
    return options.color ? "option --color has no effect in the Windows console, which shows its own sixteen colours"
                         : nullptr;
}

bool terminal_platform(platform_api& api, const terminal_options& options, const char** why)
{
    // The console gets cells, not a byte stream to record: refused, rather than
    // a recording with nothing in it (the caller then removes its file).
    if (options.record) {
        *why = "the Windows console cannot be recorded live; use --headless --record";
        return false;
    }
    console_in = GetStdHandle(STD_INPUT_HANDLE);
    user_out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!GetConsoleMode(console_in, &saved_input_mode)) {
        // Standard input redirected: the console's own input, as /dev/tty on Unix.
        console_in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        if (console_in == INVALID_HANDLE_VALUE || !GetConsoleMode(console_in, &saved_input_mode)) {
            *why = "cannot read the keyboard: no console";
            return false;
        }
    }
    console_out = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr, CONSOLE_TEXTMODE_BUFFER,
                                            nullptr);
    if (console_out == INVALID_HANDLE_VALUE) {
        *why = "cannot create a console screen buffer";
        return false;
    }
    // Windows 10 1803 and later: a timer that wakes within a fraction of a
    // millisecond. Elsewhere a plain timer at a 1 ms system tick.
    pace_timer = CreateWaitableTimerExW(nullptr, nullptr, high_resolution_timer, TIMER_ALL_ACCESS);
    if (!pace_timer) {
        timeBeginPeriod(1);
        pace_timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    stats_start(stats, options.stats);

    // Ctrl-C, Ctrl-Break, a closed window, a crash: the console is given back.
    exit_signals_install();
    exit_cleanup_add(restore_at_exit, nullptr);

    taken_over = true;
    // The character bytes are shown in the console's code page: the one asked for.
    saved_output_cp = GetConsoleOutputCP();
    if (!SetConsoleOutputCP(static_cast<UINT>(options.codepage))) saved_output_cp = 0;
    // Keys one at a time without echo; processed input stays, so Ctrl-C comes
    // to the handler; quick edit goes, or a click would freeze the output.
    SetConsoleMode(console_in, ENABLE_PROCESSED_INPUT | ENABLE_EXTENDED_FLAGS);
    if (options.drop_typed_ahead) FlushConsoleInputBuffer(console_in);
    size_console();
    const CONSOLE_CURSOR_INFO hidden{1, FALSE};
    SetConsoleCursorInfo(console_out, &hidden);
    SetConsoleActiveScreenBuffer(console_out);

    api = platform_api{console_tick_count, console_wait_for_space, console_escape_down, console_pace,
                       console_present,    music_start,            console_music_time,  console_shutdown,
                       console_take_keys,  music_pause,            music_seek};
    return true;
}
