#include "host/headless/headless.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "capture/asciicast.h"
#include "terminal/ansi_encoder.h"

namespace {

headless_options opts;
std::uint32_t frames_presented = 0;  // frames presented since the music start
std::int64_t music_shift = 0;        // added to the virtual music time by a seek
bool music_started = false;
headless_write_errors write_errors;  // the first failure of each file
bool hook_stopped = false;     // the frame hook asked to end the show
bool ansi_taken_over = false;  // the byte stream has its take-over and no restore yet
ansi_encoder encoder;           // the 80 x 25 terminal the byte stream is for
char ansi_bytes[ansi_frame_capacity];

// The byte stream goes to the --ansi file and to the recording, where it
// plays at the virtual clock: take-over, start picture and frame 0 at 0 s,
// frame k at k x frame_ms, the restore a frame after the last frame.
void ansi_write(const char* bytes, std::size_t n)
{
    const bool written = !opts.ansi || std::fwrite(bytes, 1, n, opts.ansi) == n;
    if (!written && !write_errors.ansi) write_errors.ansi = errno ? errno : EIO;
    if (opts.record) cast_output(*opts.record, std::int64_t{frame_ms} * 1000 * frames_presented, bytes, n);
}

std::uint32_t headless_tick_count()
{
    return opts.start_tick + frame_ms * frames_presented;
}

bool headless_wait_for_space() { return true; }

bool headless_escape_down() { return hook_stopped || (music_started && frames_presented >= opts.frames); }

std::uint32_t headless_pace(std::uint32_t deadline) { return deadline; }

void headless_present(const screen_cell* cells, int width, int height)
{
    if (opts.ansi || opts.record)
        ansi_write(ansi_bytes, static_cast<std::size_t>(encode_frame(encoder, cells, ansi_bytes)));
    // The start picture is presented before the music starts; it is not a frame.
    if (!music_started) {
        if (opts.start_hook) opts.start_hook(cells);
        return;
    }
    if (opts.dump) {
        unsigned char bytes[screen_cells * 2];
        const int n = width * height;
        for (int i = 0; i < n; ++i) {
            bytes[2 * i] = static_cast<unsigned char>(cells[i] & 0xFF);
            bytes[2 * i + 1] = static_cast<unsigned char>(cells[i] >> 8);
        }
        const bool written = std::fwrite(bytes, 2, static_cast<std::size_t>(n), opts.dump) == static_cast<std::size_t>(n);
        if (!written && !write_errors.dump) write_errors.dump = errno ? errno : EIO;
    }
    if (opts.frame_hook && !opts.frame_hook(cells, frames_presented)) hook_stopped = true;
    ++frames_presented;
}

int headless_music_start(const char*)
{
    music_started = true;
    return 1;
}

std::int32_t headless_music_time()
{
    const std::int64_t t = static_cast<std::int64_t>(frames_presented) * opts.step_ms + music_shift;
    return t > INT32_MAX ? INT32_MAX : t < 0 ? 0 : static_cast<std::int32_t>(t);
}

// The next frame reads ms; the frames after it step on from there.
void headless_music_seek(std::int32_t ms)
{
    music_shift = ms - static_cast<std::int64_t>(frames_presented) * opts.step_ms;
}

void headless_shutdown()
{
    if (!ansi_taken_over) return;
    ansi_write(ansi_restore, std::strlen(ansi_restore));
    ansi_taken_over = false;
}

}  // namespace

platform_api headless_platform(const headless_options& options)
{
    opts = options;
    frames_presented = 0;
    music_shift = 0;
    music_started = false;
    write_errors = headless_write_errors{};
    hook_stopped = false;
    ansi_taken_over = false;
    if (opts.record) {
        // Fixed, so that the same options give the same file: the virtual
        // clock starts at the epoch, and the stream suits an xterm-like terminal.
        cast_header header;
        header.term = "xterm-256color";
        cast_write_header(*opts.record, header);
    }
    if (opts.ansi || opts.record) {
        encoder_init(encoder, opts.codepage, opts.color, screen_width, screen_height);
        ansi_write(ansi_takeover, std::strlen(ansi_takeover));
        ansi_taken_over = true;
    }
    return platform_api{headless_tick_count, headless_wait_for_space, headless_escape_down,
                        headless_pace,       headless_present,        headless_music_start,
                        headless_music_time, headless_shutdown,       nullptr,
                        nullptr,             headless_music_seek};
}

headless_write_errors headless_write_failures() { return write_errors; }
