#include "host/web/browser.h"

#include <climits>

namespace {

browser_options opts;
std::uint32_t page_tick = 0;        // the page's tick count, as last given
std::int32_t page_music_ms = 0;     // the music time, as last given
bool music_started = false;
std::uint32_t start_tick = 0;       // the page's tick count at the music start
std::uint32_t frames_presented = 0; // since the music start
std::uint32_t frames_passed_over = 0; // frames whose time went by while the page was not drawn
std::int64_t music_shift = 0;       // virtual clock: added to its music time by a seek or a pause
bool music_paused = false;          // the viewer paused the music
std::int32_t paused_ms = 0;         // virtual clock: where its music time stands while paused
std::int32_t seek_asked = -1;       // the music time a seek moved to, until the page takes it
viewer_keys keys;                   // the viewer's keys since the last frame

std::uint16_t glyph_rows[browser_glyph_rows];
std::uint32_t pixels[image_pixels];
screen_cell shown[screen_cells];   // the cells the pixels show
bool anything_shown = false;
int changed_first = image_height;  // pixel rows changed since the page last took them
int changed_end = 0;
std::uint32_t checksums[browser_checksum_capacity];

// Little-endian RGBA, opaque.
constexpr std::uint32_t rgba(int colour)
{
    return 0xFF000000u | std::uint32_t{console_rgb[colour][2]} << 16 | std::uint32_t{console_rgb[colour][1]} << 8 |
           console_rgb[colour][0];
}

constexpr std::uint32_t palette[16] = {rgba(0), rgba(1), rgba(2),  rgba(3),  rgba(4),  rgba(5),  rgba(6),  rgba(7),
                                       rgba(8), rgba(9), rgba(10), rgba(11), rgba(12), rgba(13), rgba(14), rgba(15)};

void draw_cell(int index, screen_cell cell)
{
    const std::uint32_t fg = palette[(cell >> 8) & 15];
    const std::uint32_t bg = palette[cell >> 12];
    const std::uint16_t* rows = glyph_rows + (cell & 0xFF) * cell_pixel_height;
    std::uint32_t* p = pixels + index / screen_width * cell_pixel_height * image_width +
                       index % screen_width * cell_pixel_width;
    for (int y = 0; y < cell_pixel_height; ++y, p += image_width)
        for (int x = 0; x < cell_pixel_width; ++x) p[x] = rows[y] >> (cell_pixel_width - 1 - x) & 1 ? fg : bg;
}

std::uint32_t frame_checksum(const screen_cell* cells)
{
    std::uint32_t h = 2166136261u;
    for (int i = 0; i < screen_cells; ++i) {
        h = (h ^ (cells[i] & 0xFF)) * 16777619u;
        h = (h ^ (cells[i] >> 8)) * 16777619u;
    }
    return h;
}

// Signed distance from b to a on the wrapping tick count.
std::int32_t ticks_after(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }

std::uint32_t browser_tick_count()
{
    return opts.virtual_clock ? frame_ms * frames_presented : page_tick;
}

bool browser_wait_for_space() { return true; }  // the page starts the show itself

bool browser_escape_down() { return false; }  // the page ends the show itself

std::uint32_t browser_pace(std::uint32_t deadline)
{
    if (opts.virtual_clock) return deadline;
    const std::int32_t late = ticks_after(page_tick, deadline);
    if (late <= static_cast<std::int32_t>(browser_catch_up_limit_ms)) return deadline;
    frames_passed_over += static_cast<std::uint32_t>(late) / frame_ms;
    return page_tick;
}

void browser_present(const screen_cell* cells, int, int)
{
    for (int i = 0; i < screen_cells; ++i) {
        if (anything_shown && cells[i] == shown[i]) continue;
        shown[i] = cells[i];
        draw_cell(i, cells[i]);
        const int row = i / screen_width * cell_pixel_height;
        if (row < changed_first) changed_first = row;
        if (row + cell_pixel_height > changed_end) changed_end = row + cell_pixel_height;
    }
    anything_shown = true;
    // The start picture is presented before the music starts; it is not a frame.
    if (!music_started) return;
    if (opts.record_checksums && frames_presented < browser_checksum_capacity)
        checksums[frames_presented] = frame_checksum(cells);
    ++frames_presented;
}

int browser_music_start(const char*)
{
    music_started = true;
    start_tick = page_tick;
    frames_presented = 0;
    return 1;
}

std::int32_t browser_music_time()
{
    if (!opts.virtual_clock) return page_music_ms;
    if (music_paused) return paused_ms;
    const std::int64_t t = static_cast<std::int64_t>(frames_presented) * opts.step_ms + music_shift;
    return t > INT32_MAX ? INT32_MAX : t < 0 ? 0 : static_cast<std::int32_t>(t);
}

void browser_shutdown() {}

viewer_keys browser_take_keys()
{
    const viewer_keys taken = keys;
    keys = viewer_keys{};
    return taken;
}

// The page's sound pauses with the viewer's pause (browser_music_paused);
// the virtual clock stands, and goes on from where it stood.
void browser_music_pause(bool paused)
{
    if (paused == music_paused) return;
    if (paused) paused_ms = browser_music_time();
    music_paused = paused;
    if (!paused) music_shift = paused_ms - static_cast<std::int64_t>(frames_presented) * opts.step_ms;
}

// The next frame reads ms; the page moves its sound there (browser_take_seek).
void browser_music_seek(std::int32_t ms)
{
    if (ms < 0) ms = 0;
    page_music_ms = ms;
    paused_ms = ms;
    music_shift = ms - static_cast<std::int64_t>(frames_presented) * opts.step_ms;
    seek_asked = ms;
}

}  // namespace

platform_api browser_platform(const browser_options& options)
{
    opts = options;
    music_started = false;
    frames_presented = 0;
    frames_passed_over = 0;
    music_shift = 0;
    music_paused = false;
    seek_asked = -1;
    keys = viewer_keys{};
    anything_shown = false;
    changed_first = image_height;
    changed_end = 0;
    return platform_api{browser_tick_count, browser_wait_for_space, browser_escape_down,
                        browser_pace,       browser_present,        browser_music_start,
                        browser_music_time, browser_shutdown,       browser_take_keys,
                        browser_music_pause, browser_music_seek};
}

void browser_set_clocks(std::uint32_t tick, std::int32_t music_ms)
{
    page_tick = tick;
    page_music_ms = music_ms;
}

void browser_key(int key)
{
    keys.any = true;
    if (key == browser_key_pause) keys.pause = true;
    if (key == browser_key_next) ++keys.seek;
    if (key == browser_key_previous) --keys.seek;
}

bool browser_music_paused() { return music_paused; }

std::int32_t browser_take_seek()
{
    const std::int32_t ms = seek_asked;
    seek_asked = -1;
    return ms;
}

bool browser_frame_due(std::uint32_t deadline)
{
    if (!music_started || (opts.frames != 0 && frames_presented >= opts.frames)) return false;
    if (!opts.virtual_clock) return ticks_after(page_tick, deadline) > 0;
    // The virtual frames are paced like the others, and do not race either.
    const std::int32_t late = ticks_after(page_tick, start_tick + frame_ms * frames_presented);
    if (late > static_cast<std::int32_t>(browser_catch_up_limit_ms)) {
        frames_passed_over += static_cast<std::uint32_t>(late) / frame_ms;
        start_tick = page_tick - frame_ms * frames_presented - 1;
    }
    return late > 0;
}

std::uint16_t* browser_glyphs() { return glyph_rows; }

const std::uint32_t* browser_pixels() { return pixels; }

int browser_take_changed_rows(int* first)
{
    *first = changed_first;
    const int count = changed_end > changed_first ? changed_end - changed_first : 0;
    changed_first = image_height;
    changed_end = 0;
    return count;
}

std::uint32_t browser_frames() { return frames_presented; }

std::uint32_t browser_frames_passed_over() { return frames_passed_over; }

const std::uint32_t* browser_checksums() { return checksums; }
