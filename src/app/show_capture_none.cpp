// The Windows build has no picture or video encoders (they come from Debian's
// FFmpeg and zlib): asking for them is one line and an I/O failure status.
#include "app/show_capture.h"

#include <cstdio>

bool show_capture_open(const demo_options& options)
{
    if (!options.png_path && !options.video_path) return true;
    std::fputs("glimfant: --png and --video are not part of the Windows build\n", stderr);
    return false;
}

bool show_capture_frame(const screen_cell*, std::uint32_t) { return true; }

void show_capture_start(const screen_cell*) {}

bool show_capture_close(bool ok) { return ok; }
