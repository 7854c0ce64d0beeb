// The window host on SDL2 (Unix): a resizable window, or the desktop's own
// mode at full screen, with a renderer that presents at the display's
// refresh (vsync) and one streaming texture the size of the picture on
// screen. A new frame is drawn as --png draws it, scaled once into the
// texture (capture/picture_scale.h) and presented; a frame like the one on
// screen is not drawn again. Everything runs on the show's thread: the
// pacing waits on the window's events, so a key or a resize is seen at once.
#include "platform/window_host.h"

#include <cstdlib>
#include <cstring>

#include "base/monotonic_clock.h"
#include "base/process_exit.h"
#include "capture/cell_font.h"
#include "capture/picture_scale.h"
#include "host/unix/sdl_library.h"
#include "sound/audio_decode.h"
#include "sound/music.h"
#include "terminal/frame_stats.h"

namespace {

constexpr int vga_lines = image_height;
constexpr int min_width = 320, min_height = 240;  // the smallest window, still 4:3

struct window_state {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;  // the picture at its size on screen
    picture_scale scale = scale_fit;
    picture_place place{};           // where the texture goes in the renderer's output
    bool fullscreen = false;
    bool texture_stale = true;       // the texture does not hold the picture: scale it again
    bool have_frame = false;         // shown holds a frame
    bool video_ready = false;        // SDL's video subsystem is up
    bool vsync = false;              // a present waits for the display's refresh (the renderer says so)
    std::int64_t refresh_ns = 0;     // the display's refresh period; 0: unknown (and no vsync then)
    std::int64_t shown_ns = 0;       // when the last present returned: a refresh, with vsync
    std::int64_t paced_ns = 0;       // when the last pace returned
    std::int64_t drawn_ns = 0;       // when the last frame was ready to present
    // From a pace to its frame on screen (with vsync: ready to present), smoothed.
    std::int64_t draw_ns = 0;
};

window_state win;
cell_font font;
picture_scaler scaler;
screen_cell shown[screen_cells];       // the frame on screen
std::uint8_t picture[image_pixels];    // it as colour numbers, 720 x 400
std::uint32_t colours[16];             // the console's colours as the texture stores them

bool space_seen = false;   // SPACE pressed; the taker clears it
bool quit_seen = false;    // ESC, q or the window closed; stays set
viewer_keys viewer_seen;   // pause, seek and any key since the show last took them

frame_stats stats;
bool paced = false;        // stats.deadline holds the deadline the last pace returned
bool music_read = false;   // a frame's scenes have read the music time
char problem[640];         // why there is no window, for window_platform's caller

std::uint32_t window_tick_count() { return static_cast<std::uint32_t>(monotonic_ns() / 1000000); }

// The texture for the renderer's present size, and the picture's place in it.
// Made again only when the size changes (or the renderer lost it).
bool fit_texture()
{
    int width = 0, height = 0;
    if (sdl.GetRendererOutputSize(win.renderer, &width, &height) != 0 || width < 1 || height < 1) return false;
    const picture_place place = place_picture(win.scale, width, height);
    if (win.texture && place.x == win.place.x && place.y == win.place.y && place.width == win.place.width &&
        place.height == win.place.height)
        return true;
    if (win.texture) sdl.DestroyTexture(win.texture);
    win.texture = sdl.CreateTexture(win.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, place.width,
                                    place.height);
    if (!win.texture) return false;
    sdl.SetTextureBlendMode(win.texture, SDL_BLENDMODE_NONE);
    win.place = place;
    scaler_init(scaler, place.width, place.height);
    // A new size may be a move to another display, with a refresh of its own.
    SDL_DisplayMode mode{};
    win.refresh_ns = sdl.GetWindowDisplayMode(win.window, &mode) == 0 && mode.refresh_rate > 0
                         ? 1000000000 / mode.refresh_rate
                         : 0;
    win.texture_stale = true;
    return true;
}

// Puts the picture on screen: scaled into the texture when it changed, the
// rest of the window black. Returns the bytes handed over.
int show_picture()
{
    if (!win.have_frame || !fit_texture()) return 0;
    int bytes = 0;
    if (win.texture_stale) {
        void* pixels = nullptr;
        int pitch = 0;
        if (sdl.LockTexture(win.texture, nullptr, &pixels, &pitch) != 0) return 0;
        scale_picture(scaler, picture, colours, static_cast<std::uint32_t*>(pixels), pitch);
        sdl.UnlockTexture(win.texture);
        win.texture_stale = false;
        bytes = win.place.width * win.place.height * 4;
    }
    const SDL_Rect to{win.place.x, win.place.y, win.place.width, win.place.height};
    sdl.SetRenderDrawColor(win.renderer, 0, 0, 0, 255);
    sdl.RenderClear(win.renderer);
    sdl.RenderCopy(win.renderer, win.texture, nullptr, &to);
    win.drawn_ns = monotonic_ns();
    sdl.RenderPresent(win.renderer);
    win.shown_ns = monotonic_ns();
    return bytes;
}

void set_fullscreen(bool on)
{
    if (sdl.SetWindowFullscreen(win.window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return;
    win.fullscreen = on;
    sdl.ShowCursor(on ? SDL_DISABLE : SDL_ENABLE);
}

bool is_modifier(SDL_Keycode key)
{
    return key == SDLK_LALT || key == SDLK_RALT || key == SDLK_LSHIFT || key == SDLK_RSHIFT || key == SDLK_LCTRL ||
           key == SDLK_RCTRL || key == SDLK_LGUI || key == SDLK_RGUI || key == SDLK_MODE;
}

// The keys as the terminal reads them; F11 and Alt+Enter toggle full screen.
// A held key repeats only the moves.
void take_key(const SDL_KeyboardEvent& key)
{
    const SDL_Keycode k = key.keysym.sym;
    if (k == SDLK_RIGHT || k == SDLK_PAGEDOWN) ++viewer_seen.seek;
    if (k == SDLK_LEFT || k == SDLK_PAGEUP) --viewer_seen.seek;
    if (key.repeat) return;
    const bool enter = k == SDLK_RETURN || k == SDLK_KP_ENTER;
    if (k == SDLK_F11 || (enter && (key.keysym.mod & KMOD_ALT))) {
        set_fullscreen(!win.fullscreen);
        return;
    }
    if (is_modifier(k)) return;
    viewer_seen.any = true;
    if (k == SDLK_SPACE) space_seen = true;
    if (k == SDLK_SPACE || k == SDLK_p) viewer_seen.pause = true;
    if (k == SDLK_ESCAPE || k == SDLK_q) quit_seen = true;
}

// Handles the events waiting: keys, the window closed, resized or uncovered.
void pump_events()
{
    SDL_Event event;
    bool redraw = false;
    while (sdl.PollEvent(&event)) {
        if (event.type == SDL_QUIT) quit_seen = true;
        else if (event.type == SDL_KEYDOWN) take_key(event.key);
        else if (event.type == SDL_WINDOWEVENT)
            redraw = redraw || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
                     event.window.event == SDL_WINDOWEVENT_EXPOSED;
        else if (event.type == SDL_RENDER_DEVICE_RESET) {  // the texture went with the device
            if (win.texture) sdl.DestroyTexture(win.texture);
            win.texture = nullptr;
            redraw = true;
        }
    }
    if (redraw) show_picture();
}

// Waits up to ms for an event, leaving it for pump_events.
void wait_events(int ms) { sdl.WaitEventTimeout(nullptr, ms); }

bool window_wait_for_space()
{
    for (;;) {
        pump_events();
        if (quit_seen) return false;
        if (space_seen) {
            space_seen = false;
            viewer_seen = viewer_keys{};  // the SPACE that starts the show pauses nothing
            return true;
        }
        wait_events(250);
    }
}

bool window_escape_down()
{
    pump_events();
    return quit_seen;
}

viewer_keys window_take_keys()
{
    const viewer_keys taken = viewer_seen;
    viewer_seen = viewer_keys{};
    space_seen = false;
    return taken;
}

// Waits for the first tick past deadline on the window's events, so keys
// and resizes are handled while the frame waits.
std::uint32_t window_pace(std::uint32_t deadline)
{
    for (;;) {
        pump_events();
        const std::int64_t now_ns = monotonic_ns();
        // Signed: "past the deadline" stays right across the tick count's wrap.
        const auto ahead = static_cast<std::int32_t>(deadline - static_cast<std::uint32_t>(now_ns / 1000000));
        if (ahead < 0) break;
        const std::int64_t wait_ns = (now_ns / 1000000 + ahead + 1) * 1000000 - now_ns;
        wait_events(static_cast<int>((wait_ns + 999999) / 1000000));
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
    draw_screen_image(font, shown, picture);
    win.have_frame = true;
    win.texture_stale = true;
    const int bytes = show_picture();
    const std::int64_t now = monotonic_ns();
    const bool refreshes = win.vsync && win.refresh_ns > 0;
    if (bytes > 0 && paced) win.draw_ns += ((refreshes ? win.drawn_ns : now) - win.paced_ns - win.draw_ns) / 8;
    stats_write(stats, bytes, now);
}

// The frame being composed is drawn from the first tick past its deadline,
// as in the terminal, and is on screen as long after that as the last frames
// took to draw (with vsync, at the display's first refresh after that): its
// music time is the one heard then.
std::int32_t window_music_time()
{
    std::int64_t lead_ns = 0;
    if (paced) {
        const std::int64_t now = monotonic_ns();
        lead_ns = frame_lead_ns(stats.deadline, now) + win.draw_ns;
        // Refreshes come at a steady period from the one the last present
        // waited for.
        const std::int64_t after = now + lead_ns - win.shown_ns;
        if (win.vsync && win.refresh_ns > 0 && win.shown_ns > 0 && after > 0)
            lead_ns += (win.refresh_ns - after % win.refresh_ns) % win.refresh_ns;
    }
    stats.music = music_time_ahead(lead_ns);
    music_read = true;
    return stats.music;
}

void close_window()
{
    if (win.texture) sdl.DestroyTexture(win.texture);
    if (win.renderer) sdl.DestroyRenderer(win.renderer);
    if (win.window) sdl.DestroyWindow(win.window);
    win.texture = nullptr;
    win.renderer = nullptr;
    win.window = nullptr;
    if (win.video_ready) sdl.QuitSubSystem(SDL_INIT_VIDEO);
    win.video_ready = false;
}

void window_shutdown()
{
    stats_flush(stats);
    music_shutdown();
    close_window();
}

// True when the renderer is an OpenGL that draws on the processor (Mesa's
// llvmpipe: a virtual X server, a machine without a GPU): for the one copy
// a frame takes it costs twice SDL's own software renderer and misses
// frames, so that one is taken instead.
bool drawn_on_processor(SDL_Renderer* renderer)
{
    SDL_RendererInfo info{};
    if (sdl.GetRendererInfo(renderer, &info) != 0 || (info.flags & SDL_RENDERER_SOFTWARE) ||
        std::strncmp(info.name, "opengl", 6) != 0)
        return false;
    using get_string_fn = const unsigned char* (*)(unsigned);
    constexpr unsigned gl_renderer = 0x1F01;
    const auto get_string = reinterpret_cast<get_string_fn>(sdl.GL_GetProcAddress("glGetString"));
    const char* name = get_string ? reinterpret_cast<const char*>(get_string(gl_renderer)) : nullptr;
    return name && (std::strstr(name, "llvmpipe") || std::strstr(name, "softpipe") ||
                    std::strstr(name, "Software Rasterizer"));
}

// The window's first size: 4:3, as many times 400 lines as fit nine tenths of
// the desktop's height (or nine tenths of it when not even one does).
void first_size(int& width, int& height)
{
    SDL_Rect usable{0, 0, 1024, 768};
    sdl.GetDisplayUsableBounds(0, &usable);
    height = usable.h * 9 / 10 / vga_lines * vga_lines;
    if (height == 0) height = usable.h * 9 / 10;
    if (height < min_height) height = min_height;
    width = (height * 4 + 1) / 3;
}

bool open_window(const window_options& options)
{
    char shown_error[256];
    const char* env_display = std::getenv("DISPLAY");
    const char* env_wayland = std::getenv("WAYLAND_DISPLAY");
#if !defined(__APPLE__)
    if ((!env_display || !*env_display) && (!env_wayland || !*env_wayland)) {
        std::snprintf(problem, sizeof problem, "--window needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set");
        return false;
    }
#endif
    // A focus lost to another screen leaves the show full screen where it is.
    sdl.SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    sdl.SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    // Where the renderer is SDL's software one, its window is drawn with
    // the system's own calls (XShm), not through an OpenGL texture.
    sdl.SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (sdl.InitSubSystem(SDL_INIT_VIDEO) != 0) {
        printable_copy(sdl.GetError(), shown_error, sizeof shown_error);
        std::snprintf(problem, sizeof problem, "--window needs a display: %s", shown_error);
        return false;
    }
    win.video_ready = true;
    int width = 0, height = 0;
    first_size(width, height);
    Uint32 flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (options.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    win.window = sdl.CreateWindow("glimfant", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (win.window) {
        win.renderer = sdl.CreateRenderer(win.window, -1, SDL_RENDERER_PRESENTVSYNC);
        if (win.renderer && drawn_on_processor(win.renderer)) {
            sdl.DestroyRenderer(win.renderer);
            win.renderer = nullptr;
        }
        if (!win.renderer) win.renderer = sdl.CreateRenderer(win.window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_PRESENTVSYNC);
    }
    if (!win.renderer) {
        printable_copy(sdl.GetError(), shown_error, sizeof shown_error);
        std::snprintf(problem, sizeof problem, "cannot open a window: %s", shown_error);
        close_window();
        return false;
    }
    SDL_RendererInfo info{};
    win.vsync = sdl.GetRendererInfo(win.renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    sdl.SetWindowMinimumSize(win.window, min_width, min_height);
    win.fullscreen = options.fullscreen;
    sdl.ShowCursor(win.fullscreen ? SDL_DISABLE : SDL_ENABLE);
    return true;
}

}  // namespace

bool window_platform(platform_api& api, const window_options& options, const char** why)
{
    *why = problem;
    char loading[sizeof problem - 32];
    if (!sdl_load(loading, sizeof loading)) {
        std::snprintf(problem, sizeof problem, "cannot open a window: %s", loading);
        return false;
    }
    if (!font_load(font, options.font_path ? options.font_path : default_font_path, options.codepage, problem,
                   sizeof problem))
        return false;
    for (int c = 0; c < 16; ++c)
        colours[c] = static_cast<std::uint32_t>(console_rgb[c][0]) << 16 |
                     static_cast<std::uint32_t>(console_rgb[c][1]) << 8 | console_rgb[c][2];
    win = window_state{};
    win.scale = static_cast<picture_scale>(options.scale);
    if (!open_window(options)) return false;
    stats_start(stats, options.stats);
    api = platform_api{window_tick_count, window_wait_for_space, window_escape_down, window_pace,
                       window_present,    music_start,           window_music_time,  window_shutdown,
                       window_take_keys,  music_pause,           music_seek};
    return true;
}
