// The terminal backend: takes over the user's terminal (alternate screen,
// hidden cursor, raw keys), shows frames as changed cells in UTF-8 and SGR
// colours, and gives the terminal back exactly as found on every way out.
// On Windows, console_win.cpp fills terminal_platform with the console's own
// screen buffer instead; the key decoder below is the Unix terminal's.
#pragma once
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

struct cast_file;

struct terminal_options {
    int codepage = 437;  // 437, 850 or 865: how character bytes become Unicode
    int color = 0;       // 0 choose from COLORTERM, else 16, 256 or 24 (truecolor)
    // Receives a line a frame of the show, "frame deadline present bytes" (the
    // first line, starting with '#', names them): the frame number from 0, the
    // deadline the frame waited for and the tick count when its bytes were
    // written (ms, with microseconds), the bytes written (0: the frame was not
    // presented, as the terminal trailed or ESC had come) and the music time
    // (ms) the frame shows, the last one its scenes read. Opened for writing
    // and not yet used; the caller closes it after the run. Null: none.
    std::FILE* stats = nullptr;
    // Receives every write to the terminal, from take-over to restore, as an
    // event at its time since the take-over; opened (cast_open) and not yet
    // used. Finished here on the ways out that end the process (signals, a
    // lost terminal, fatal errors); after a run the caller finishes it. Null: none.
    cast_file* record = nullptr;
};

// Takes over standard input and output and fills api (music from music.h).
// False, with a reason in why, when there is no usable terminal.
bool terminal_platform(platform_api& api, const terminal_options& options, const char** why);
// The same with keys (and the modes to set) from keyboard, a terminal, and
// frames written to output; once per process. For tests.
bool terminal_platform_on(platform_api& api, const terminal_options& options, int keyboard, int output,
                          const char** why);

// Keys from the terminal's byte stream. A lone ESC byte is the ESC key; an ESC
// followed at once by more bytes starts an escape sequence (an arrow or
// function key, Alt with a key): the arrows and Page Up/Down seek, the
// others are just keys.

// How long an ESC must stand alone to count as the key.
inline constexpr std::uint32_t lone_escape_ms = 25;
// The same while the terminal owes an answer to a status request, whose
// first byte is an ESC too: an answer cut in two on a slow link is not a key.
inline constexpr std::uint32_t reply_escape_ms = 100;

enum key_state { key_plain, key_after_escape, key_in_csi, key_after_ss3 };

struct key_decoder {
    key_state state = key_plain;   // where the decoder is in an escape sequence
    std::uint32_t escape_tick = 0; // tick count when that sequence's ESC came
    bool space = false;            // SPACE seen; the taker clears it
    bool quit = false;             // ESC or 'q' seen; stays set
    bool pause = false;            // 'p' seen; the taker clears it
    int seek = 0;                  // right arrow or Page Down +1, left arrow or Page Up -1; the taker clears it
    bool any = false;              // any key seen (not an answer); the taker clears it
    int csi_number = 0;            // the first number of the sequence under way
    int replies = 0;               // answers to status requests seen (CSI ... c, CSI ... n); counts up
    int replies_due = 0;           // answers still to come; set by the taker
};

// Decodes bytes that arrived at tick count now.
void keys_feed(key_decoder& keys, const unsigned char* bytes, int count, std::uint32_t now);
// An ESC alone for lone_escape_ms (reply_escape_ms while replies are due) is
// the key; a sequence cut off that long is dropped.
void keys_settle(key_decoder& keys, std::uint32_t now);
// Milliseconds until keys_settle can change something; -1 when nothing is pending.
int keys_settle_in(const key_decoder& keys, std::uint32_t now);
