// The WAV writer: a 44-byte RIFF header, then the samples in little-endian
// order, rendered and written 4096 frames at a time.
#include "score/score_wav.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "score/score.h"

namespace {

void write_le(unsigned char* at, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

bool write_score_wav(const char* path)
{
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const std::uint32_t length_frames = score_length_frames();
    const std::uint32_t data_bytes = length_frames * 4;
    unsigned char header[44];
    std::memcpy(header, "RIFF", 4);
    write_le(header + 4, 36 + data_bytes, 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    write_le(header + 16, 16, 4);
    write_le(header + 20, 1, 2);  // integer samples
    write_le(header + 22, 2, 2);
    write_le(header + 24, score_rate, 4);
    write_le(header + 28, score_rate * 4, 4);
    write_le(header + 32, 4, 2);
    write_le(header + 34, 16, 2);
    std::memcpy(header + 36, "data", 4);
    write_le(header + 40, data_bytes, 4);
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;

    constexpr std::uint32_t chunk = 4096;
    std::int16_t samples[chunk * 2];
    unsigned char bytes[chunk * 4];
    score_reset();
    for (std::uint32_t done = 0; ok && done < length_frames; done += chunk) {
        const std::uint32_t n = length_frames - done < chunk ? length_frames - done : chunk;
        score_render(samples, n);
        for (std::uint32_t i = 0; i < 2 * n; ++i)
            write_le(bytes + 2 * i, static_cast<std::uint16_t>(samples[i]), 2);
        ok = std::fwrite(bytes, 1, 4 * static_cast<std::size_t>(n), f) == 4 * static_cast<std::size_t>(n);
    }
    score_reset();
    if (std::fclose(f) != 0) ok = false;
    return ok;
}
