// The window host on Windows: a native window drawn with GDI. A new frame is
// drawn as --png draws it, scaled once (capture/picture_scale.h, the same
// sharp scaling as on Unix) into a 32-bit bitmap the size of the picture on
// screen and handed over with StretchDIBits at one to one; the rest of the
// window is black. Full screen is a borderless window over the whole monitor
// (no mode switch). Pacing waits on a high-resolution timer and the window's
// messages together, so keys and resizes are handled while a frame waits.
// The desktop's compositor shows each frame whole at its refresh.
#include "platform/window_host.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "base/monotonic_clock.h"
#include "base/process_exit.h"
#include "capture/picture_scale.h"
#include "host/windows/window_fonts.h"
#include "sound/music.h"
#include "terminal/frame_stats.h"

namespace {

constexpr int vga_lines = image_height;
constexpr int min_width = 320, min_height = 240;
constexpr DWORD high_resolution_timer = 0x2;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, Windows 10 1803 on
constexpr wchar_t class_name[] = L"glimfant";

struct window_state {
    HWND window = nullptr;
    HANDLE timer = nullptr;
    const cell_font* font = nullptr;
    picture_scale scale = scale_fit;
    picture_place place{};
    std::vector<std::uint32_t> bits;  // the picture at its size on screen; sized on a resize only
    bool bits_stale = true;           // bits do not hold the picture: scale it again
    bool have_frame = false;
    bool fullscreen = false;
    WINDOWPLACEMENT windowed{};       // where the window was before full screen
    std::int64_t paced_ns = 0;        // when the last pace returned
    std::int64_t draw_ns = 0;         // from a pace to its frame on screen, smoothed
};

window_state win;
picture_scaler scaler;
screen_cell shown[screen_cells];
std::uint8_t picture[image_pixels];
std::uint32_t colours[16];  // 0x00RRGGBB: a 32-bit bitmap's blue, green, red bytes

bool space_seen = false;
bool quit_seen = false;
viewer_keys viewer_seen;

frame_stats stats;
bool paced = false;
bool music_read = false;  // a frame's scenes have read the music time

std::uint32_t window_tick_count() { return static_cast<std::uint32_t>(monotonic_ns() / 1000000); }

// The picture's place for the client area, and its bitmap when that moved.
void fit_bits()
{
    RECT client{};
    GetClientRect(win.window, &client);
    const picture_place place = place_picture(win.scale, client.right > 0 ? client.right : 1,
                                              client.bottom > 0 ? client.bottom : 1);
    if (!win.bits.empty() && place.x == win.place.x && place.y == win.place.y && place.width == win.place.width &&
        place.height == win.place.height)
        return;
    win.place = place;
    win.bits.assign(static_cast<std::size_t>(place.width) * place.height, 0);
    scaler_init(scaler, place.width, place.height);
    win.bits_stale = true;
}

// Draws the picture and the black around it; returns the bytes handed over.
int paint(HDC dc)
{
    if (!win.have_frame) return 0;
    fit_bits();
    if (win.bits_stale) {
        scale_picture(scaler, picture, colours, win.bits.data(), win.place.width * 4);
        win.bits_stale = false;
    }
    RECT client{};
    GetClientRect(win.window, &client);
    const picture_place& p = win.place;
    const HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const RECT bars[4] = {{0, 0, client.right, p.y},
                          {0, p.y + p.height, client.right, client.bottom},
                          {0, p.y, p.x, p.y + p.height},
                          {p.x + p.width, p.y, client.right, p.y + p.height}};
    for (const RECT& bar : bars)
        if (bar.right > bar.left && bar.bottom > bar.top) FillRect(dc, &bar, black);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;  // rows top first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    StretchDIBits(dc, p.x, p.y, p.width, p.height, 0, 0, p.width, p.height, win.bits.data(), &info, DIB_RGB_COLORS,
                  SRCCOPY);
    GdiFlush();
    return p.width * p.height * 4;
}

int show_picture()
{
    const HDC dc = GetDC(win.window);
    const int bytes = paint(dc);
    ReleaseDC(win.window, dc);
    return bytes;
}

// Borderless over the whole monitor, or back where the window was.
void set_fullscreen(bool on)
{
    if (on == win.fullscreen) return;
    if (on) {
        win.windowed.length = sizeof win.windowed;
        GetWindowPlacement(win.window, &win.windowed);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(win.window, MONITOR_DEFAULTTONEAREST), &monitor);
        SetWindowLongPtrW(win.window, GWL_STYLE, WS_POPUP | WS_VISIBLE);
        const RECT& r = monitor.rcMonitor;
        SetWindowPos(win.window, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
    } else {
        SetWindowLongPtrW(win.window, GWL_STYLE, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        SetWindowPlacement(win.window, &win.windowed);
        SetWindowPos(win.window, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER);
    }
    win.fullscreen = on;
}

// The keys as the terminal reads them; F11 and Alt+Enter toggle full screen.
// A held key repeats only the moves.
void take_key(WPARAM key, LPARAM flags, bool alt)
{
    if (key == VK_RIGHT || key == VK_NEXT) ++viewer_seen.seek;
    if (key == VK_LEFT || key == VK_PRIOR) --viewer_seen.seek;
    if (flags & (1 << 30)) return;  // a repeat: the key was down already
    if (key == VK_F11 || (key == VK_RETURN && alt)) {
        set_fullscreen(!win.fullscreen);
        return;
    }
    if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN || key == VK_RWIN) return;
    viewer_seen.any = true;
    if (key == VK_SPACE) space_seen = true;
    if (key == VK_SPACE || key == 'P') viewer_seen.pause = true;
    if (key == VK_ESCAPE || key == 'Q') quit_seen = true;
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM w, LPARAM l)
{
    switch (message) {
    case WM_KEYDOWN:
        take_key(w, l, false);
        return 0;
    case WM_SYSKEYDOWN:  // with Alt held; Alt+F4 and the like stay the system's
        if (w == VK_RETURN) {
            take_key(w, l, true);
            return 0;
        }
        break;
    case WM_SYSCHAR:  // Alt+Enter: no beep
        if (w == VK_RETURN) return 0;
        break;
    case WM_CLOSE:  // the show ends; the window goes at shutdown
        quit_seen = true;
        return 0;
    case WM_ERASEBKGND:  // paint draws every pixel
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(window, &ps);
        if (!win.have_frame) FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        else paint(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_SETCURSOR:  // no pointer over the picture at full screen
        if (win.fullscreen && LOWORD(l) == HTCLIENT) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(l)->ptMinTrackSize = POINT{min_width, min_height};
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

void pump_messages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool window_wait_for_space()
{
    for (;;) {
        pump_messages();
        if (quit_seen) return false;
        if (space_seen) {
            space_seen = false;
            viewer_seen = viewer_keys{};
            return true;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    }
}

bool window_escape_down()
{
    pump_messages();
    return quit_seen;
}

viewer_keys window_take_keys()
{
    const viewer_keys taken = viewer_seen;
    viewer_seen = viewer_keys{};
    space_seen = false;
    return taken;
}

std::uint32_t window_pace(std::uint32_t deadline)
{
    for (;;) {
        pump_messages();
        const std::int64_t now_ns = monotonic_ns();
        const auto ahead = static_cast<std::int32_t>(deadline - static_cast<std::uint32_t>(now_ns / 1000000));
        if (ahead < 0) break;
        const std::int64_t wait_ns = (now_ns / 1000000 + ahead + 1) * 1000000 - now_ns;
        LARGE_INTEGER due;
        due.QuadPart = -(wait_ns / 100 > 0 ? wait_ns / 100 : 1);  // relative, 100 ns units
        if (win.timer && SetWaitableTimer(win.timer, &due, 0, nullptr, nullptr, FALSE))
            MsgWaitForMultipleObjects(1, &win.timer, FALSE, INFINITE, QS_ALLINPUT);
        else
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait_ns / 1000000 + 1), QS_ALLINPUT);
    }
    stats_paced(stats, deadline);
    paced = true;
    win.paced_ns = monotonic_ns();
    return deadline;
}

void window_present(const screen_cell* cells, int width, int height)
{
    GLIM_ASSERT(width == screen_width && height == screen_height);
    if (win.have_frame && std::memcmp(shown, cells, sizeof shown) == 0) {
        stats_write(stats, 0, monotonic_ns());  // on screen already
        return;
    }
    // A frame held before any ran (paused at once after SPACE) shows the time the clock holds.
    if (!music_read) stats.music = music_time_ahead(0);
    std::memcpy(shown, cells, sizeof shown);
    draw_screen_image(*win.font, shown, picture);
    win.have_frame = true;
    win.bits_stale = true;
    const int bytes = show_picture();
    const std::int64_t now = monotonic_ns();
    if (paced) win.draw_ns += (now - win.paced_ns - win.draw_ns) / 8;
    stats_write(stats, bytes, now);
}

// As in the terminal, plus the time the last frames took to draw.
std::int32_t window_music_time()
{
    const std::int64_t lead_ns = paced ? frame_lead_ns(stats.deadline, monotonic_ns()) + win.draw_ns : 0;
    stats.music = music_time_ahead(lead_ns);
    music_read = true;
    return stats.music;
}

void window_shutdown()
{
    stats_flush(stats);
    music_shutdown();
    if (win.window) DestroyWindow(win.window);
    win.window = nullptr;
    pump_messages();
}

}  // namespace

bool window_platform(platform_api& api, const window_options& options, const char** why)
{
    if (options.font_path) {
        *why = "--font is not part of the Windows build: its window's glyphs are built in";
        return false;
    }
    win = window_state{};
    win.font = &window_fonts[options.codepage == 850 ? 1 : options.codepage == 865 ? 2 : 0];
    win.scale = static_cast<picture_scale>(options.scale);
    for (int c = 0; c < 16; ++c)
        colours[c] = static_cast<std::uint32_t>(console_rgb[c][0]) << 16 |
                     static_cast<std::uint32_t>(console_rgb[c][1]) << 8 | console_rgb[c][2];
    // Pixels are pixels: no stretching by the system on a screen of high DPI.
    SetProcessDPIAware();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.style = CS_HREDRAW | CS_VREDRAW;
    type.lpfnWndProc = window_procedure;
    type.hInstance = instance;
    type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    type.hbrBackground = nullptr;
    type.lpszClassName = class_name;
    RegisterClassExW(&type);
    // 4:3, as many times 400 lines as fit nine tenths of the work area's height.
    RECT work{0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int height = (work.bottom - work.top) * 9 / 10 / vga_lines * vga_lines;
    if (height == 0) height = (work.bottom - work.top) * 9 / 10;
    if (height < min_height) height = min_height;
    RECT frame{0, 0, (height * 4 + 1) / 3, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    win.window = CreateWindowExW(0, class_name, L"glimfant", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                                 nullptr);
    if (!win.window) {
        *why = "cannot open a window";
        return false;
    }
    win.timer = CreateWaitableTimerExW(nullptr, nullptr, high_resolution_timer, TIMER_ALL_ACCESS);
    if (!win.timer) {
        timeBeginPeriod(1);
        win.timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    ShowWindow(win.window, SW_SHOWNORMAL);
    if (options.fullscreen) set_fullscreen(true);
    SetForegroundWindow(win.window);
    stats_start(stats, options.stats);
    exit_signals_install();
    api = platform_api{window_tick_count, window_wait_for_space, window_escape_down, window_pace,
                       window_present,    music_start,           window_music_time,  window_shutdown,
                       window_take_keys,  music_pause,           music_seek};
    return true;
}
