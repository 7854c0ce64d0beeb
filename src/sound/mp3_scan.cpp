// The MP3 stream's frames found in a file's bytes (mp3_scan.h).
#include "sound/mp3_scan.h"

#include <cstring>

namespace {

bool same_stream(const mp3_frame_header& a, const mp3_frame_header& b)
{
    return a.rate == b.rate && a.channels == b.channels && a.mpeg1 == b.mpeg1;
}

// An ID3v2 tag before the stream: its length, at most n, else 0.
std::uint32_t id3v2_length(const unsigned char* p, std::uint32_t n)
{
    if (n < 10 || std::memcmp(p, "ID3", 3) != 0) return 0;
    const std::uint32_t size = (p[6] & 0x7Fu) << 21 | (p[7] & 0x7Fu) << 14 | (p[8] & 0x7Fu) << 7 | (p[9] & 0x7Fu);
    const std::uint32_t total = 10 + size + ((p[5] & 0x10) ? 10 : 0);
    return total <= n ? total : n;
}

// A Xing or Info frame carries no sound, only the stream's facts; with a LAME
// tag also the encoder's delay and padding (samples a channel). p holds the
// whole frame h.
bool read_info_frame(const unsigned char* p, const mp3_frame_header& h, int& delay, int& padding)
{
    const int at = 4 + h.side_bytes;  // the tag's offset in the frame
    if (at + 8 > h.bytes) return false;
    const unsigned char* tag = p + at;
    if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0) return false;
    delay = padding = 0;
    const std::uint32_t flags = static_cast<std::uint32_t>(tag[4]) << 24 | tag[5] << 16 | tag[6] << 8 | tag[7];
    const int offset = 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    // The LAME extension: 9 bytes of version, then 12 bytes, then 3 bytes of delay and padding.
    if (at + offset + 24 <= h.bytes && std::memcmp(tag + offset, "LAME", 4) == 0) {
        const unsigned char* d = tag + offset + 21;
        delay = d[0] << 4 | d[1] >> 4;
        padding = (d[1] & 0x0F) << 8 | d[2];
    }
    return true;
}

}  // namespace

bool mp3_read_header(const unsigned char* p, std::uint32_t n, mp3_frame_header& h)
{
    static constexpr int bitrates_v1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr int bitrates_v2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    static constexpr int rates_v1[4] = {44100, 48000, 32000, 0};
    if (n < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const int version = (p[1] >> 3) & 3;  // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    const int layer = (p[1] >> 1) & 3;    // 1: layer III
    const int bitrate_index = p[2] >> 4;
    const int rate_index = (p[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3) return false;
    h.mpeg1 = version == 3;
    h.rate = rates_v1[rate_index] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    h.bitrate = (h.mpeg1 ? bitrates_v1 : bitrates_v2)[bitrate_index];
    h.channels = (p[3] >> 6) == 3 ? 1 : 2;
    h.samples = h.mpeg1 ? 1152 : 576;
    const int padding = (p[2] >> 1) & 1;
    h.bytes = (h.mpeg1 ? 144000 : 72000) * h.bitrate / h.rate + padding;
    h.side_bytes = h.mpeg1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
    return true;
}

bool mp3_find_stream(const unsigned char* bytes, std::uint32_t n, mp3_stream& s)
{
    s = mp3_stream{};
    const std::uint32_t at = id3v2_length(bytes, n);
    mp3_frame_header& first = s.first;
    if (!mp3_read_header(bytes + at, n - at, first)) return false;
    // A file that ends inside its first frame holds no frame at all.
    const std::uint32_t left = n - at;
    if (static_cast<std::uint32_t>(first.bytes) > left) return false;
    mp3_frame_header next{};
    const std::uint32_t after = at + static_cast<std::uint32_t>(first.bytes);
    if (after < n && !(mp3_read_header(bytes + after, n - after, next) && same_stream(first, next))) return false;
    s.info_frame = read_info_frame(bytes + at, first, s.delay, s.padding);
    s.start = s.info_frame ? after : at;
    return true;
}

mp3_step mp3_next_frame(const unsigned char* bytes, std::uint32_t n, std::uint32_t at, const mp3_frame_header& first,
                        mp3_frame_header& h)
{
    if (at >= n) return mp3_end;
    if (!mp3_read_header(bytes + at, n - at, h) || !same_stream(h, first)) {
        // An ID3v1 tag or a few stray bytes end a stream; anything else is damage.
        return n - at > 128 && std::memcmp(bytes + at, "TAG", 3) != 0 ? mp3_damaged : mp3_end;
    }
    return static_cast<std::uint32_t>(h.bytes) > n - at ? mp3_end : mp3_frame;  // a truncated last frame
}
