// The seam between the show and the machine: tick count, keys, frame output
// and the music clock, as one record of function pointers. Every host fills
// it (src/host/: the Unix terminal, the Windows console, the browser, the
// headless run) and the application chooses one at start-up; the show knows
// nothing of terminals, consoles, audio libraries or systems.
#pragma once
#include <cstdint>

#include "render/ascii_render.h"

inline constexpr int key_space = 32;
inline constexpr int key_escape = 27;

// The viewer's keys during the show, gathered between two frames.
struct viewer_keys {
    bool pause = false;  // p or SPACE: pause, or resume
    int seek = 0;        // scenes to move: +1 a right arrow or Page Down, -1 a left arrow or Page Up
    bool any = false;    // any key at all (a screensaver ends on it)
};

struct platform_api {
    // Millisecond tick count; wraps at 2^32 like the console's.
    std::uint32_t (*tick_count)();
    // Start screen: returns once SPACE was pressed (true) or the user asked
    // to quit instead (false). Never spins.
    bool (*wait_for_space)();
    // True when ESC (or 'q') has been pressed; tested once a frame after the present.
    bool (*escape_down)();
    // Waits until tick_count() is past deadline (unsigned, strictly greater)
    // and returns the deadline to go on from: the one given, or "now" when
    // the process was suspended meanwhile, so a resume brings no burst of frames.
    std::uint32_t (*pace)(std::uint32_t deadline);
    // Hands one frame of width x height cells to the output.
    void (*present)(const screen_cell* cells, int width, int height);
    // Starts the soundtrack: 0 file cannot be opened, 1 started, 2 still playing.
    int (*music_start)(const char* name);
    // Signed milliseconds of play time since the music start; monotonic.
    std::int32_t (*music_time)();
    // Gives the machine back (terminal modes, audio). Safe to call twice.
    void (*shutdown)();
    // The viewer's keys since the previous call; once a frame. Null: no keys.
    viewer_keys (*take_keys)();
    // Stops (true) or resumes (false) the music and its clock together. Null: nothing.
    void (*music_pause)(bool paused);
    // Moves the music and its clock to ms. Null: nothing.
    void (*music_seek)(std::int32_t ms);
};
