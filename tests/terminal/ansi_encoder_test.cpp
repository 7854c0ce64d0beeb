// The encoder's exact bytes at the points that are easy to get wrong: colour
// order, code pages, blanks, cursor moves, and what an unchanged frame costs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "terminal/ansi_encoder.h"
#include "render/codepages.h"
#include "render/glyph_fallback.h"

namespace {

ansi_encoder encoder;
char bytes[ansi_frame_capacity];
screen_cell cells[screen_cells];

const std::string clear16 = "\x1b[?2026h\x1b[0;40m\x1b[2J";
const std::string end = "\x1b[?2026l";

std::string encode() { return std::string(bytes, static_cast<std::size_t>(encode_frame(encoder, cells, bytes))); }

void start(int codepage = 437, int color = 16, int columns = 80, int rows = 25)
{
    encoder_init(encoder, codepage, color, columns, rows);
    for (screen_cell& c : cells) c = 0;
}

std::string glyph(int codepage, int byte)
{
    encoder_init(encoder, codepage, 16, 80, 25);
    return std::string(reinterpret_cast<const char*>(encoder.glyph_bytes[byte]), encoder.glyph_length[byte]);
}

TEST(ansi_encoder, a_black_frame_is_a_clear_and_nothing_else)
{
    start();
    EXPECT_EQ(encode(), clear16 + end);
    EXPECT_EQ(encode(), "\x1b[?2026h" + end);  // unchanged: only the empty update
}

TEST(ansi_encoder, console_colours_map_to_ansi_order)
{
    start();
    cells[0] = make_cell('A', 14, 1);  // yellow on blue: 0x1E
    EXPECT_EQ(encode(), clear16 + "\x1b[H\x1b[93;44mA" + end);
    const int fg16[16] = {30, 34, 32, 36, 31, 35, 33, 37, 90, 94, 92, 96, 91, 95, 93, 97};
    for (int c = 0; c < 16; ++c) {
        EXPECT_EQ(std::string(encoder.fg_code[c]), std::to_string(fg16[c])) << "colour " << c;
        EXPECT_EQ(std::string(encoder.bg_code[c]), std::to_string(fg16[c] + 10)) << "colour " << c;
    }
}

TEST(ansi_encoder, truecolor_uses_the_classic_palette_and_256_the_nearest_cube_colours)
{
    start(437, 24);
    EXPECT_STREQ(encoder.fg_code[6], "38;2;128;128;0");     // brown
    EXPECT_STREQ(encoder.bg_code[7], "48;2;192;192;192");   // light grey
    EXPECT_STREQ(encoder.fg_code[9], "38;2;0;0;255");       // light blue
    start(437, 256);
    EXPECT_STREQ(encoder.fg_code[8], "38;5;244");           // dark grey
    EXPECT_STREQ(encoder.bg_code[0], "48;5;16");            // black, not the theme's colour 0
    EXPECT_EQ(color_from_colorterm("truecolor"), 24);
    EXPECT_EQ(color_from_colorterm("24bit"), 24);
    EXPECT_EQ(color_from_colorterm("yes"), 16);
    EXPECT_EQ(color_from_colorterm(nullptr), 16);
}

TEST(ansi_encoder, code_pages_differ_where_they_should)
{
    EXPECT_EQ(glyph(437, 0x01), "\u263A");  // the console's smiley, not a control code
    EXPECT_EQ(glyph(437, 0x7F), "\u2302");
    EXPECT_EQ(glyph(437, 0x9B), "\u00A2");
    EXPECT_EQ(glyph(850, 0x9B), "\u00F8");
    EXPECT_EQ(glyph(865, 0x9B), "\u00F8");
    EXPECT_EQ(glyph(437, 0xAF), "\u00BB");
    EXPECT_EQ(glyph(865, 0xAF), "\u00A4");
    EXPECT_EQ(glyph(437, 0xD5), "\u2552");
    EXPECT_EQ(glyph(850, 0xD5), "\u0131");
    EXPECT_EQ(glyph(437, 0xB0), "\u2591");
    EXPECT_EQ(glyph(437, 'O'), "O");
    EXPECT_EQ(codepage_table(1252), nullptr);
}

TEST(ansi_encoder, blank_bytes_and_invisible_glyphs_look_like_spaces_in_their_background)
{
    start();
    EXPECT_EQ(cell_look(encoder, make_cell(0, 14, 1)), cell_look(encoder, make_cell(' ', 3, 1)));
    EXPECT_EQ(cell_look(encoder, make_cell(0xFF, 14, 1)), cell_look(encoder, make_cell(' ', 0, 1)));  // no-break space
    EXPECT_EQ(cell_look(encoder, make_cell('#', 4, 4)), cell_look(encoder, make_cell(' ', 0, 4)));
    EXPECT_EQ(cell_look(encoder, make_cell(0xDB, 12, 0)), cell_look(encoder, make_cell(' ', 0, 12)));  // full block
    EXPECT_NE(cell_look(encoder, make_cell('#', 4, 0)), cell_look(encoder, make_cell('#', 12, 0)));

    cells[0] = make_cell(0, 15, 1);       // a blank on blue keeps the foreground as it is
    cells[1] = make_cell(0xDB, 1, 7);     // a blue full block on grey: a space on blue
    cells[2] = make_cell('x', 15, 1);
    EXPECT_EQ(encode(), clear16 + "\x1b[H\x1b[44m  \x1b[97mx" + end);
}

TEST(ansi_encoder, colours_change_only_in_the_parts_that_change)
{
    start();
    cells[0] = make_cell('a', 7, 0);
    cells[1] = make_cell('b', 12, 0);
    cells[2] = make_cell('c', 12, 2);
    cells[3] = make_cell('d', 1, 4);
    EXPECT_EQ(encode(), clear16 + "\x1b[H\x1b[37ma\x1b[91mb\x1b[42mc\x1b[34;41md" + end);
}

TEST(ansi_encoder, the_cursor_moves_the_cheapest_way)
{
    start();
    encode();
    cells[0] = make_cell('a', 7, 0);
    cells[2] = make_cell('b', 7, 0);               // one unchanged blank between: write it again
    cells[30] = make_cell('c', 7, 0);              // a gap: to the column
    cells[screen_width] = make_cell('d', 7, 0);    // next row, column 0: a short jump
    cells[screen_width + 1] = make_cell('e', 7, 0);
    cells[24 * screen_width + 79] = make_cell('f', 7, 0);  // far away: a jump
    EXPECT_EQ(encode(), "\x1b[?2026h\x1b[H\x1b[37ma b\x1b[31Gc\x1b[2Hde\x1b[25;80Hf" + end);
    cells[24 * screen_width + 78] = make_cell('g', 7, 0);  // after the last column the place is not known
    EXPECT_EQ(encode(), "\x1b[?2026h\x1b[79Gg" + end);
}

TEST(ansi_encoder, blank_runs_are_erased_to_the_line_end_or_by_count)
{
    start();
    for (int c = 0; c < screen_width; ++c) cells[c] = make_cell('x', 7, 0);
    encode();
    for (int c = 10; c < screen_width; ++c) cells[c] = 0;
    EXPECT_EQ(encode(), "\x1b[?2026h\x1b[11G\x1b[K" + end);
    for (int c = 0; c < screen_width; ++c) cells[screen_width + c] = make_cell('y', 7, 0);
    encode();
    for (int c = 20; c < 60; ++c) cells[screen_width + c] = make_cell(' ', 0, 2);
    EXPECT_EQ(encode(), "\x1b[?2026h\x1b[21G\x1b[42m\x1b[40X" + end);
}

TEST(ansi_encoder, a_larger_terminal_gets_the_grid_centred)
{
    start(437, 16, 100, 30);
    cells[0] = make_cell('a', 7, 0);
    EXPECT_EQ(encode(), clear16 + "\x1b[3;11H\x1b[37ma" + end);
    cells[79] = make_cell('b', 7, 0);
    cells[159] = make_cell('c', 7, 0);
    // The grid's right edge is not the terminal's: the cursor is known after column 79.
    EXPECT_EQ(encode(), "\x1b[?2026h\x1b[90Gb\x1b[B\bc" + end);
}

TEST(ansi_encoder, a_small_terminal_gets_the_size_message_and_then_a_full_redraw)
{
    start(437, 16, 60, 20);
    EXPECT_FALSE(encoder_fits(encoder));
    const std::string message(bytes, static_cast<std::size_t>(encode_size_message(encoder, bytes)));
    EXPECT_NE(message.find("\x1b[10;13H\x1b[37mglimfant needs a terminal of 80 x 25"), std::string::npos);
    EXPECT_NE(message.find("\x1b[11;21Hthis one is 60 x 20"), std::string::npos);
    EXPECT_EQ(message.rfind(end), message.size() - end.size());
    encoder_resize(encoder, 80, 25);
    EXPECT_TRUE(encoder_fits(encoder));
    EXPECT_EQ(encode(), "\x1b[?2026h\x1b[0;40m\x1b[2J" + end);
    start(437, 16, 12, 1);
    const std::string narrow(bytes, static_cast<std::size_t>(encode_size_message(encoder, bytes)));
    EXPECT_NE(narrow.find("\x1b[1;1H\x1b[37mglimfant nee\x1b[?2026l"), std::string::npos);
}

TEST(ansi_encoder, the_worst_frames_fit_the_buffer)
{
    std::mt19937 gen(7);
    start(437, 24, 65535, 65535);
    for (int k = 0; k < 4; ++k) {
        // Every other cell changes, in fresh colours each time: a move and a full SGR a cell.
        for (int i = 0; i < screen_cells; ++i)
            if ((i + k) % 2 == 0) cells[i] = static_cast<screen_cell>((gen() & 0xFF00) | 0xB0);
        EXPECT_LT(encode_frame(encoder, cells, bytes), ansi_frame_capacity);
    }
}

// A VT100 in the C locale, as far as the encoder may drive one: CUP, CUU,
// CUD, CUF, CUB, CR, BS, EL, ED, SGR 0, auto-wrap off and on, and printable
// ASCII. Anything else is an error, and the screen shows characters only.
struct vt100 {
    char screen[screen_height][screen_width];
    int row = 0, column = 0;
    std::string error;

    vt100() { std::memset(screen, ' ', sizeof screen); }

    void feed(const std::string& bytes)
    {
        for (std::size_t i = 0; i < bytes.size() && error.empty(); ++i) {
            const unsigned char b = static_cast<unsigned char>(bytes[i]);
            if (b == '\r') column = 0;
            else if (b == '\b') column = column > 0 ? column - 1 : 0;
            else if (b >= 0x20 && b < 0x7F) {
                screen[row][column] = static_cast<char>(b);
                if (column < screen_width - 1) ++column;  // auto-wrap is off
            } else if (b == 0x1B && i + 1 < bytes.size() && bytes[i + 1] == '[') {
                std::size_t end = i + 2;
                while (end < bytes.size() && (bytes[end] < 0x40 || bytes[end] > 0x7E)) ++end;
                csi(bytes.substr(i + 2, end - i - 2), end < bytes.size() ? bytes[end] : '?');
                i = end;
            } else {
                error = "byte " + std::to_string(b);
            }
        }
    }

    void csi(const std::string& parameters, char final)
    {
        int a = 0, b = 0, *n = &a;
        for (char c : parameters) {
            if (c == ';') n = &b;
            else if (c >= '0' && c <= '9') *n = *n * 10 + (c - '0');
            else if (!(c == '?' && parameters == "?7")) error = "CSI " + parameters + final;
        }
        const int count = a ? a : 1;
        switch (final) {
        case 'H': row = (a ? a : 1) - 1; column = (b ? b : 1) - 1; break;
        case 'A': row -= count; break;
        case 'B': row += count; break;
        case 'C': column += count; break;
        case 'D': column -= count; break;
        case 'K': std::memset(&screen[row][column], ' ', static_cast<std::size_t>(screen_width - column)); break;
        case 'J': if (a == 2) std::memset(screen, ' ', sizeof screen); else error = "CSI J"; break;
        case 'm': if (a != 0) error = "SGR " + parameters; break;
        case 'h': case 'l': if (parameters != "?7") error = "CSI " + parameters + final; break;
        default: error = std::string("CSI final ") + final;
        }
        if (row < 0 || row >= screen_height || column < 0 || column >= screen_width) error = "off the screen";
    }
};

TEST(ansi_encoder, a_vt100_in_the_c_locale_gets_only_what_it_has_and_shows_every_frame)
{
    static glyph_set ascii;
    glyph_set_ascii(ascii);
    start(437, 0);
    encoder.erase_in_color = false;  // no bce
    encoder.column_moves = encoder.row_moves = encoder.private_modes = false;
    encoder_use_font(encoder, ascii);
    const std::uint16_t* table = codepage_table(437);
    vt100 terminal;
    terminal.feed(encoder_takeover(encoder));
    std::mt19937 gen(11);
    for (int frame = 0; frame < 40 && terminal.error.empty(); ++frame) {
        const int changes = frame < 4 ? screen_cells : 1 + static_cast<int>(gen() % 200);
        for (int i = 0; i < changes; ++i) cells[frame < 4 ? i : gen() % screen_cells] = static_cast<screen_cell>(gen() & 0xFFFF);
        terminal.feed(encode());
        for (int i = 0; i < screen_cells; ++i) {
            const int byte = cells[i] & 0xFF, fg = (cells[i] >> 8) & 15, bg = cells[i] >> 12;
            const bool shown = fg != bg && table[byte] != 0x20 && table[byte] != 0xA0;
            const char want = shown ? static_cast<char>(glyph_stand_in(table[byte], ascii)) : ' ';
            ASSERT_EQ(terminal.screen[i / screen_width][i % screen_width], want) << "frame " << frame << ", cell " << i;
        }
    }
    terminal.feed(encoder_restore(encoder));
    EXPECT_EQ(terminal.error, "");
}

TEST(ansi_encoder, takeover_and_restore_are_the_usual_modes)
{
    EXPECT_STREQ(ansi_takeover, "\x1b[?1049h\x1b[?25l\x1b[?7l");
    const std::string restore = ansi_restore;
    EXPECT_EQ(restore.find("\x1b[?2026l"), 0u);  // an update cut short is ended first
    EXPECT_NE(restore.find("\x1b[?25h"), std::string::npos);
    EXPECT_NE(restore.find("\x1b[?7h"), std::string::npos);
    EXPECT_EQ(restore.rfind("\x1b[?1049l"), restore.size() - 8);
}

}  // namespace
