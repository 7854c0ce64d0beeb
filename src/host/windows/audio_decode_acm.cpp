// Soundtrack loading on Windows with the MP3 codec every Windows has, through
// the audio compression manager: the file is read whole, its MPEG layer III
// frames are found and checked by mp3_scan (no resync: a file that is not MP3
// fails fast) and handed to the codec a batch at a time; the PCM comes out stereo.
// As libmpg123 does on the other systems, the encoder's delay and padding
// named in a LAME tag are cut, so the sound starts on the first sample.
#include "sound/audio_decode.h"
#include "sound/mp3_scan.h"

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t max_file_bytes = 64u << 20;  // 600 s at 320 kbit/s is 24 MB
constexpr int frames_per_batch = 64;                 // MP3 frames a codec call
constexpr int max_frame_bytes = 2881;                // MPEG-1 layer III at 320 kbit/s, 32 kHz, padded
constexpr int decoder_delay = 529;                   // samples the synthesis filter lags behind

void say(char* why, int size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(why, static_cast<std::size_t>(size), format, args);
    va_end(args);
}

// Reads up to max_file_bytes of the open file; nullptr when reading fails.
unsigned char* read_file(HANDLE file, std::uint32_t& n)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return nullptr;
    n = size.QuadPart > max_file_bytes ? max_file_bytes : static_cast<std::uint32_t>(size.QuadPart);
    auto* bytes = static_cast<unsigned char*>(std::malloc(n));
    if (!bytes) return nullptr;
    DWORD got = 0;
    std::uint32_t done = 0;
    while (done < n && ReadFile(file, bytes + done, n - done, &got, nullptr) && got > 0) done += got;
    n = done;
    return bytes;
}

struct decoder {
    HACMSTREAM stream = nullptr;
    ACMSTREAMHEADER header{};
    unsigned char* pcm = nullptr;  // the codec's output for one batch
    bool prepared = false;
};

void close_decoder(decoder& d)
{
    if (d.prepared) acmStreamUnprepareHeader(d.stream, &d.header, 0);
    if (d.stream) acmStreamClose(d.stream, 0);
    std::free(d.pcm);
    d = decoder{};
}

// Opens the codec for the stream h describes, output 16-bit PCM at its own
// rate and channel count; src is the first batch's buffer.
bool open_decoder(decoder& d, const mp3_frame_header& h, unsigned char* src)
{
    MPEGLAYER3WAVEFORMAT in{};
    in.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    in.wfx.nChannels = static_cast<WORD>(h.channels);
    in.wfx.nSamplesPerSec = static_cast<DWORD>(h.rate);
    in.wfx.nAvgBytesPerSec = static_cast<DWORD>(h.bitrate * 125);
    in.wfx.nBlockAlign = 1;
    in.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    in.wID = MPEGLAYER3_ID_MPEG;
    in.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
    in.nBlockSize = static_cast<WORD>(h.bytes);
    in.nFramesPerBlock = 1;
    in.nCodecDelay = 0;
    WAVEFORMATEX out{};
    out.wFormatTag = WAVE_FORMAT_PCM;
    out.nChannels = static_cast<WORD>(h.channels);
    out.nSamplesPerSec = static_cast<DWORD>(h.rate);
    out.wBitsPerSample = 16;
    out.nBlockAlign = static_cast<WORD>(2 * h.channels);
    out.nAvgBytesPerSec = out.nSamplesPerSec * out.nBlockAlign;
    if (acmStreamOpen(&d.stream, nullptr, &in.wfx, &out, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) {
        d.stream = nullptr;
        return false;
    }
    // Room for every sample the batch can give, whatever the codec estimates.
    const DWORD pcm_bytes = static_cast<DWORD>((frames_per_batch + 2) * 1152 * 2 * h.channels);
    d.pcm = static_cast<unsigned char*>(std::malloc(pcm_bytes));
    if (!d.pcm) return false;
    d.header.cbStruct = sizeof d.header;
    d.header.pbSrc = src;
    d.header.cbSrcLength = frames_per_batch * max_frame_bytes;
    d.header.pbDst = d.pcm;
    d.header.cbDstLength = pcm_bytes;
    d.prepared = acmStreamPrepareHeader(d.stream, &d.header, 0) == 0;
    return d.prepared;
}

struct stream_cut {
    std::uint64_t skip;   // samples a channel to drop at the start
    std::uint64_t keep;   // samples a channel to keep after those, at most
    std::uint64_t seen;   // samples a channel the codec gave so far
};

// Appends the batch's PCM to audio as stereo, within the cut and the limit.
bool append(decoded_audio& audio, std::uint32_t& capacity, const decoder& d, int channels, stream_cut& cut,
            std::uint32_t limit)
{
    const auto* pcm = reinterpret_cast<const std::int16_t*>(d.pcm);
    const std::uint32_t n = d.header.cbDstLengthUsed / static_cast<DWORD>(2 * channels);
    for (std::uint32_t i = 0; i < n; ++i, ++cut.seen) {
        if (cut.seen < cut.skip || cut.seen - cut.skip >= cut.keep || audio.frames >= limit) continue;
        if (audio.frames == capacity) {
            const std::uint32_t wanted = capacity < limit / 2 ? capacity * 2 : limit;
            void* bigger = std::realloc(audio.samples, static_cast<std::size_t>(wanted) * 4);
            if (!bigger) return false;
            audio.samples = static_cast<std::int16_t*>(bigger);
            capacity = wanted;
        }
        audio.samples[audio.frames * 2] = pcm[i * channels];
        audio.samples[audio.frames * 2 + 1] = pcm[i * channels + channels - 1];
        ++audio.frames;
    }
    return true;
}

// Decodes the MP3 stream in bytes; false with why when it is no stream.
bool decode_bytes(const unsigned char* bytes, std::uint32_t n, decoded_audio& audio, const char* shown, char* why,
                  int size)
{
    mp3_stream stream{};
    if (!mp3_find_stream(bytes, n, stream)) {
        say(why, size, "'%s' is not an MP3 stream", shown);
        return false;
    }
    const mp3_frame_header& first = stream.first;
    std::uint32_t at = stream.start;
    const int delay = stream.delay, padding = stream.padding;
    stream_cut cut{static_cast<std::uint64_t>(delay + decoder_delay), ~0ull, 0};

    static unsigned char batch[frames_per_batch * max_frame_bytes];
    decoder d;
    if (!open_decoder(d, first, batch)) {
        close_decoder(d);
        say(why, size, "no MP3 codec for '%s' (%d Hz, %d channels)", shown, first.rate, first.channels);
        return false;
    }
    const std::uint32_t limit = decode_max_seconds * static_cast<std::uint32_t>(first.rate);
    std::uint32_t capacity = static_cast<std::uint32_t>(first.rate) * 16;
    audio.samples = static_cast<std::int16_t*>(std::malloc(static_cast<std::size_t>(capacity) * 4));
    audio.rate = first.rate;
    std::uint64_t stream_samples = 0;  // samples a channel in the frames handed over
    bool damaged = false, ok = audio.samples != nullptr, start = true;
    while (ok && !damaged && at < n && audio.frames < limit) {
        DWORD batch_bytes = 0;
        for (int f = 0; f < frames_per_batch && at < n; ++f) {
            mp3_frame_header h{};
            const mp3_step step = mp3_next_frame(bytes, n, at, first, h);
            if (step != mp3_frame) {
                damaged = step == mp3_damaged;
                at = n;
                break;
            }
            std::memcpy(batch + batch_bytes, bytes + at, static_cast<std::size_t>(h.bytes));
            batch_bytes += static_cast<DWORD>(h.bytes);
            at += static_cast<std::uint32_t>(h.bytes);
            stream_samples += static_cast<std::uint64_t>(h.samples);
        }
        const bool last = at >= n || damaged;
        d.header.cbSrcLength = batch_bytes;
        d.header.cbSrcLengthUsed = d.header.cbDstLengthUsed = 0;
        DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN;
        if (start) flags |= ACM_STREAMCONVERTF_START;
        if (last) flags |= ACM_STREAMCONVERTF_END;
        start = false;
        if (acmStreamConvert(d.stream, &d.header, flags) != 0) {
            damaged = true;
            break;
        }
        if (last && padding > 0) {
            const auto cut_off = static_cast<std::uint64_t>(delay + padding);
            cut.keep = stream_samples > cut_off ? stream_samples - cut_off : 0;
        }
        ok = append(audio, capacity, d, first.channels, cut, limit);
    }
    close_decoder(d);
    if (!ok) {
        say(why, size, "not enough memory to decode '%s'", shown);
        return false;
    }
    // A damaged stream plays up to the damage, but damage this early means
    // the file was never MP3.
    if (damaged && audio.frames < static_cast<std::uint32_t>(audio.rate)) {
        say(why, size, "'%s' is not an MP3 stream", shown);
        return false;
    }
    if (audio.frames == 0) {
        say(why, size, "'%s' holds no MP3 sound", shown);
        return false;
    }
    return true;
}

}  // namespace

// The whole file is decoded at the music start here, so nothing stops it early.
decode_status audio_decode(const char* name, decoded_audio& audio, char* why, int size, const std::atomic<bool>*)
{
    audio_free(audio);
    char shown[160];
    printable_copy(name, shown, sizeof shown);

    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return decode_absent;
        say(why, size, "cannot open '%s' (error %lu)", shown, static_cast<unsigned long>(error));
        return decode_failed;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        say(why, size, "'%s' is not a regular file", shown);
        return decode_failed;
    }
    const HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        say(why, size, "cannot open '%s' (error %lu)", shown, static_cast<unsigned long>(GetLastError()));
        return decode_failed;
    }
    // A device or a pipe could block or never end.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        say(why, size, "'%s' is not a regular file", shown);
        return decode_failed;
    }
    std::uint32_t n = 0;
    unsigned char* bytes = read_file(file, n);
    CloseHandle(file);
    if (!bytes) {
        say(why, size, "cannot read '%s'", shown);
        return decode_failed;
    }
    if (n == 0) {
        std::free(bytes);
        say(why, size, "'%s' is empty", shown);
        return decode_failed;
    }
    const bool ok = decode_bytes(bytes, n, audio, shown, why, size);
    std::free(bytes);
    if (!ok) {
        audio_free(audio);
        return decode_failed;
    }
    return decode_ok;
}
