// The per-frame statistics (--stats), for the terminal and the Windows
// console alike: a line a presented frame, written through stdio into a
// buffer of their own, so that no frame allocates and the file is written
// only when the buffer fills. The line's fields are described with
// terminal_options::stats.
#pragma once
#include <cstdint>
#include <cstdio>

struct frame_stats {
    std::FILE* file = nullptr;      // null: no statistics
    bool due = false;               // the show paced a frame that has not been presented yet
    std::uint32_t deadline = 0;     // the deadline that frame waited for
    std::uint32_t frame = 0;        // its number, from 0
    std::int32_t music = 0;         // the music time the show last read: what the frame shows
    char buffer[64 * 1024];
};

// Takes file (null: none) and writes the line that names the fields.
void stats_start(frame_stats& stats, std::FILE* file);
// The show paced a frame to deadline; its line comes with its present.
void stats_paced(frame_stats& stats, std::uint32_t deadline);
// One line for the frame paced last, bytes written at written_ns on the
// monotonic clock; the start picture, presented before any pace, has none.
void stats_write(frame_stats& stats, int bytes, std::int64_t written_ns);
// Writes out what is buffered (the caller closes the file).
void stats_flush(frame_stats& stats);
// From now_ns (the monotonic clock) to when the frame being composed shows:
// the first tick past its deadline, which the driver sets a frame after the
// one the last pace returned (paced_deadline). Its music time is the one
// heard then, not while its scenes run.
std::int64_t frame_lead_ns(std::uint32_t paced_deadline, std::int64_t now_ns);
