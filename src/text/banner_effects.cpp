#include "text/banner_effects.h"

#include <cmath>
#include <cstring>

#include "effects/fire.h"
#include "render/ascii_render.h"

double wave_phase = 0.0;

namespace {

constexpr int scroll_columns = 79;  // the scroller leaves column 79 alone; intended

// Copies up to count characters of row into dest, stopping at the row's end
// so that a short row is never read past (the window keeps what it had there).
void copy_row_start(char* dest, const char* row, int count)
{
    for (int c = 0; c < count && row[c]; ++c) dest[c] = row[c];
}

// Turns the first n - 1 characters left by one place; character n - 1 (the
// blank last column of the last glyph) stays, so the period is n - 1.
void rotate_row(char* row, std::size_t n)
{
    if (n < 2) return;
    const char first = row[0];
    std::memmove(row, row + 1, n - 2);
    row[n - 2] = first;
}

}  // namespace

void wave_reset() { wave_phase = 0.0; }

bool advance_window(text_banner& banner, bool rotate)
{
    if (banner.slide_column >= 1) {
        const int count = banner.window_width - banner.slide_column;
        for (int r = 0; r < banner_rows; ++r)
            copy_row_start(&banner.window[r][banner.slide_column], banner.rows[r], count);
        --banner.slide_column;
        return true;
    }
    for (int r = 0; r < banner_rows; ++r) copy_row_start(banner.window[r], banner.rows[r], window_columns);
    if (rotate) {
        const std::size_t n = std::strlen(banner.rows[0]);
        for (char* row : banner.rows) rotate_row(row, n);
        if (n >= 2) banner.turns = (banner.turns + 1) % static_cast<std::int32_t>(n - 1);
    }
    return false;
}

void draw_banner(text_banner& banner, int top, int foreground, int background)
{
    if (advance_window(banner, false)) return;  // nothing is shown while sliding in
    for (int i = 0; i < banner_rows; ++i)
        for (int c = 0; c < window_columns; ++c)
            put_char(top + i, c, static_cast<std::uint8_t>(banner.window[i][c]), foreground, background);
}

void burn_banner(text_banner& banner, std::uint8_t* field, int top, std::uint8_t ink)
{
    if (advance_window(banner, false)) return;  // nothing burns while sliding in
    for (int c = 0; c < window_columns; ++c) {
        for (int r = 0; r < banner_rows; ++r) {
            if (static_cast<std::uint8_t>(banner.window[r][c]) != ink) continue;
            const int text_row = top + r;
            if (text_row < 0 || text_row >= screen_height) continue;  // stay inside the field
            std::uint8_t* block = field + 2 * text_row * fire_width + 3 * c;
            block[0] = block[1] = block[2] = 255;
            block[fire_width] = block[fire_width + 1] = block[fire_width + 2] = 255;
        }
    }
}

void wave_scroll(text_banner& banner, int centre, int divisor, int amplitude, int foreground,
                 int background)
{
    advance_window(banner, true);  // the letters move through the slide-in as well
    wave_phase += 1.0;
    for (int x = 0; x < scroll_columns; ++x) {
        const double wave = std::sin(x * 0.5 / divisor - wave_phase / divisor);
        const int y = static_cast<int>(centre + amplitude * wave);
        for (int r = 0; r < banner_rows; ++r)
            put_char(y + r, x, static_cast<std::uint8_t>(banner.window[r][x]), foreground, background);
    }
}
