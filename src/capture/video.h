// The show as a video file: H.264 pictures at 50 frames a second (each frame
// drawn as a VGA text screen, each of its pixels 2 x 2 video pixels marked
// for a 4:3 picture, or 1 x 1 square for the small file) and AAC sound, in an
// MP4 container, made with FFmpeg's libraries. Frame k is shown at k x frame_ms
// and the sound starts at 0, so a sound sample at time t is heard with the
// frame showing music time t. One video at a time.
#pragma once
#include <cstdint>

#include "capture/cell_font.h"
#include "render/ascii_render.h"

enum video_size {
    video_large,  // 1440 x 800, sample aspect 20:27: a 4:3 picture whose colours survive 4:2:0
    video_small,  // 720 x 400 square pixels: a quarter of the pixels, colours blurred at glyph edges
};

struct video_sound {
    const std::int16_t* samples = nullptr;  // stereo interleaved, left first; nullptr: no sound track
    std::uint32_t frames = 0;               // sample frames
    int rate = 0;                           // sample frames a second
};

// True when FFmpeg's libraries load (once, at the first call); otherwise
// false, with one line in why (size bytes) saying what to install.
bool video_available(char* why, int size);
// Starts a video of frame_count frames of picture_size at path (written to a
// temporary name, renamed by video_finish), drawn with font. The sound is cut
// at the end of the last frame. False, with one line in why (size bytes), when
// the file, FFmpeg's libraries or the encoders cannot be opened. Until the
// end, a signal that ends the program removes the temporary file
// (output_file.h).
bool video_start(const char* path, std::uint32_t frame_count, video_size picture_size,
                 const cell_font& font, const video_sound& sound, char* why, int size);
// Encodes the next frame's 80 x 25 cells and the sound up to its end, and
// after each second of frames rewrites a progress line on standard error.
// False after an encoder or write error (video_finish then reports it).
bool video_add_frame(const screen_cell* cells);
// Encodes the rest of the sound, writes the index and renames the file into
// place. False, with one line in why, after any error; the file is removed then.
bool video_finish(char* why, int size);
// Drops the video being made and its temporary file. Safe to call twice.
void video_discard();
