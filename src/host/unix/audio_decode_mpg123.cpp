// Soundtrack loading with libmpg123: the file checks and the whole-stream decode.
#include "sound/audio_decode.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int bytes_per_frame = 4;                     // two 16-bit samples
constexpr std::uint32_t first_guess_frames = 1u << 20;  // 24 s at 44.1 kHz
// Frames decoded between two looks at the stop flag: about a second.
constexpr std::uint32_t read_chunk_frames = 48000;

void say(char* why, int size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(why, static_cast<std::size_t>(size), format, args);
    va_end(args);
}

// The file may be named anything, but only a regular file with something in
// it is worth opening: a FIFO or a device could block or never end.
bool playable_kind(const struct stat& st, const char* shown, char* why, int size)
{
    if (!S_ISREG(st.st_mode)) {
        say(why, size, "'%s' is not a regular file", shown);
        return false;
    }
    if (st.st_size <= 0) {
        say(why, size, "'%s' is empty", shown);
        return false;
    }
    return true;
}

mpg123_handle* new_decoder()
{
    static const bool library_ready = mpg123_init() == MPG123_OK;
    if (!library_ready) return nullptr;
    int error = 0;
    mpg123_handle* decoder = mpg123_new(nullptr, &error);
    if (!decoder) return nullptr;
    // Quiet, because the terminal belongs to the picture. No resync: a file
    // that is not MP3 then fails fast instead of "decoding" false frame
    // headers as noise (a renamed WAV does exactly that otherwise).
    mpg123_param(decoder, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_NO_RESYNC | MPG123_NO_FRANKENSTEIN, 0);
    // Explicit output: stereo 16-bit at whatever MPEG rate the stream has
    // (a mono stream comes out on both channels).
    mpg123_format_none(decoder);
    const long* rates = nullptr;
    std::size_t rate_count = 0;
    mpg123_rates(&rates, &rate_count);
    for (std::size_t i = 0; i < rate_count; ++i)
        mpg123_format(decoder, rates[i], MPG123_STEREO, MPG123_ENC_SIGNED_16);
    return decoder;
}

// Makes room for at least one more frame; false when memory runs out.
bool grow(decoded_audio& audio, std::uint32_t& capacity, std::uint32_t limit)
{
    std::uint32_t wanted = capacity < limit / 2 ? capacity * 2 : limit;
    if (wanted <= audio.frames) wanted = audio.frames + 1;
    void* bigger = std::realloc(audio.samples, static_cast<std::size_t>(wanted) * bytes_per_frame);
    if (!bigger) return false;
    audio.samples = static_cast<std::int16_t*>(bigger);
    capacity = wanted;
    return true;
}

// Decodes the opened stream to its end (or to the length limit).
bool decode_stream(mpg123_handle* decoder, decoded_audio& audio, const char* shown, char* why, int size,
                   const std::atomic<bool>* stop)
{
    // Any rate is at most 48000, so this bounds the frames before the rate is known.
    std::uint32_t limit = decode_max_seconds * 48000;
    // Doubling from a first guess: the stream's own length claim could be
    // anything, and a large block grows in place.
    std::uint32_t capacity = first_guess_frames;
    audio.samples = static_cast<std::int16_t*>(std::malloc(static_cast<std::size_t>(capacity) * bytes_per_frame));
    if (!audio.samples) {
        say(why, size, "not enough memory to decode '%s'", shown);
        return false;
    }
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            say(why, size, "decoding '%s' was stopped", shown);
            return false;
        }
        if (audio.frames == capacity) {
            if (audio.frames >= limit) break;  // the rest is cut
            if (!grow(audio, capacity, limit)) {
                say(why, size, "not enough memory to decode '%s'", shown);
                return false;
            }
        }
        std::size_t done = 0;
        const std::uint32_t room = capacity - audio.frames;
        const std::uint32_t chunk = room < read_chunk_frames ? room : read_chunk_frames;
        const int result = mpg123_read(decoder, reinterpret_cast<unsigned char*>(audio.samples + audio.frames * 2),
                                       static_cast<std::size_t>(chunk) * bytes_per_frame, &done);
        audio.frames += static_cast<std::uint32_t>(done / bytes_per_frame);
        if (result == MPG123_OK) continue;
        if (result == MPG123_DONE) break;
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(decoder, &rate, &channels, &encoding);
            if (audio.rate != 0 && rate != audio.rate) break;  // a changed stream ends the soundtrack
            audio.rate = static_cast<int>(rate);
            const std::uint32_t rate_limit = decode_max_seconds * static_cast<std::uint32_t>(rate);
            if (rate_limit < limit) limit = rate_limit > audio.frames ? rate_limit : audio.frames;
            continue;
        }
        // A damaged stream plays up to the damage, but an error this early
        // means the file was never MP3.
        if (audio.rate == 0 || audio.frames < static_cast<std::uint32_t>(audio.rate)) {
            say(why, size, "'%s' is not an MP3 stream", shown);
            return false;
        }
        break;
    }
    if (audio.frames > limit) audio.frames = limit;
    if (audio.frames == 0 || audio.rate == 0) {
        say(why, size, "'%s' holds no MP3 sound", shown);
        return false;
    }
    return true;
}

}  // namespace

decode_status audio_decode(const char* name, decoded_audio& audio, char* why, int size, const std::atomic<bool>* stop)
{
    audio_free(audio);
    char shown[160];
    printable_copy(name, shown, sizeof shown);

    struct stat st{};
    if (stat(name, &st) != 0) {
        if (errno == ENOENT) return decode_absent;
        say(why, size, "cannot open '%s': %s", shown, std::strerror(errno));
        return decode_failed;
    }
    if (!playable_kind(st, shown, why, size)) return decode_failed;
    // Non-blocking, and checked again once open: the name may have been
    // swapped for a FIFO in between.
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        say(why, size, "cannot open '%s': %s", shown, std::strerror(errno));
        return decode_failed;
    }
    if (fstat(fd, &st) != 0) {
        say(why, size, "cannot open '%s': %s", shown, std::strerror(errno));
        close(fd);
        return decode_failed;
    }
    if (!playable_kind(st, shown, why, size)) {
        close(fd);
        return decode_failed;
    }

    mpg123_handle* decoder = new_decoder();
    bool ok = false;
    if (!decoder) {
        say(why, size, "cannot set up the MP3 decoder");
    } else if (mpg123_open_fd(decoder, fd) != MPG123_OK) {
        say(why, size, "'%s' is not an MP3 stream", shown);
    } else {
        ok = decode_stream(decoder, audio, shown, why, size, stop);
        mpg123_close(decoder);
    }
    if (decoder) mpg123_delete(decoder);
    close(fd);
    if (!ok) {
        audio_free(audio);
        return decode_failed;
    }
    return decode_ok;
}
