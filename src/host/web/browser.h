// The browser backend: a web page's canvas and clocks. The page (web/page.js)
// owns the loop: before each display frame it hands over its clocks, runs the
// frames that are due and shows the pixels this backend drew the cells into
// (9 x 16 a cell, the glyphs and colours of the --png pictures). Keys, sound
// and the hidden tab are the page's; here the music time is a number it gives,
// and the viewer's pause and seeks are orders the page takes to its sound.
#pragma once
#include <cstdint>

#include "capture/screen_image.h"
#include "platform/platform.h"

// Behind by more than this, the next deadline is taken from now: a page that
// was not drawn for a while (a hidden tab, a stalled machine) does not race
// through the frames it missed.
inline constexpr std::uint32_t browser_catch_up_limit_ms = 250;
inline constexpr int browser_glyph_rows = 256 * cell_pixel_height;
inline constexpr std::uint32_t browser_checksum_capacity = 8192;

struct browser_options {
    // As headless: frame k runs at music time k x step_ms and tick count
    // frame_ms x k, paced by the page's clock at frames_per_second.
    bool virtual_clock = false;
    std::uint32_t step_ms = frame_ms;
    std::uint32_t frames = 0;        // the show holds its last frame after this many; 0: runs on
    bool record_checksums = false;   // keep each frame's checksum (the first browser_checksum_capacity)
};

// Sets up the backend (a fresh screen, the options copied) and returns its interface.
platform_api browser_platform(const browser_options& options);
// The page's clocks, given before each display frame: its millisecond tick
// count (which paces the frames) and the music time.
void browser_set_clocks(std::uint32_t tick, std::int32_t music_ms);
// The viewer's keys, as the page passes them on: they steer the next frame.
inline constexpr int browser_key_pause = 1;     // p or SPACE
inline constexpr int browser_key_next = 2;      // right arrow or Page Down
inline constexpr int browser_key_previous = 3;  // left arrow or Page Up
void browser_key(int key);
// True while the viewer has the music paused: the page holds its sound.
bool browser_music_paused();
// The music time the show moved to since the last call, where the page's
// sound must go on from; -1 when it did not move.
std::int32_t browser_take_seek();
// True when the frame with this deadline should run now: the tick count is
// past it (virtual clock: frame_ms of the page's clock a frame since the music
// start) and the show has frames left.
bool browser_frame_due(std::uint32_t deadline);

// The glyphs the page loads: a row a 16-bit value whose bit 8 is the left
// pixel and bit 0 the ninth, 16 rows a character.
std::uint16_t* browser_glyphs();
// The screen as RGBA bytes, image_width x image_height, rows top first.
const std::uint32_t* browser_pixels();
// Pixel rows changed since the last call: the first in *first, the count as
// the result (0: nothing to show).
int browser_take_changed_rows(int* first);
// Frames presented since the music start.
std::uint32_t browser_frames();
// Frames not run because their time went by while the page was not drawn
// (more than browser_catch_up_limit_ms behind).
std::uint32_t browser_frames_passed_over();
// FNV-1a of each frame's 4000 bytes (the --dump layout), frame 0 first.
const std::uint32_t* browser_checksums();
