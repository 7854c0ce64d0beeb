// The window host: the show in a window of its own, each frame drawn as a
// VGA text screen draws it (the --png picture, 720 x 400) and shown at 4:3,
// letterboxed, with the terminal's keys and sound. host/window/sdl_window.cpp
// fills it on Unix (SDL2, loaded when the window opens), and
// host/windows/window_gdi.cpp on Windows (a native window drawn with GDI).
#pragma once
#include <cstdio>

#include "platform/platform.h"
#include "render/codepages.h"

struct window_options {
    int codepage = default_codepage;  // 437, 850 or 865: which glyph each character byte is
    const char* font_path = nullptr; // the .hex font the glyphs come from; nullptr: the system's Unifont
    bool fullscreen = false;         // start full screen (the desktop's mode, no mode switch)
    int scale = 0;                   // how the picture fills the window: a picture_scale (capture/picture_scale.h)
    // A line a frame, as terminal_options::stats says; the present time is
    // when the frame went to the screen, and the bytes those of the picture
    // handed over (0: the frame was the one on screen already). Null: none.
    std::FILE* stats = nullptr;
};

// Opens the window and fills api (music from music.h). False, with one line
// in why, when there is no window to be had (no display, no SDL2, no font).
bool window_platform(platform_api& api, const window_options& options, const char** why);
