// Pictures and video of the headless show: the frame hook keeps the --png
// frame and hands every frame to the video.
#include "app/show_capture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/process_exit.h"
#include "capture/cell_font.h"
#include "capture/png_writer.h"
#include "capture/screen_image.h"
#include "capture/video.h"
#include "sound/audio_decode.h"
#include "score/score.h"

namespace {

struct capture_state {
    cell_font font;
    const char* png_path;
    std::uint32_t png_frame;     // the frame on screen at --at
    bool png_start;              // --at start: the start picture instead
    bool png_taken;
    screen_cell png_cells[screen_cells];
    bool video;                  // a video is being made
    decoded_audio sound;         // its sound: the soundtrack, or the score
};

capture_state capture;

// The video's sound, as the live show would play it: the soundtrack file, or
// the built-in score when there is none (or --score); none with --mute.
bool load_video_sound(const demo_options& o, decoded_audio& sound)
{
    if (o.mute) return true;
    if (!o.score) {
        char why[256];
        const decode_status status = audio_decode(o.soundtrack, sound, why, sizeof why);
        if (status == decode_ok) return true;
        if (status == decode_failed) {
            std::fprintf(stderr, "glimfant: %s\n", why);
            return false;
        }
    }
    const std::uint32_t frames = score_length_frames();
    sound.samples = static_cast<std::int16_t*>(std::malloc(static_cast<std::size_t>(frames) * 2 * sizeof(std::int16_t)));
    if (!sound.samples) exit_out_of_memory();
    score_reset();
    score_render(sound.samples, frames);
    score_reset();
    sound.frames = frames;
    sound.rate = score_rate;
    return true;
}

}  // namespace

bool show_capture_frame(const screen_cell* cells, std::uint32_t frame)
{
    if (capture.png_path && !capture.png_start && frame == capture.png_frame) {
        std::memcpy(capture.png_cells, cells, sizeof capture.png_cells);
        capture.png_taken = true;
    }
    return !capture.video || video_add_frame(cells);
}

void show_capture_start(const screen_cell* cells)
{
    if (!capture.png_path || !capture.png_start) return;
    std::memcpy(capture.png_cells, cells, sizeof capture.png_cells);
    capture.png_taken = true;
}

bool show_capture_open(const demo_options& o)
{
    capture.png_path = o.png_path;
    capture.png_frame = o.at_ms / o.step_ms;
    capture.png_start = o.at_start;
    capture.png_taken = false;
    capture.video = false;
    if (!o.png_path && !o.video_path) return true;
    char why[512];
    if (!font_load(capture.font, o.font_path ? o.font_path : default_font_path, o.codepage, why, sizeof why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        return false;
    }
    if (!o.video_path) return true;
    if (!video_available(why, sizeof why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        return false;
    }
    if (!load_video_sound(o, capture.sound)) return false;
    video_sound sound;
    sound.samples = capture.sound.samples;
    sound.frames = capture.sound.frames;
    sound.rate = capture.sound.rate;
    const video_size size = o.video_small ? video_small : video_large;
    if (!video_start(o.video_path, o.frames, size, capture.font, sound, why, sizeof why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        audio_free(capture.sound);
        return false;
    }
    capture.video = true;
    return true;
}

bool show_capture_close(bool ok)
{
    char why[512];
    if (capture.video) {
        capture.video = false;
        if (!ok) {
            video_discard();
        } else if (!video_finish(why, sizeof why)) {
            std::fprintf(stderr, "glimfant: %s\n", why);
            ok = false;
        }
        audio_free(capture.sound);
    }
    if (ok && capture.png_path && !capture.png_taken) {
        std::fputs("glimfant: the show ended before the frame of --at\n", stderr);
        ok = false;
    }
    if (ok && capture.png_path) {
        static std::uint8_t pixels[image_pixels];
        draw_screen_image(capture.font, capture.png_cells, pixels);
        if (!png_write(capture.png_path, pixels, image_width, image_height, console_rgb, why, sizeof why)) {
            std::fprintf(stderr, "glimfant: %s\n", why);
            ok = false;
        }
    }
    return ok;
}

