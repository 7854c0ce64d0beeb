// glimfant: the entry point. Parses the command line, chooses the platform
// backend (the user's terminal or headless) and runs the demo.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <cstdlib>
#include <unistd.h>

#include "base/fatal.h"
#include "capture/asciicast.h"
#include "core/driver.h"
#include "core/options.h"
#include "core/show_capture.h"
#include "platform/headless.h"
#include "platform/music.h"
#include "platform/terminal.h"
#include "render/ascii_pictures.h"
#include "score/score.h"

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

cast_file recording;  // --record: the one recording of the run

void watch_options(const demo_options& o, demo_config& config)
{
    config.from_ms = o.from_ms;
    config.loop = o.loop;
    config.screensaver = o.screensaver;
}

// Opens the recording's temporary file, when one is asked for.
bool open_recording(const demo_options& o)
{
    if (!o.record_path || cast_open(recording, o.record_path)) return true;
    std::fprintf(stderr, "glimfant: cannot write the recording to '%s': %s\n", o.record_path, std::strerror(errno));
    return false;
}

// Gives the recording its name, or removes it after a failed run.
bool close_recording(const demo_options& o, bool run_ok)
{
    if (!o.record_path) return true;
    if (!run_ok) {
        cast_discard(recording);
        return false;
    }
    if (cast_finish(recording)) return true;
    std::fprintf(stderr, "glimfant: writing '%s' failed\n", o.record_path);
    return false;
}

int run_headless(const demo_options& o)
{
    headless_options h;
    h.start_tick = o.start_tick;
    h.step_ms = o.step_ms;
    h.frames = o.frames;
    h.codepage = o.codepage;
    h.color = o.color == 0 ? 16 : o.color;
    h.frame_hook = show_capture_frame;
    if (!show_capture_open(o)) return exit_io_error;
    if (o.dump_path && !(h.dump = open_output(o.dump_path, "frames to"))) {
        show_capture_close(false);
        return exit_io_error;
    }
    if (o.ansi_path && !(h.ansi = open_output(o.ansi_path, "the byte stream to"))) {
        if (h.dump) std::fclose(h.dump);
        show_capture_close(false);
        return exit_io_error;
    }
    if (!open_recording(o)) {
        if (h.dump) std::fclose(h.dump);
        if (h.ansi) std::fclose(h.ansi);
        show_capture_close(false);
        return exit_io_error;
    }
    if (o.record_path) h.record = &recording;
    const platform_api api = headless_platform(h);
    demo_config config;
    config.soundtrack = o.soundtrack;
    config.seed_given = true;
    config.seed = o.seed_given ? o.seed : o.start_tick;
    watch_options(o, config);
    config.replay_step_ms = o.step_ms;
    run_demo(api, config);
    const bool write_failed = headless_write_failed();
    const bool dump_ok = close_output(h.dump, o.dump_path, write_failed);
    const bool ansi_ok = close_output(h.ansi, o.ansi_path, write_failed);
    const bool record_ok = close_recording(o, dump_ok && ansi_ok);
    const bool capture_ok = show_capture_close(!write_failed && dump_ok && ansi_ok && record_ok);
    return dump_ok && ansi_ok && record_ok && capture_ok ? 0 : exit_io_error;
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
    if (!open_recording(o)) {
        if (t.stats) std::fclose(t.stats);
        return exit_io_error;
    }
    if (o.record_path) t.record = &recording;
    platform_api api{};
    const char* why = nullptr;
    if (!terminal_platform(api, t, &why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        if (t.stats) std::fclose(t.stats);
        close_recording(o, false);
        return exit_io_error;
    }
    // Decoded while the start screen waits, so that SPACE starts the show at once.
    music_prepare(o.soundtrack);
    demo_config config;
    config.soundtrack = o.soundtrack;
    watch_options(o, config);
    const int status = run_demo(api, config);
    if (const char* problem = music_problem()) std::fprintf(stderr, "glimfant: %s\n", problem);
    const bool record_ok = close_recording(o, true);
    if (!close_output(t.stats, o.stats_path, false) || !record_ok) return exit_io_error;
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
