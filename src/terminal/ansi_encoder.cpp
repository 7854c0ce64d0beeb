#include "terminal/ansi_encoder.h"

#include <cstdio>
#include <cstring>

#include "base/process_exit.h"
#include "render/codepages.h"
#include "render/glyph_fallback.h"

const char ansi_takeover[] = "\x1b[?1049h\x1b[?25l\x1b[?7l";
const char ansi_restore[] = "\x1b[?2026l\x1b[0m\x1b[H\x1b[2J\x1b[?7h\x1b[?25h\x1b[?1049l";
const char ansi_cancel[] = "\x18";
const char ansi_plain_takeover[] = "\x1b[?7l";
const char ansi_plain_restore[] = "\x1b[0m\x1b[H\x1b[2J\x1b[?7h";

namespace {

constexpr char sync_begin[] = "\x1b[?2026h";
constexpr char sync_end[] = "\x1b[?2026l";
constexpr std::uint16_t black_blank = 0x0020;  // the look of an empty black cell
// A cell erased to the terminal's own colours (a clear where erases do not
// take the background colour): a blank with a foreground, so no look equals it.
constexpr std::uint16_t erased_blank = 0x0F20;

// The console numbers its colours blue-green-red, ANSI red-green-blue: console
// 1 (blue) is ANSI 4, console 4 (red) is ANSI 1, console 6 (brown) is ANSI 3.
constexpr int ansi_order[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// The nearest colours of the xterm 256-colour cube and grey ramp to the
// classic palette; indices 0-15 are avoided, as they follow the user's theme.
constexpr int console_256[16] = {16, 18, 28, 30, 88, 90, 100, 250, 244, 21, 46, 51, 196, 201, 226, 231};

// The bytes of one frame as they are built; overflow is a bug.
struct byte_sink {
    char* data;
    int length;
};

void put(byte_sink& s, const char* bytes, int n)
{
    GLIM_ASSERT(s.length + n <= ansi_frame_capacity);
    std::memcpy(s.data + s.length, bytes, static_cast<std::size_t>(n));
    s.length += n;
}

void put_text(byte_sink& s, const char* text) { put(s, text, static_cast<int>(std::strlen(text))); }

// A short escape sequence, built to compare its length with others.
struct sequence {
    char bytes[48];
    int length = 0;
};

void seq_text(sequence& q, const char* text)
{
    while (*text) q.bytes[q.length++] = *text++;
}

void seq_number(sequence& q, int value)
{
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0) q.bytes[q.length++] = digits[--n];
}

int number_length(int value)
{
    int n = 1;
    while (value >= 10) {
        value /= 10;
        ++n;
    }
    return n;
}

// A relative move: CSI n final, with n left out when it is 1.
sequence relative_move(int count, char final)
{
    sequence q;
    seq_text(q, "\x1b[");
    if (count > 1) seq_number(q, count);
    q.bytes[q.length++] = final;
    return q;
}

// A move the terminal lacks: longer than any jump, so never the shortest.
sequence lacking()
{
    sequence q;
    q.length = sizeof q.bytes;
    return q;
}

sequence shorter(const sequence& a, const sequence& b) { return b.length < a.length ? b : a; }

// The cheapest way this encoder knows to put the cursor at terminal (row, column).
sequence cheapest_move(const ansi_encoder& e, int row, int column)
{
    sequence jump;  // CUP, always possible
    seq_text(jump, "\x1b[");
    if (row > 0 || column > 0) seq_number(jump, row + 1);
    if (column > 0) {
        seq_text(jump, ";");
        seq_number(jump, column + 1);
    }
    seq_text(jump, "H");
    if (e.cursor_row < 0) return jump;

    sequence vertical;
    if (row != e.cursor_row) {
        sequence absolute;  // VPA
        seq_text(absolute, "\x1b[");
        seq_number(absolute, row + 1);
        seq_text(absolute, "d");
        const int dr = row - e.cursor_row;
        vertical = shorter(e.step_moves ? relative_move(dr > 0 ? dr : -dr, dr > 0 ? 'B' : 'A') : lacking(),
                           e.row_moves ? absolute : lacking());
    }
    sequence horizontal;
    if (column != e.cursor_column) {
        sequence absolute;  // CHA
        seq_text(absolute, "\x1b[");
        if (column > 0) seq_number(absolute, column + 1);
        seq_text(absolute, "G");
        horizontal = e.column_moves ? absolute : lacking();
        if (column == 0) {
            sequence cr;
            seq_text(cr, "\r");
            horizontal = cr;
        } else if (e.cursor_column >= 0) {
            const int dc = column - e.cursor_column;
            if (dc == -1) {
                sequence bs;
                seq_text(bs, "\b");
                horizontal = bs;
            } else {
                horizontal = shorter(horizontal, e.step_moves ? relative_move(dc > 0 ? dc : -dc, dc > 0 ? 'C' : 'D')
                                                              : lacking());
            }
        }
    }
    if (vertical.length + horizontal.length >= jump.length) return jump;
    sequence both = vertical;
    std::memcpy(both.bytes + both.length, horizontal.bytes, static_cast<std::size_t>(horizontal.length));
    both.length += horizontal.length;
    return both;
}

int look_fg(std::uint16_t look) { return (look >> 8) & 15; }
int look_bg(std::uint16_t look) { return look >> 12; }
bool look_blank(std::uint16_t look) { return (look & 0xFF) == 0x20; }

// Bytes of the SGR that takes the colours from (fg0, bg0) to (fg, bg); fg -1: any.
int sgr_length(const ansi_encoder& e, int fg0, int bg0, int fg, int bg)
{
    if (e.color == 0) return 0;
    const bool f = fg >= 0 && fg != fg0;
    const bool b = bg != bg0;
    if (!f && !b) return 0;
    return 3 + (f ? e.fg_length[fg] : 0) + (b ? e.bg_length[bg] : 0) + (f && b ? 1 : 0);
}

void set_colors(ansi_encoder& e, byte_sink& s, int fg, int bg)
{
    if (e.color == 0) return;  // the terminal's own colours throughout
    const bool f = fg >= 0 && fg != e.sgr_fg;
    const bool b = bg != e.sgr_bg;
    if (!f && !b) return;
    put_text(s, "\x1b[");
    if (f) put(s, e.fg_code[fg], e.fg_length[fg]);
    if (f && b) put_text(s, ";");
    if (b) put(s, e.bg_code[bg], e.bg_length[bg]);
    put_text(s, "m");
    if (f) e.sgr_fg = fg;
    e.sgr_bg = bg;
}

int look_length(const ansi_encoder& e, std::uint16_t look)
{
    return look_blank(look) ? 1 : e.glyph_length[look & 0xFF];
}

// Writes one look at the cursor, which moves one column right; past the
// terminal's last column its place is not known (terminals differ there).
void emit_look(ansi_encoder& e, byte_sink& s, std::uint16_t look)
{
    if (look_blank(look)) {
        set_colors(e, s, -1, look_bg(look));
        put_text(s, " ");
    } else {
        set_colors(e, s, look_fg(look), look_bg(look));
        const int byte = look & 0xFF;
        put(s, reinterpret_cast<const char*>(e.glyph_bytes[byte]), e.glyph_length[byte]);
    }
    ++e.cursor_column;
    if (e.cursor_column >= e.columns) e.cursor_column = -1;
}

// Bytes needed to write the unchanged cells [from, to) of a grid row again,
// or limit + 1 once that is clear to exceed limit.
int rewrite_length(const ansi_encoder& e, int row, int from, int to, int limit)
{
    int fg = e.sgr_fg, bg = e.sgr_bg, cost = 0;
    for (int c = from; c < to && cost <= limit; ++c) {
        const std::uint16_t look = e.front[row * screen_width + c];
        if (look == erased_blank) return limit + 1;  // not a look this encoder can write
        const int want_fg = look_blank(look) ? -1 : look_fg(look);
        cost += sgr_length(e, fg, bg, want_fg, look_bg(look)) + look_length(e, look);
        if (want_fg >= 0) fg = want_fg;
        bg = look_bg(look);
    }
    return cost <= limit ? cost : limit + 1;
}

// Puts the cursor on grid cell (row, column): no bytes when it is there, else
// the cheapest of a jump, relative moves, or writing the unchanged cells
// between the cursor and the target again.
void move_to(ansi_encoder& e, byte_sink& s, int row, int column)
{
    const int tr = e.top + row, tc = e.left + column;
    if (e.cursor_row == tr && e.cursor_column == tc) return;
    const sequence move = cheapest_move(e, tr, tc);
    if (e.cursor_row == tr && e.cursor_column >= e.left && e.cursor_column < tc) {
        const int from = e.cursor_column - e.left;
        if (rewrite_length(e, row, from, column, move.length) < move.length) {
            for (int c = from; c < column; ++c) emit_look(e, s, e.front[row * screen_width + c]);
            return;
        }
    }
    put(s, move.bytes, move.length);
    e.cursor_row = tr;
    e.cursor_column = tc;
}

// Clears the whole terminal to black (and every attribute off) and makes the
// front all black blanks, so a full redraw sends only what is not black.
// Where erases do not take the background the cells are in the terminal's own
// colours, and a full redraw sends every cell.
void clear_terminal(ansi_encoder& e, byte_sink& s)
{
    if (e.color == 0) {
        put_text(s, "\x1b[0m\x1b[2J");
    } else {
        put_text(s, "\x1b[0;");
        put(s, e.bg_code[0], e.bg_length[0]);
        put_text(s, "m\x1b[2J");
    }
    e.sgr_fg = -1;  // the terminal's default foreground, none of ours
    e.sgr_bg = 0;
    e.cursor_row = e.cursor_column = -1;
    for (std::uint16_t& look : e.front) look = e.erase_in_color ? black_blank : erased_blank;
    e.front_valid = true;
}

// A run of blank cells of one background from column c: erased with EL (to
// the line's end) or ECH when that is shorter than writing its changed cells.
// Returns the column after the run, or c when the run is written cell by cell.
int erase_run(ansi_encoder& e, byte_sink& s, int row, int c, const std::uint16_t* want)
{
    if (!e.erase_in_color) return c;  // the erased cells would lose their colour
    const std::uint16_t* front = e.front + row * screen_width;
    int end = c;
    while (end + 1 < screen_width && want[end + 1] == want[c]) ++end;
    int last_changed = c;
    for (int k = c; k <= end; ++k)
        if (want[k] != front[k]) last_changed = k;
    const int bg = look_bg(want[c]);
    const int count = end - c + 1;
    // EL clears to the terminal's right edge: only where that edge is the
    // grid's, or the margin beyond it is black anyway.
    const bool line_end = end == screen_width - 1 && (bg == 0 || e.left + screen_width == e.columns);
    const int erase_cost = line_end ? 3 : 3 + (count > 1 ? number_length(count) : 0);
    const int next_move = end == screen_width - 1 ? 0 : 4;  // the cursor stays at the run's start
    if (erase_cost + next_move >= last_changed - c + 1) return c;

    move_to(e, s, row, c);
    set_colors(e, s, -1, bg);
    if (line_end) {
        put_text(s, "\x1b[K");
    } else {
        sequence q = relative_move(count, 'X');
        put(s, q.bytes, q.length);
    }
    for (int k = c; k <= end; ++k) e.front[row * screen_width + k] = want[c];
    return end + 1;
}

void init_colors(ansi_encoder& e)
{
    for (int c = 0; c < 16; ++c) {
        if (e.color == 0) {
            e.fg_code[c][0] = e.bg_code[c][0] = '\0';
        } else if (e.color == 16) {
            const int a = ansi_order[c & 7];
            std::snprintf(e.fg_code[c], sizeof e.fg_code[c], "%d", (c < 8 ? 30 : 90) + a);
            std::snprintf(e.bg_code[c], sizeof e.bg_code[c], "%d", (c < 8 ? 40 : 100) + a);
        } else if (e.color == 256) {
            std::snprintf(e.fg_code[c], sizeof e.fg_code[c], "38;5;%d", console_256[c]);
            std::snprintf(e.bg_code[c], sizeof e.bg_code[c], "48;5;%d", console_256[c]);
        } else {
            const std::uint8_t* rgb = console_rgb[c];
            std::snprintf(e.fg_code[c], sizeof e.fg_code[c], "38;2;%d;%d;%d", rgb[0], rgb[1], rgb[2]);
            std::snprintf(e.bg_code[c], sizeof e.bg_code[c], "48;2;%d;%d;%d", rgb[0], rgb[1], rgb[2]);
        }
        e.fg_length[c] = static_cast<std::uint8_t>(std::strlen(e.fg_code[c]));
        e.bg_length[c] = static_cast<std::uint8_t>(std::strlen(e.bg_code[c]));
    }
}

// The UTF-8 of code point u (below U+10000) as the bytes sent for byte b.
void set_glyph(ansi_encoder& e, int b, unsigned u)
{
    std::uint8_t* out = e.glyph_bytes[b];
    if (u < 0x80) {
        out[0] = static_cast<std::uint8_t>(u);
        e.glyph_length[b] = 1;
    } else if (u < 0x800) {
        out[0] = static_cast<std::uint8_t>(0xC0 | (u >> 6));
        out[1] = static_cast<std::uint8_t>(0x80 | (u & 0x3F));
        e.glyph_length[b] = 2;
    } else {
        out[0] = static_cast<std::uint8_t>(0xE0 | (u >> 12));
        out[1] = static_cast<std::uint8_t>(0x80 | ((u >> 6) & 0x3F));
        out[2] = static_cast<std::uint8_t>(0x80 | (u & 0x3F));
        e.glyph_length[b] = 3;
    }
}

}  // namespace

void encoder_init(ansi_encoder& e, int codepage, int color, int columns, int rows)
{
    const std::uint16_t* table = codepage_table(codepage);
    GLIM_ASSERT(table != nullptr);
    GLIM_ASSERT(color == 0 || color == 16 || color == 256 || color == 24);
    e.codepage = codepage;
    for (int b = 0; b < 256; ++b) {
        const unsigned u = table[b];
        set_glyph(e, b, u);
        e.blank[b] = u == 0x20 || u == 0xA0;
        e.full_block[b] = u == 0x2588;
    }
    e.color = color;
    e.erase_in_color = true;
    e.column_moves = e.row_moves = e.step_moves = e.private_modes = true;
    init_colors(e);
    e.sgr_fg = e.sgr_bg = -1;
    encoder_resize(e, columns, rows);
}

const char* encoder_takeover(const ansi_encoder& e) { return e.private_modes ? ansi_takeover : ansi_plain_takeover; }

const char* encoder_restore(const ansi_encoder& e) { return e.private_modes ? ansi_restore : ansi_plain_restore; }

void encoder_use_font(ansi_encoder& e, const glyph_set& font)
{
    const std::uint16_t* table = codepage_table(e.codepage);
    for (int b = 0; b < 256; ++b) set_glyph(e, b, glyph_stand_in(table[b], font));
}

void encoder_resize(ansi_encoder& e, int columns, int rows)
{
    e.columns = columns;
    e.rows = rows;
    e.left = columns > screen_width ? (columns - screen_width) / 2 : 0;
    e.top = rows > screen_height ? (rows - screen_height) / 2 : 0;
    e.front_valid = false;
    e.cursor_row = e.cursor_column = -1;
}

bool encoder_fits(const ansi_encoder& e) { return e.columns >= screen_width && e.rows >= screen_height; }

std::uint16_t cell_look(const ansi_encoder& e, screen_cell cell)
{
    const int byte = cell & 0xFF, fg = (cell >> 8) & 15, bg = cell >> 12;
    if (e.color == 0) return e.blank[byte] || fg == bg ? black_blank : static_cast<std::uint16_t>(0x0700 | byte);
    if (e.blank[byte] || fg == bg) return static_cast<std::uint16_t>(bg << 12 | 0x20);
    if (e.full_block[byte]) return static_cast<std::uint16_t>(fg << 12 | 0x20);
    return cell;
}

int encode_frame(ansi_encoder& e, const screen_cell* cells, char* out)
{
    GLIM_ASSERT(encoder_fits(e));
    byte_sink s{out, 0};
    if (e.private_modes) put_text(s, sync_begin);
    if (!e.front_valid) clear_terminal(e, s);
    std::uint16_t want[screen_width];
    for (int row = 0; row < screen_height; ++row) {
        const std::uint16_t* front = e.front + row * screen_width;
        for (int c = 0; c < screen_width; ++c) want[c] = cell_look(e, cells[row * screen_width + c]);
        int c = 0;
        while (c < screen_width) {
            if (want[c] == front[c]) {
                ++c;
                continue;
            }
            if (look_blank(want[c])) {
                const int next = erase_run(e, s, row, c, want);
                if (next != c) {
                    c = next;
                    continue;
                }
            }
            move_to(e, s, row, c);
            emit_look(e, s, want[c]);
            e.front[row * screen_width + c] = want[c];
            ++c;
        }
    }
    if (e.private_modes) put_text(s, sync_end);
    return s.length;
}

int encode_size_message(ansi_encoder& e, char* out)
{
    byte_sink s{out, 0};
    if (e.private_modes) put_text(s, sync_begin);
    clear_terminal(e, s);
    char lines[2][64];
    std::snprintf(lines[0], sizeof lines[0], "glimfant needs a terminal of %d x %d", screen_width,
                  screen_height);
    std::snprintf(lines[1], sizeof lines[1], "this one is %d x %d", e.columns, e.rows);
    const int count = e.rows >= 2 ? 2 : 1;
    const int first_row = (e.rows - count) / 2;
    for (int i = 0; i < count; ++i) {
        int length = static_cast<int>(std::strlen(lines[i]));
        if (length > e.columns) length = e.columns;
        sequence jump;
        seq_text(jump, "\x1b[");
        seq_number(jump, first_row + i + 1);
        seq_text(jump, ";");
        seq_number(jump, (e.columns - length) / 2 + 1);
        seq_text(jump, "H");
        put(s, jump.bytes, jump.length);
        set_colors(e, s, 7, 0);
        put(s, lines[i], length);
    }
    if (e.private_modes) put_text(s, sync_end);
    e.front_valid = false;  // the grid is not on screen
    e.cursor_row = e.cursor_column = -1;
    return s.length;
}

int color_from_colorterm(const char* colorterm)
{
    if (colorterm && (!std::strcmp(colorterm, "truecolor") || !std::strcmp(colorterm, "24bit")))
        return 24;
    return 16;
}
