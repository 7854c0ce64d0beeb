// The headless backend: no terminal, no keyboard, no sound. A virtual clock
// makes every run with the same options give the same frames, which are
// appended to a file as little-endian 16-bit cells (4000 bytes a frame).
#pragma once
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"
#include "render/codepages.h"
#include "timeline/show_timeline.h"

struct cast_file;

struct headless_options {
    std::uint32_t start_tick = 0;  // tick count during start-up; the first frame deadline
    std::uint32_t step_ms = frame_ms;  // music time of frame k is k * step_ms (a seek moves it by a constant)
    std::uint32_t frames = show_frame_count;  // frames to render before ESC counts as pressed
    std::FILE* dump = nullptr;     // receives the cells of each frame, or none
    std::FILE* ansi = nullptr;     // receives the terminal byte stream, or none
    // Receives the byte stream as a recording (opened, not yet used), frame k
    // at k x frame_ms on the virtual clock; the caller finishes it. Or none.
    cast_file* record = nullptr;
    int codepage = default_codepage;  // for the byte stream
    int color = 16;                // 16, 256 or 24 (truecolor), for the byte stream
    // Called with each frame's 80 x 25 cells as it is presented (not the start
    // picture), frames numbered from 0; returning false ends the show as ESC does.
    bool (*frame_hook)(const screen_cell* cells, std::uint32_t frame) = nullptr;
    // Called with the start picture's cells as it is presented, before frame 0.
    void (*start_hook)(const screen_cell* cells) = nullptr;
};

// Sets up the backend (the options are copied) and returns its interface.
platform_api headless_platform(const headless_options& options);
// What became of the writes to the dump and to the byte stream: 0 for each
// whose writes all went through, else the errno of its first that failed.
struct headless_write_errors {
    int dump = 0;
    int ansi = 0;
};
headless_write_errors headless_write_failures();
