#include "render/ascii_render.h"

#include <cstdlib>
#include <cstring>

screen_cell screen_buffer[screen_cells];

void clear_screen() { std::memset(screen_buffer, 0, sizeof screen_buffer); }

void put_char(int row, int column, std::uint8_t character, int foreground, int background)
{
    if (row < 0 || row > screen_height - 1 || column < 0 || column > screen_width - 1) return;
    if (character == ' ') return;
    screen_buffer[row * screen_width + column] = make_cell(character, foreground, background);
}

int draw_string(int row, int column, const char* text, int foreground, int background)
{
    if (row < 0 || row > screen_height - 1) return 0;
    const int n = static_cast<int>(std::strlen(text));
    // The last character is never drawn, and the column is not checked: a long
    // run continues on the next row. Callers rely on both.
    for (int i = 0; i < n - 1; ++i) {
        const auto ch = static_cast<std::uint8_t>(text[i]);
        if (ch != ' ')
            screen_buffer[row * screen_width + column + i] = make_cell(ch, foreground, background);
    }
    return n - 1;
}

void draw_line(int x0, int y0, int x1, int y1, std::uint8_t character, int foreground,
               int background)
{
    double s = 0.0;  // columns per row
    if (y1 != y0 && x1 != x0) s = static_cast<double>(x1 - x0) / static_cast<double>(y1 - y0);
    const int dy = std::abs(y1 - y0);
    const int dx = std::abs(x1 - x0);

    if (s == 0.0) {
        if (dy > dx) {
            const int from = y0 < y1 ? y0 : y1;
            const int to = y0 < y1 ? y1 : y0;
            for (int y = from; y <= to; ++y) put_char(y, x0, character, foreground, background);
        } else {
            const int from = x0 < x1 ? x0 : x1;
            const int to = x0 < x1 ? x1 : x0;
            for (int x = from; x <= to; ++x) put_char(y0, x, character, foreground, background);
        }
        return;
    }

    if (dy > dx) {
        if (y0 < y1) {
            for (int y = y0; y <= y1; ++y)
                put_char(y, static_cast<int>(x0 + (y - y0) * s), character, foreground, background);
        } else {
            for (int y = y1; y <= y0; ++y)
                put_char(y, static_cast<int>(x1 + (y - y1) * s), character, foreground, background);
        }
        return;
    }

    // Exact diagonals land here: walked over columns, rows per column g.
    const double g = 1.0 / s;
    if (x0 < x1) {
        for (int x = x0; x <= x1; ++x)
            put_char(static_cast<int>((y0 - x0 * g) + x * g), x, character, foreground, background);
    } else {
        for (int x = x1; x <= x0; ++x)
            put_char(static_cast<int>((y1 - x1 * g) + x * g), x, character, foreground, background);
    }
}
