// The MP3 scanner over any bytes: finding the stream and walking its frames
// stay within the bytes given, and the walk always moves on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sound/mp3_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto n = static_cast<std::uint32_t>(size);
    mp3_stream stream{};
    if (!mp3_find_stream(data, n, stream)) return 0;
    if (stream.start > n || stream.first.bytes < 4) std::abort();
    std::uint32_t at = stream.start;
    mp3_frame_header h{};
    while (mp3_next_frame(data, n, at, stream.first, h) == mp3_frame) {
        if (h.bytes < 4 || static_cast<std::uint32_t>(h.bytes) > n - at) std::abort();
        at += static_cast<std::uint32_t>(h.bytes);
    }
    return 0;
}
