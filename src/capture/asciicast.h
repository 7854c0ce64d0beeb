// Recordings in the asciicast v2 format: a JSON header line, then one line
// [seconds, "o", text] for each write to the terminal (and [seconds, "r",
// "COLSxROWS"] when it changes size). The file is written
// under a temporary name beside the final one and renamed when finished, so a
// reader never sees half of it. Output events and the finish are safe in a
// signal handler that interrupts the main flow's own output event: nothing
// allocates, every event goes whole into a fixed buffer, and the file is
// written at explicit offsets from one atomic record of what is written.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "render/ascii_render.h"

inline constexpr int cast_buffer_size = 256 * 1024;  // events wait here to be written together
inline constexpr int cast_path_capacity = 4096;

struct cast_header {
    int width = screen_width;     // terminal size in cells
    int height = screen_height;
    std::int64_t timestamp = 0;   // Unix seconds when the recording started
    int idle_time_limit = 2;      // seconds: a longer pause (the start screen) plays back this long
    const char* title = "glimfant";
    const char* term = nullptr;   // the TERM and SHELL recorded in "env"; null: left out
    const char* shell = nullptr;
};

struct cast_file {
    int fd = -1;                           // the temporary file, -1 when none is open
    char path[cast_path_capacity];         // the name it gets when finished
    char temp_path[cast_path_capacity + 32];
    char buffer[cast_buffer_size];         // whole lines not yet in the file, then the line being built
    // File offset of buffer[0] (high 40 bits) and the length of the whole lines
    // in buffer (low 24 bits): what a signal handler may write out.
    std::atomic<std::uint64_t> state{0};
    unsigned char held[4];                 // the start of a UTF-8 sequence cut off by the last write
    int held_count = 0;
    std::atomic<bool> failed{false};       // a write to the file failed; the recording is lost
    std::atomic<bool> open{false};         // set by cast_open, cleared by whoever finishes
};

// Creates the temporary file beside path (which must not be a directory or
// another non-regular file). False with errno set when it cannot be written;
// nothing is left behind then. Before any other call.
bool cast_open(cast_file& cast, const char* path);
// Appends the header line; once, right after cast_open.
void cast_write_header(cast_file& cast, const cast_header& header);
// Appends an output event of n bytes at time_us microseconds from the start.
// The text is JSON-escaped; bytes that are not UTF-8 become U+FFFD, and a
// sequence cut off at the end waits for the next event. A large write may
// become several events with the same time.
void cast_output(cast_file& cast, std::int64_t time_us, const char* bytes, std::size_t n);
// Writes the buffered events to the file once a quarter of the buffer is
// used. For the quiet moment of a frame (the wait for its deadline), so that
// the file's writes never hold up the terminal's; without such calls the
// buffer is written when it is three quarters full.
void cast_write_due(cast_file& cast);
// Appends a resize event [seconds, "r", "COLSxROWS"]: the terminal took
// that size. Safe in a signal handler as cast_output is.
void cast_resize(cast_file& cast, std::int64_t time_us, int columns, int rows);
// Writes out what is buffered, closes and renames the file to its final name;
// on any failure removes it instead. True when the recording is there. Once:
// later calls return false. Safe in a signal handler; blocks signals meanwhile
// (on Windows, where a console event's handler has its own thread, a lock).
bool cast_finish(cast_file& cast);
// Closes and removes the temporary file (a run that failed, or cut short);
// guarded as cast_finish.
void cast_discard(cast_file& cast);
