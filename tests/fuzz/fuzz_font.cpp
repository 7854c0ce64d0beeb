// The .hex font reader over any file: as it is (plain, or gzip when the bytes
// are gzip) and gzip-compressed. The code page is the file's length mod 3.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/cell_font.h"

namespace {

// A file in memory with those bytes; its name in path.
int memory_file(const void* bytes, std::size_t size, char (&path)[64])
{
    const int fd = memfd_create("font", 0);
    if (fd < 0 || (size && write(fd, bytes, size) != static_cast<ssize_t>(size))) std::abort();
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    return fd;
}

void load(const void* bytes, std::size_t size, int codepage)
{
    char path[64];
    const int fd = memory_file(bytes, size, path);
    static cell_font font;
    char why[512];
    why[0] = '\0';
    if (!font_load(font, path, codepage, why, sizeof why) && (!why[0] || std::strchr(why, '\n'))) std::abort();
    close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static constexpr int codepages[3] = {437, 850, 865};
    const int codepage = codepages[size % 3];
    load(data, size, codepage);

    static unsigned char packed[1 << 20];
    z_stream z{};
    if (size > sizeof packed / 2 || deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    z.next_in = const_cast<std::uint8_t*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = packed;
    z.avail_out = sizeof packed;
    const int done = deflate(&z, Z_FINISH);
    deflateEnd(&z);
    if (done != Z_STREAM_END) std::abort();
    load(packed, sizeof packed - z.avail_out, codepage);
    return 0;
}
