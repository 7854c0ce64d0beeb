// The bytes that take a viewer's terminal from one frame of the table to
// another, made once a tick for every viewer who needs the same ones. What
// the bytes are depends on the kind of output (colours, charset, erases,
// telnet's framing, a take-over or a plain stream), the terminal's size and
// the two frames, and on nothing else: each encoding starts with the
// cursor's place and the colours unknown, so a viewer who got frame A by any
// way can be sent the shared bytes from A to B. Viewers at one place of one
// showing thus share one encoding per kind and size; one who skipped frames
// (a slow link) gets its own, from the frame it has.
#pragma once
#include <cstdint>

#include "serve/show_frames.h"
#include "terminal/ansi_encoder.h"

struct output_kind {
    int color = 16;               // 16, 256 or 24 (truecolor)
    bool raw_bytes = false;       // the code page's own bytes (BBS terminals), not UTF-8
    bool erase_in_color = true;   // erases take the background colour (terminfo's bce)
    bool telnet = false;          // telnet's framing: IAC doubled, CR NUL
    bool stream = false;          // a plain stream (curl, netcat): the cursor is left below the grid
};
inline constexpr int output_kind_count = 48;
int output_kind_index(const output_kind& kind);
output_kind output_kind_at(int index);

// The colours a terminal type asks for, as for a local terminal: names
// with truecolor, 24bit or -direct 24; with 256color 256; else 16.
int color_for_term(const char* term);
// True for the types BBS terminals give (ansi, ansi-bbs, pcansi): the code
// page's own bytes.
bool raw_bytes_for_term(const char* term);

// A viewer's own queue holds at most this: what the socket did not take of
// one encoding, and the session's text. Every encoding of the show fits.
inline constexpr int viewer_queue_bytes = 64 * 1024;
inline constexpr int frame_unknown = -1;  // "from" a screen whose contents are not known: drawn whole
// The longest encoding with its framing and the status request after it.
inline constexpr int encoding_capacity = 2 * ansi_frame_capacity + 16;
inline constexpr int encoding_slots = 4096;           // encodings remembered within a tick
inline constexpr int encoding_arena_bytes = 8 << 20;  // their bytes

struct encoding {
    const char* bytes;  // followed in memory by status_request (for an interactive viewer)
    int length;         // without the request
};

struct frame_encodings {
    const show_frames* frames;
    ansi_encoder kinds[output_kind_count];  // set up for each kind at first use
    bool kind_ready[output_kind_count];
    int codepage;
    ansi_encoder work;                      // the encoder of the encoding being made
    std::uint64_t keys[encoding_slots];     // 0: free this tick
    int offsets[encoding_slots], lengths[encoding_slots];
    int used;                               // bytes of the arena taken this tick
    int made, shared;                       // encodings made and handed out again, this tick
    char* arena;                            // encoding_arena_bytes
    char* spill;                            // encoding_capacity: one encoding that found no room
    char* plain;                            // ansi_frame_capacity: the encoder's bytes before framing
};

// Sets up (allocating the arenas once) for frames, with glyphs of codepage.
// e is zero at its first set-up (a static, or new frame_encodings{}).
void encodings_init(frame_encodings& e, const show_frames& frames, int codepage);
// A new tick: what was made in the last one is forgotten.
void encodings_new_tick(frame_encodings& e);
// The bytes from frame from (or frame_unknown) to frame to for a terminal of
// columns x rows (at least 80 x 25) of the kind; valid until the next tick,
// or, for one that found no room, the next call.
encoding encodings_get(frame_encodings& e, int kind, int columns, int rows, int from, int to);
// The too-small message for a terminal of columns x rows, into out
// (encoding_capacity); returns its length.
int encodings_size_message(frame_encodings& e, int kind, int columns, int rows, char* out);
