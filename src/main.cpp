// glimfant: the entry point. Parses the command line, chooses the platform
// backend (the user's terminal or headless) and runs the demo.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <cstdlib>
#include <unistd.h>

#include "capture/cell_font.h"
#include "capture/png_writer.h"
#include "capture/screen_image.h"
#include "capture/video.h"
#include "core/driver.h"
#include "base/fatal.h"
#include "core/options.h"
#include "platform/audio_decode.h"
#include "platform/headless.h"
#include "platform/music.h"
#include "score/score.h"
#include "platform/terminal.h"
#include "render/ascii_pictures.h"

namespace {

constexpr int exit_io_error = 1;
constexpr int exit_usage = 2;

// An uncaught exception (only std::bad_alloc can happen) must not leave the
// terminal in raw mode on the alternate screen.
[[noreturn]] void on_terminate()
{
    run_fatal_cleanup();
    std::fputs("glimfant: out of memory\n", stderr);
    std::abort();
}

std::FILE* open_output(const char* path, const char* what)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f) std::fprintf(stderr, "glimfant: cannot write %s '%s': %s\n", what, path, std::strerror(errno));
    return f;
}

bool close_output(std::FILE* f, const char* path, bool failed)
{
    if (!f) return true;
    const bool ok = !std::ferror(f) && !failed;
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "glimfant: writing '%s' failed\n", path);
        return false;
    }
    return true;
}

// Pictures and video of the headless show: the frame hook keeps the --png
// frame and hands every frame to the video.
struct capture_state {
    cell_font font;
    const char* png_path;
    std::uint32_t png_frame;     // the frame on screen at --at
    bool png_taken;
    screen_cell png_cells[screen_cells];
    bool video;                  // a video is being made
    decoded_audio sound;         // its sound: the soundtrack, or the score
};

capture_state capture;

bool capture_frame(const screen_cell* cells, std::uint32_t frame)
{
    if (capture.png_path && frame == capture.png_frame) {
        std::memcpy(capture.png_cells, cells, sizeof capture.png_cells);
        capture.png_taken = true;
    }
    return !capture.video || video_add_frame(cells);
}

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

// Before the show: the font, the sound and the video file. False after one
// line on standard error.
bool capture_open(const demo_options& o)
{
    capture.png_path = o.png_path;
    capture.png_frame = o.at_ms / o.step_ms;
    capture.png_taken = false;
    capture.video = false;
    if (!o.png_path && !o.video_path) return true;
    char why[512];
    if (!font_load(capture.font, o.font_path ? o.font_path : default_font_path, o.codepage, why, sizeof why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        return false;
    }
    if (!o.video_path) return true;
    if (!load_video_sound(o, capture.sound)) return false;
    video_sound sound;
    sound.samples = capture.sound.samples;
    sound.frames = capture.sound.frames;
    sound.rate = capture.sound.rate;
    if (!video_start(o.video_path, o.frames, capture.font, sound, why, sizeof why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        audio_free(capture.sound);
        return false;
    }
    capture.video = true;
    return true;
}

// After the show (ok: it ran to its end): finishes the video and writes the
// picture, or drops both. False after one line on standard error.
bool capture_close(bool ok)
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

int run_headless(const demo_options& o)
{
    headless_options h;
    h.start_tick = o.start_tick;
    h.step_ms = o.step_ms;
    h.frames = o.frames;
    h.codepage = o.codepage;
    h.color = o.color == 0 ? 16 : o.color;
    h.frame_hook = capture_frame;
    if (!capture_open(o)) return exit_io_error;
    if (o.dump_path && !(h.dump = open_output(o.dump_path, "frames to"))) {
        capture_close(false);
        return exit_io_error;
    }
    if (o.ansi_path && !(h.ansi = open_output(o.ansi_path, "the byte stream to"))) {
        if (h.dump) std::fclose(h.dump);
        capture_close(false);
        return exit_io_error;
    }
    const platform_api api = headless_platform(h);
    demo_config config;
    config.soundtrack = o.soundtrack;
    config.seed_given = true;
    config.seed = o.seed_given ? o.seed : o.start_tick;
    run_demo(api, config);
    const bool write_failed = headless_write_failed();
    const bool dump_ok = close_output(h.dump, o.dump_path, write_failed);
    const bool ansi_ok = close_output(h.ansi, o.ansi_path, write_failed);
    const bool capture_ok = capture_close(!write_failed);
    return dump_ok && ansi_ok && capture_ok ? 0 : exit_io_error;
}

int run_terminal(const demo_options& o)
{
    if (!isatty(STDOUT_FILENO)) {
        std::fputs("glimfant: standard output is not a terminal "
                   "(use --headless to render without one)\n", stderr);
        return exit_usage;
    }
    music_options m;
    m.mute = o.mute;
    m.score = o.score;
    m.latency_ms = o.audio_latency_ms;
    music_configure(m);

    terminal_options t;
    t.codepage = o.codepage;
    t.color = o.color;
    // Opened before the terminal is taken, so that a bad path is reported plainly.
    if (o.stats_path && !(t.stats = open_output(o.stats_path, "frame statistics to"))) return exit_io_error;
    platform_api api{};
    const char* why = nullptr;
    if (!terminal_platform(api, t, &why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        if (t.stats) std::fclose(t.stats);
        return exit_io_error;
    }
    demo_config config;
    config.soundtrack = o.soundtrack;
    const int status = run_demo(api, config);
    if (const char* problem = music_problem()) std::fprintf(stderr, "glimfant: %s\n", problem);
    if (!close_output(t.stats, o.stats_path, false)) return exit_io_error;
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    std::set_terminate(on_terminate);

    demo_options o;
    char error[256];
    if (!parse_options(argc, argv, o, error, sizeof error)) {
        std::fprintf(stderr, "glimfant: %s (see glimfant --help)\n", error);
        return exit_usage;
    }
    if (o.help) {
        write_usage(stdout);
        return 0;
    }
    if (o.version) {
        std::puts("glimfant 1.0.0");
        return 0;
    }
    if (o.dump_pictures_path) {
        picture_setup();
        if (!write_pictures_file(o.dump_pictures_path)) {
            std::fprintf(stderr, "glimfant: cannot write pictures to '%s'\n", o.dump_pictures_path);
            return exit_io_error;
        }
        return 0;
    }
    if (o.write_score_path) {
        if (!write_score_wav(o.write_score_path)) {
            std::fprintf(stderr, "glimfant: cannot write the score to '%s'\n", o.write_score_path);
            return exit_io_error;
        }
        return 0;
    }
    if (o.headless) return run_headless(o);
    return run_terminal(o);
}
