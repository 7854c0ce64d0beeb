// glimfant: the entry point. Parses the command line, chooses the platform
// backend (the user's terminal, a window or headless) and runs the demo.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iterator>
#include <unistd.h>

#include "base/printable.h"
#include "base/process_exit.h"
#include "capture/asciicast.h"
#include "capture/output_file.h"
#include "show/driver.h"
#include "app/options.h"
#include "app/show_capture.h"
#include "app/show_server.h"
#include "host/headless/headless.h"
#include "sound/music.h"
#include "platform/terminal_host.h"
#include "platform/window_host.h"
#include "render/ascii_pictures.h"
#include "score/score_wav.h"

namespace {

constexpr int exit_io_error = 1;
constexpr int exit_usage = 2;

// An uncaught exception (only std::bad_alloc can happen) must not leave the
// terminal in raw mode on the alternate screen.
[[noreturn]] void on_terminate()
{
    exit_cleanup_run();
    std::fputs("glimfant: out of memory\n", stderr);
    std::abort();
}

// The run's output files, whole or not at all (output_file.h).
output_file dump_out, ansi_out, stats_out, single_out;

// Opens an output for writing; false after one line on standard error.
bool open_output(output_file& out, const char* path, const char* what)
{
    char why[output_path_capacity + 128];
    if (output_open(out, path, why, sizeof why)) return true;
    std::fprintf(stderr, "glimfant: cannot write %s '%s': %s\n", what, printable(path), std::strerror(errno));
    return false;
}

// Gives an output (if asked for) its name. Removes it instead after a write
// to it failed (error: that write's errno) or its last one fails, with one
// line on standard error naming it, or without a word when keep is false:
// another output of the run failed, and that one is named. False when removed.
bool close_output(output_file& out, const char* path, int error = 0, bool keep = true)
{
    if (!path) return true;
    char why[4 * output_path_capacity + 128];
    if (!error && keep && output_commit(out, why, sizeof why)) return true;
    output_discard(out);
    if (error) std::fprintf(stderr, "glimfant: writing '%s' failed: %s\n", printable(path), std::strerror(error));
    else if (keep) std::fprintf(stderr, "glimfant: %s\n", why);
    return false;
}

// --write-score and --dump-pictures: write(name) makes the whole file under
// the name the helper gives, which then becomes path.
bool write_whole(const char* path, bool (*write)(const char* name), const char* what)
{
    char why[output_path_capacity + 128];
    bool ok = output_prepare(single_out, path, why, sizeof why) && write(output_write_name(single_out));
    ok = ok && output_commit(single_out, why, sizeof why);
    if (ok) return true;
    output_discard(single_out);
    std::fprintf(stderr, "glimfant: cannot write %s '%s'\n", what, printable(path));
    return false;
}

// Two outputs that are one file would write over each other, and one be lost:
// a usage error that names both; nullptr when every output is a file of its own.
const char* outputs_overlap(const demo_options& o)
{
    const struct {
        const char* option;
        const char* path;
    } outputs[] = {{"--dump", o.dump_path},   {"--ansi", o.ansi_path},   {"--record", o.record_path},
                   {"--png", o.png_path},     {"--video", o.video_path}, {"--stats", o.stats_path}};
    static char message[128 + 4 * output_path_capacity];
    for (const auto& a : outputs)
        for (const auto* b = &a + 1; b != std::end(outputs); ++b) {
            if (!a.path || !b->path || !output_same_file(a.path, b->path)) continue;
            std::snprintf(message, sizeof message, "options %s and %s name one file, '%s'", a.option, b->option,
                          printable(b->path));
            return message;
        }
    return nullptr;
}

void watch_options(const demo_options& o, demo_config& config)
{
    config.from_ms = o.from_ms;
    config.loop = o.loop;
    config.screensaver = o.screensaver;
}

cast_file recording;        // --record: the one recording of the run
int recording_cleanup = -1; // its discard's place on the clean-up list

void discard_recording(void*) { cast_discard(recording); }

// Opens the recording's temporary file, when one is asked for: beside the
// file a symbolic link names, so that the link stays.
bool open_recording(const demo_options& o)
{
    if (!o.record_path) return true;
    char target[output_path_capacity];
    output_kind kind = output_replaced;
    const int error = output_resolve(o.record_path, target, sizeof target, kind);
    if (!error && kind == output_direct) {  // the file is written at offsets
        std::fprintf(stderr, "glimfant: cannot write the recording to '%s': not a regular file\n",
                     printable(o.record_path));
        return false;
    }
    recording_cleanup = exit_cleanup_add(discard_recording, nullptr);
    if (!error && cast_open(recording, target)) return true;
    exit_cleanup_remove(recording_cleanup);
    std::fprintf(stderr, "glimfant: cannot write the recording to '%s': %s\n", printable(o.record_path),
                 std::strerror(error ? error : errno));
    return false;
}

// Gives the recording its name, or removes it after a failed run.
bool close_recording(const demo_options& o, bool run_ok)
{
    if (!o.record_path) return true;
    bool ok = false;
    if (run_ok) {
        ok = cast_finish(recording);
        if (!ok) std::fprintf(stderr, "glimfant: writing '%s' failed\n", printable(o.record_path));
    } else {
        cast_discard(recording);
    }
    exit_cleanup_remove(recording_cleanup);
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
    h.frame_hook = show_capture_frame;
    h.start_hook = show_capture_start;
    if (!show_capture_open(o)) return exit_io_error;
    if ((o.dump_path && !open_output(dump_out, o.dump_path, "frames to")) ||
        (o.ansi_path && !open_output(ansi_out, o.ansi_path, "the byte stream to")) || !open_recording(o)) {
        if (o.dump_path) output_discard(dump_out);
        if (o.ansi_path) output_discard(ansi_out);
        show_capture_close(false);
        return exit_io_error;
    }
    if (o.dump_path) h.dump = dump_out.file;
    if (o.ansi_path) h.ansi = ansi_out.file;
    if (o.record_path) h.record = &recording;
    const platform_api api = headless_platform(h);
    demo_config config;
    config.soundtrack = o.soundtrack;
    config.seed_given = true;
    config.seed = o.seed_given ? o.seed : o.start_tick;
    watch_options(o, config);
    config.replay_step_ms = o.step_ms;
    run_demo(api, config);
    // The run's files are whole together or not at all; only the one that failed is named.
    const headless_write_errors failed = headless_write_failures();
    const bool write_failed = failed.dump || failed.ansi;
    const bool dump_ok = close_output(dump_out, o.dump_path, failed.dump, !write_failed);
    const bool ansi_ok = close_output(ansi_out, o.ansi_path, failed.ansi, !write_failed && dump_ok);
    const bool record_ok = close_recording(o, dump_ok && ansi_ok);
    const bool capture_ok = show_capture_close(!write_failed && dump_ok && ansi_ok && record_ok);
    return dump_ok && ansi_ok && record_ok && capture_ok ? 0 : exit_io_error;
}

void configure_music(const demo_options& o)
{
    music_options m;
    m.mute = o.mute;
    m.score = o.score;
    m.latency_ms = o.audio_latency_ms;
    music_configure(m);
}

// The show on a live host (the terminal or the window), with its sound.
int run_live(const platform_api& api, const demo_options& o)
{
    // Decoded while the start screen waits, so that SPACE starts the show at once.
    music_prepare(o.soundtrack);
    demo_config config;
    config.soundtrack = o.soundtrack;
    watch_options(o, config);
    const int status = run_demo(api, config);
    if (const char* problem = music_problem()) std::fprintf(stderr, "glimfant: %s\n", problem);
    return status;
}

int run_terminal(const demo_options& o)
{
    if (!isatty(STDOUT_FILENO)) {
        std::fputs("glimfant: standard output is not a terminal "
                   "(use --headless to render without one)\n", stderr);
        return exit_usage;
    }
    configure_music(o);
    terminal_options t;
    t.codepage = o.codepage;
    t.color = o.color;
    t.drop_typed_ahead = o.screensaver;
    if (const char* refused = terminal_refusal(t)) {
        std::fprintf(stderr, "glimfant: %s\n", refused);
        return exit_usage;
    }
    // Opened before the terminal is taken, so that a bad path is reported plainly.
    if (o.stats_path && !open_output(stats_out, o.stats_path, "frame statistics to")) return exit_io_error;
    if (!open_recording(o)) {
        if (o.stats_path) output_discard(stats_out);
        return exit_io_error;
    }
    if (o.stats_path) t.stats = stats_out.file;
    if (o.record_path) t.record = &recording;
    platform_api api{};
    const char* why = nullptr;
    if (!terminal_platform(api, t, &why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        if (o.stats_path) output_discard(stats_out);
        close_recording(o, false);
        return exit_io_error;
    }
    const int status = run_live(api, o);
    const bool record_ok = close_recording(o, true);
    if (!close_output(stats_out, o.stats_path) || !record_ok) return exit_io_error;
    return status;
}

int run_window(const demo_options& o)
{
    configure_music(o);
    window_options w;
    w.codepage = o.codepage;
    w.font_path = o.font_path;
    w.fullscreen = o.fullscreen;
    w.scale = o.scale;
    if (o.stats_path && !open_output(stats_out, o.stats_path, "frame statistics to")) return exit_io_error;
    if (o.stats_path) w.stats = stats_out.file;
    platform_api api{};
    const char* why = nullptr;
    if (!window_platform(api, w, &why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        if (o.stats_path) output_discard(stats_out);
        return exit_io_error;
    }
    const int status = run_live(api, o);
    if (!close_output(stats_out, o.stats_path)) return exit_io_error;
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    std::set_terminate(on_terminate);
    exit_signals_install();

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
    if (const char* overlap = outputs_overlap(o)) {
        std::fprintf(stderr, "glimfant: %s (see glimfant --help)\n", overlap);
        return exit_usage;
    }
    if (o.dump_pictures_path) {
        picture_setup();
        return write_whole(o.dump_pictures_path, write_pictures_file, "pictures to") ? 0 : exit_io_error;
    }
    if (o.write_score_path) {
        return write_whole(o.write_score_path, write_score_wav, "the score to") ? 0 : exit_io_error;
    }
    if (o.serve_listen || o.ssh_listen) return run_server(o);
    if (o.headless) return run_headless(o);
    if (o.window) return run_window(o);
    return run_terminal(o);
}
