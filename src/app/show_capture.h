// Pictures (--png) and video (--video) of the headless show.
#pragma once
#include <cstdint>

#include "app/options.h"
#include "render/ascii_render.h"

// Before the show: the font, the sound and the video file. False after one
// line on standard error.
bool show_capture_open(const demo_options& options);
// The headless backend's hook for each presented frame (from 0); false stops
// the show (the video could not take the frame).
bool show_capture_frame(const screen_cell* cells, std::uint32_t frame);
// The headless backend's hook for the start picture (--at start).
void show_capture_start(const screen_cell* cells);
// After the show (ok: it ran to its end): finishes the video and writes the
// picture, or drops both. False after one line on standard error.
bool show_capture_close(bool ok);
