// The MP3 scanner the Windows decoder uses, on streams built byte by byte and
// on one lame made: what is a stream, where its sound starts, where it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sound/mp3_scan.h"
#include "scratch_dir.h"

namespace {

using bytes = std::vector<unsigned char>;

constexpr unsigned char stereo_44100[4] = {0xFF, 0xFB, 0x90, 0x64};  // MPEG-1, 128 kbit/s: 417 bytes
constexpr int frame_bytes = 417;
constexpr int tag_offset = 4 + 32;  // after the header and the stereo side information

bytes frame(const unsigned char (&header)[4] = stereo_44100, int size = frame_bytes)
{
    bytes f(static_cast<std::size_t>(size), 0x55);
    std::memcpy(f.data(), header, 4);
    return f;
}

// An ID3v2 tag of 20 bytes, an Info frame whose LAME tag says 576 samples of
// delay and 1000 of padding, three frames of sound, an ID3v1 tag.
bytes tagged_stream()
{
    bytes s = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20};
    s.resize(30, 0);
    bytes info = frame();
    std::memcpy(&info[tag_offset], "Info\0\0\0\x0F", 8);  // frames, bytes, table of contents, quality
    const int lame = tag_offset + 8 + 4 + 4 + 100 + 4;
    std::memcpy(&info[lame], "LAME", 4);
    info[lame + 21] = 576 >> 4;
    info[lame + 22] = (576 & 0x0F) << 4 | 1000 >> 8;
    info[lame + 23] = 1000 & 0xFF;
    s.insert(s.end(), info.begin(), info.end());
    for (int i = 0; i < 3; ++i) {
        const bytes f = frame();
        s.insert(s.end(), f.begin(), f.end());
    }
    s.push_back('T'), s.push_back('A'), s.push_back('G');
    s.resize(s.size() + 125, ' ');
    return s;
}

// Walks the stream: the frames found and how the walk ended.
int walk(const bytes& b, const mp3_stream& s, mp3_step& last)
{
    int frames = 0;
    std::uint32_t at = s.start;
    mp3_frame_header h{};
    while ((last = mp3_next_frame(b.data(), static_cast<std::uint32_t>(b.size()), at, s.first, h)) == mp3_frame) {
        at += static_cast<std::uint32_t>(h.bytes);
        ++frames;
    }
    return frames;
}

bool find(const bytes& b, mp3_stream& s) { return mp3_find_stream(b.data(), static_cast<std::uint32_t>(b.size()), s); }

TEST(mp3_scan, a_tagged_stream_starts_after_its_info_frame_with_the_encoders_delay_and_padding)
{
    const bytes b = tagged_stream();
    mp3_stream s{};
    ASSERT_TRUE(find(b, s));
    EXPECT_TRUE(s.info_frame);
    EXPECT_EQ(s.start, 30u + frame_bytes);
    EXPECT_EQ(s.delay, 576);
    EXPECT_EQ(s.padding, 1000);
    EXPECT_EQ(s.first.rate, 44100);
    EXPECT_EQ(s.first.channels, 2);
    mp3_step last{};
    EXPECT_EQ(walk(b, s, last), 3);
    EXPECT_EQ(last, mp3_end);  // the ID3v1 tag ends it
}

TEST(mp3_scan, every_cut_of_a_stream_is_read_within_its_bytes)
{
    // Run under the address sanitizer, a read past the cut is a failure.
    const bytes whole = tagged_stream();
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const bytes b(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        mp3_stream s{};
        const bool found = find(b, s);
        // Ending inside the first frame (or a few bytes after it) is no stream.
        EXPECT_EQ(found, n == 30 + frame_bytes || n >= 30 + frame_bytes + 4) << n;
        mp3_step last{};
        if (found) {
            EXPECT_EQ(walk(b, s, last), std::min<int>(3, static_cast<int>(n - 30) / frame_bytes - 1)) << n;
        }
    }
}

TEST(mp3_scan, what_is_no_stream_is_refused)
{
    const unsigned char mono_22050[4] = {0xFF, 0xF3, 0x90, 0xC4};  // MPEG-2, mono
    bytes two_streams = frame();
    const bytes other = frame(mono_22050, 100);
    two_streams.insert(two_streams.end(), other.begin(), other.end());
    const bytes huge_id3 = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 0xFF, 0xFB, 0x90, 0x64};
    for (const bytes& b : {bytes{0xFF, 0xFB, 0x90, 0x64}, bytes{0xFF, 0xFB, 0x90, 0x64, 0xFF, 0xFB, 0x90, 0x64},
                           bytes(4000, 0), two_streams, huge_id3, bytes{}}) {
        mp3_stream s{};
        EXPECT_FALSE(find(b, s)) << b.size();
    }
}

TEST(mp3_scan, a_few_stray_bytes_end_a_stream_and_more_are_damage)
{
    const bytes one = frame();
    bytes b;
    for (int i = 0; i < 3; ++i) b.insert(b.end(), one.begin(), one.end());
    mp3_stream s{};
    bytes stray = b;
    stray.resize(b.size() + 128, 0);
    ASSERT_TRUE(find(stray, s));
    EXPECT_FALSE(s.info_frame);
    mp3_step last{};
    EXPECT_EQ(walk(stray, s, last), 3);
    EXPECT_EQ(last, mp3_end);
    stray.push_back(0);
    EXPECT_EQ(walk(stray, s, last), 3);
    EXPECT_EQ(last, mp3_damaged);
}

TEST(mp3_scan, lames_own_stream_gives_back_the_length_it_was_made_from)
{
    const scratch_dir scratch("mp3");
    const std::string& dir = scratch.dir;
    const std::string make = "cd '" + dir + "'" +
                             " && sox -R -n -r 44100 -c 2 -b 16 tone.wav synth 1 sine 440 vol 0.5"
                             " && lame --quiet -b 128 tone.wav tone.mp3";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    std::ifstream in(dir + "/tone.mp3", std::ios::binary);
    const bytes b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    mp3_stream s{};
    ASSERT_TRUE(find(b, s));
    ASSERT_TRUE(s.info_frame);
    mp3_step last{};
    const int frames = walk(b, s, last);
    EXPECT_EQ(last, mp3_end);
    EXPECT_EQ(frames * 1152 - s.delay - s.padding, 44100);
}

}  // namespace
