// Cells to terminal bytes: turns each frame of the 80 x 25 grid into the
// shortest byte stream this encoder knows that makes an ANSI/VT terminal show
// it. Only cells whose look changed are sent; cursor moves are chosen by
// cost; colours go out as one SGR with just the parts that change; blank
// cells become spaces in their background. Pure computation: the caller
// writes the bytes (one write a frame) to a terminal or a file.
#pragma once
#include <cstdint>

#include "render/ascii_render.h"

// Sent once when the program takes the terminal: alternate screen, hidden
// cursor, auto-wrap off.
extern const char ansi_takeover[];
// Sent when the program gives the terminal back: ends a synchronized update,
// resets colours, clears, auto-wrap on, cursor shown, main screen back.
extern const char ansi_restore[];
// The same for a terminal without the DEC private modes of a VT220 and later
// (a VT100): auto-wrap off; and colours reset, cleared, auto-wrap on.
extern const char ansi_plain_takeover[];
extern const char ansi_plain_restore[];
// Sent in front of ansi_restore when a write was cut off part-way: CAN ends
// any escape sequence the terminal was in the middle of.
extern const char ansi_cancel[];

// Room for the bytes of any one frame or message, whatever the terminal size.
inline constexpr int ansi_frame_capacity = 160 * 1024;

struct glyph_set;

struct ansi_encoder {
    int codepage;                      // 437, 850 or 865
    std::uint8_t glyph_bytes[256][4];  // UTF-8 of each character byte
    std::uint8_t glyph_length[256];    // 1..3
    std::uint8_t blank[256];           // 1: the byte shows nothing (0, space, no-break space)
    std::uint8_t full_block[256];      // 1: the byte fills its cell with the foreground
    char fg_code[16][20];              // SGR parameters per console colour, NUL-terminated
    char bg_code[16][20];
    std::uint8_t fg_length[16];
    std::uint8_t bg_length[16];
    int color;                         // 16, 256 or 24; 0: no colours, the characters only
    bool erase_in_color;               // erases fill with the current background (terminfo bce);
                                       // else blank cells are written as spaces; set after init
    // What the terminal has of the moves and modes beyond a VT100's, as its
    // terminfo entry says; all set by init, and cleared after it for one that lacks them.
    bool column_moves;                 // CHA, CSI n G (terminfo hpa)
    bool row_moves;                    // VPA, CSI n d (vpa)
    bool step_moves;                   // CUU, CUD, CUF, CUB with a count (cuu, cud, cuf, cub)
    bool private_modes;                // synchronized updates around each frame (DEC private mode 2026,
                                       // which goes with the hidden cursor, civis, of a VT220 and later)
    int columns, rows;                 // terminal size in cells
    int left, top;                     // where grid cell (0, 0) sits in the terminal
    bool front_valid;                  // false: the next frame clears and draws in full
    std::uint16_t front[screen_cells]; // the look of every grid cell the terminal shows
    int cursor_row, cursor_column;     // terminal cursor; -1 where not known
    int sgr_fg, sgr_bg;                // terminal colours (console numbers); -1 not known
};

// Sets up for code page 437, 850 or 865, colour mode 16, 256 or 24
// (truecolor, the classic console palette) or 0 (none: each cell is its
// glyph or a blank, whatever its colours), and a terminal of the given size.
void encoder_init(ansi_encoder& encoder, int codepage, int color, int columns, int rows);

// The take-over and the give-back for the encoder's terminal: ansi_takeover
// and ansi_restore, or without private modes their plain forms.
const char* encoder_takeover(const ansi_encoder& encoder);
const char* encoder_restore(const ansi_encoder& encoder);

// From now on sends each character byte whose glyph is not in font as the
// nearest glyph that is (glyph_stand_in), the others as before. After
// encoder_init, for a terminal with a small font (the Linux console).
void encoder_use_font(ansi_encoder& encoder, const glyph_set& font);

// The terminal changed size (or its contents are unknown, as after a resume):
// the next frame is drawn in full, centred.
void encoder_resize(ansi_encoder& encoder, int columns, int rows);

// True when the whole grid fits in the terminal (at least 80 x 25).
bool encoder_fits(const ansi_encoder& encoder);

// Appends to out the bytes that turn the terminal's picture into cells (80 x
// 25), wrapped in one synchronized update (DEC private mode 2026); returns
// their count. The encoder must fit. out holds ansi_frame_capacity bytes.
int encode_frame(ansi_encoder& encoder, const screen_cell* cells, char* out);

// The message shown instead of the grid in a terminal that is too small: it
// names the size needed and the size there is, centred, in one synchronized
// update. The next frame after it is drawn in full.
int encode_size_message(ansi_encoder& encoder, char* out);

// The look of a cell: the cell itself, or for a cell that shows no glyph
// (blank byte, foreground equal to background, full block) a space in the
// colour that fills it, with foreground 0. Equal looks show the same.
// Without colours: a cell that shows a glyph is that glyph in grey on black
// (a full block too), any other a black blank.
std::uint16_t cell_look(const ansi_encoder& encoder, screen_cell cell);

// The colour mode COLORTERM asks for: 24 for "truecolor" or "24bit", else 16.
int color_from_colorterm(const char* colorterm);
