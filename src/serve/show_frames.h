// Every picture a server sends, rendered once at start-up: the whole show,
// frame k at music time k x 20 ms (the headless show's frames, seed 0) up to
// the end, where the show starts again; then the start picture with the
// keys, and the start picture counting down to a showing. A viewer's screen
// is always one of them, so what a viewer has and what it needs next are two
// numbers, and a seek re-runs nothing. About 32 MB.
#pragma once
#include <cstdint>

#include "render/ascii_render.h"
#include "timeline/show_timeline.h"

// The frames of one pass of the show: the last shows music time 158140 ms,
// the next would pass the show's end, and the loop goes back to frame 0.
inline constexpr int loop_frames = show_end_ms / frame_ms + 1;
// The start picture with the keys, and with "the show begins in N s" (N 1..9).
inline constexpr int lobby_frame = loop_frames;
inline constexpr int countdown_seconds_max = 9;
inline constexpr int countdown_frame(int seconds) { return lobby_frame + seconds; }
inline constexpr int frame_table_size = lobby_frame + 1 + countdown_seconds_max;

// The table: frame_table_size frames of 80 x 25 cells, row-major.
struct show_frames {
    const screen_cell* cells;  // frame f at cells + f * screen_cells
};

// Renders the table (about 0.1 s): runs the show's driver on a virtual
// clock, as the headless run does, then draws the start pictures. Once a
// process; it sets up the show's state and leaves it after the last frame.
show_frames show_frames_render();

inline const screen_cell* frame_cells(const show_frames& frames, int frame)
{
    return frames.cells + static_cast<std::int64_t>(frame) * screen_cells;
}
