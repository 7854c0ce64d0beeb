// The live terminal host: takes over the user's terminal (alternate screen,
// hidden cursor, raw keys), shows frames as changed cells, and gives the
// terminal back exactly as found on every way out. host/unix/terminal.cpp
// fills it on Unix; on Windows, host/windows/console.cpp fills it with the
// console's own screen buffer instead.
#pragma once
#include <cstdio>

#include "platform/platform.h"
#include "render/codepages.h"

struct cast_file;

struct terminal_options {
    int codepage = default_codepage;  // 437, 850 or 865: how character bytes become Unicode
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
    // What was typed before the take-over is dropped, not read as keys: a
    // screensaver, which any key ends, would end before its first frame.
    bool drop_typed_ahead = false;
};

// Why the options cannot be shown on this host's terminal, as one line, or
// null: a terminal that cannot move its cursor (TERM=dumb) is refused, and
// the Windows console, which shows its own sixteen colours, takes no --color.
// Before anything is opened; the caller ends with a usage error.
const char* terminal_refusal(const terminal_options& options);
// Takes over standard input and output and fills api (music from music.h).
// False, with a reason in why, when there is no usable terminal.
bool terminal_platform(platform_api& api, const terminal_options& options, const char** why);
// The same with keys (and the modes to set) from keyboard, a terminal, and
// frames written to output; once per process. For tests.
bool terminal_platform_on(platform_api& api, const terminal_options& options, int keyboard, int output,
                          const char** why);
