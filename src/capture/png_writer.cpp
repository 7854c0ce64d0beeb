#include "capture/png_writer.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/printable.h"
#include "capture/output_file.h"

namespace {

constexpr unsigned char png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int color_type_palette = 3;
constexpr int palette_size = 16;

void put_u32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// A chunk: length, type, data, then the CRC of type and data.
void write_chunk(std::FILE* f, const char* type, const unsigned char* data, std::uint32_t length)
{
    unsigned char word[4];
    put_u32(word, length);
    std::fwrite(word, 1, 4, f);
    std::fwrite(type, 1, 4, f);
    if (length) std::fwrite(data, 1, length, f);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (length) crc = crc32(crc, data, length);
    put_u32(word, static_cast<std::uint32_t>(crc));
    std::fwrite(word, 1, 4, f);
}

}  // namespace

bool png_write(const char* path, const std::uint8_t* pixels, int width, int height,
               const std::uint8_t (*palette)[3], char* why, int size)
{
    output_file out;
    if (!output_open(out, path, why, size)) return false;

    // Every row starts with its filter byte; filter 0 (none) suits the flat
    // colours of a text screen, which deflate packs well as they are.
    const std::size_t row_bytes = static_cast<std::size_t>(width);
    const std::size_t raw_size = (row_bytes + 1) * static_cast<std::size_t>(height);
    uLongf packed_size = compressBound(static_cast<uLong>(raw_size));
    unsigned char* raw = static_cast<unsigned char*>(std::malloc(raw_size));
    unsigned char* packed = static_cast<unsigned char*>(std::malloc(packed_size));
    bool ok = raw && packed;
    if (ok) {
        for (int y = 0; y < height; ++y) {
            unsigned char* line = raw + static_cast<std::size_t>(y) * (row_bytes + 1);
            line[0] = 0;
            std::memcpy(line + 1, pixels + static_cast<std::size_t>(y) * row_bytes, row_bytes);
        }
        ok = compress2(packed, &packed_size, raw, static_cast<uLong>(raw_size), Z_BEST_COMPRESSION) == Z_OK;
    }
    if (ok) {
        unsigned char header[13];
        put_u32(header, static_cast<std::uint32_t>(width));
        put_u32(header + 4, static_cast<std::uint32_t>(height));
        header[8] = 8;  // bits per pixel index
        header[9] = color_type_palette;
        header[10] = header[11] = header[12] = 0;  // deflate, adaptive filters, no interlace
        std::fwrite(png_signature, 1, sizeof png_signature, out.file);
        write_chunk(out.file, "IHDR", header, sizeof header);
        write_chunk(out.file, "PLTE", palette[0], palette_size * 3);
        write_chunk(out.file, "IDAT", packed, static_cast<std::uint32_t>(packed_size));
        write_chunk(out.file, "IEND", nullptr, 0);
    }
    std::free(raw);
    std::free(packed);
    if (!ok) {
        std::snprintf(why, static_cast<std::size_t>(size), "cannot write '%s': out of memory", printable(path));
        output_discard(out);
        return false;
    }
    return output_commit(out, why, size);
}
