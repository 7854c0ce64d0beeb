// The MPEG layer III stream in a file's bytes, found and walked without a
// codec: frame headers, an ID3v2 tag before the stream, the Xing/Info frame
// with its LAME tag, and the frames one after another. Every read is bounded
// by the bytes present, whatever the headers and tags claim. The Windows
// decoder hands the frames found here to the system's codec.
#pragma once
#include <cstdint>

struct mp3_frame_header {
    int rate;         // samples a second, 8000..48000
    int channels;     // 1 or 2
    int bytes;        // the whole frame, header included, 24..1441
    int samples;      // samples a channel: 1152 (MPEG-1) or 576
    int bitrate;      // kbit/s
    bool mpeg1;
    int side_bytes;   // side information after the 4-byte header
};

// Where the sound starts and what the stream's first frame says.
struct mp3_stream {
    mp3_frame_header first;  // the stream's first frame (the info frame when there is one)
    std::uint32_t start;     // offset of the first frame of sound, after the tags
    int delay;               // encoder's delay (samples a channel) from a LAME tag, else 0
    int padding;             // encoder's padding at the end, likewise
    bool info_frame;         // a Xing or Info frame was skipped
};

// Reads a layer III frame header at p (n bytes present); false when there is none.
bool mp3_read_header(const unsigned char* p, std::uint32_t n, mp3_frame_header& h);

// Finds the stream in bytes (n of them). The first frame must follow any ID3v2
// tag at once, be whole, and be followed by a frame of the same stream or by
// the end of the file: a stray sync word in other data is not a stream.
// False when the bytes are not an MP3 stream.
bool mp3_find_stream(const unsigned char* bytes, std::uint32_t n, mp3_stream& stream);

enum mp3_step {
    mp3_frame,    // h is a whole frame of the stream at the offset
    mp3_end,      // the stream ends here: the file, a truncated frame, an ID3v1 tag or a few stray bytes
    mp3_damaged,  // something other than a frame of the stream follows
};

// The frame walk: what lies at offset at of bytes (n of them) in the stream
// whose first frame is first. After mp3_frame the next frame is at at + h.bytes.
mp3_step mp3_next_frame(const unsigned char* bytes, std::uint32_t n, std::uint32_t at,
                        const mp3_frame_header& first, mp3_frame_header& h);
