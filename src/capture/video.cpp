#include "capture/video.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/printable.h"
#include "capture/output_file.h"
#include "capture/screen_image.h"
#include "capture/video_libraries.h"

namespace {

constexpr int audio_bit_rate = 192000;
// Fast enough for the whole show in well under its running time on two
// cores; the constant quality, tuned for fidelity, keeps every cell its
// colour. The small video: about 30 s of processor time a show, about 100 MB.
// The large one has four times the pixels, but doubled pixels are smooth
// blocks that the fastest preset codes well: about 40 s and 240 MB, each
// scene's cells within 41 dB of the picture renderer's.
constexpr char small_preset[] = "superfast";
constexpr char small_crf[] = "23";
constexpr char large_preset[] = "ultrafast";
constexpr char large_crf[] = "26";

struct video_state {
    output_file out;
    const cell_font* font;
    int scale;                  // video pixels a side for each VGA pixel: 1 or 2
    video_sound sound;
    std::uint32_t frame_count;
    std::uint32_t frames_done;
    bool progress_shown;        // a progress line waits for its newline
    std::uint32_t sound_end;    // sample frames to encode in all
    std::uint32_t sound_done;   // sample frames encoded so far
    AVFormatContext* format;
    AVCodecContext* picture_encoder;
    AVCodecContext* sound_encoder;
    AVStream* picture_stream;
    AVStream* sound_stream;
    AVFrame* picture;
    AVFrame* sound_frame;
    AVPacket* packet;
    std::uint8_t* pixels;       // image_pixels colour numbers
    std::uint8_t luma[16];      // Y, Cb and Cr of each console colour
    std::uint8_t blue_diff[16];
    std::uint8_t red_diff[16];
    char error[output_path_capacity + 256];  // the first error, "" while all is well
};

video_state v;

bool fail(const char* what, int code)
{
    if (v.error[0]) return false;
    char text[128] = "";
    if (code) ff.av_strerror(code, text, sizeof text);
    std::snprintf(v.error, sizeof v.error, "cannot write the video '%s': %s%s%s", printable(v.out.path), what,
                  code ? ": " : "", text);
    return false;
}

// Sends a frame (nullptr: the end) to an encoder and writes what comes out.
bool encode(AVCodecContext* encoder, AVStream* stream, const AVFrame* frame)
{
    int r = ff.avcodec_send_frame(encoder, frame);
    if (r < 0) return fail("encoding failed", r);
    for (;;) {
        r = ff.avcodec_receive_packet(encoder, v.packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return fail("encoding failed", r);
        ff.av_packet_rescale_ts(v.packet, encoder->time_base, stream->time_base);
        v.packet->stream_index = stream->index;
        r = ff.av_interleaved_write_frame(v.format, v.packet);
        if (r < 0) return fail("writing failed", r);
    }
}

// Encodes the sound up to sample frame end, in whole encoder frames, and the
// shorter last one when end is the end of the sound.
bool encode_sound(std::uint32_t end)
{
    if (!v.sound_encoder) return true;
    const std::uint32_t step = static_cast<std::uint32_t>(v.sound_encoder->frame_size);
    while (v.sound_done < end && (end - v.sound_done >= step || end == v.sound_end)) {
        const std::uint32_t n = end - v.sound_done < step ? end - v.sound_done : step;
        if (ff.av_frame_make_writable(v.sound_frame) < 0) return fail("out of memory", 0);
        v.sound_frame->nb_samples = static_cast<int>(n);
        float* left = reinterpret_cast<float*>(v.sound_frame->data[0]);
        float* right = reinterpret_cast<float*>(v.sound_frame->data[1]);
        const std::int16_t* in = v.sound.samples + 2 * static_cast<std::size_t>(v.sound_done);
        for (std::uint32_t i = 0; i < n; ++i) {
            left[i] = static_cast<float>(in[2 * i]) / 32768.0f;
            right[i] = static_cast<float>(in[2 * i + 1]) / 32768.0f;
        }
        v.sound_frame->pts = v.sound_done;
        if (!encode(v.sound_encoder, v.sound_stream, v.sound_frame)) return false;
        v.sound_done += n;
    }
    return true;
}

std::uint8_t to_byte(double value) { return static_cast<std::uint8_t>(value + 0.5); }

// The console colours in BT.601 video range, as players expect 4:2:0 video.
void make_yuv_palette()
{
    for (int c = 0; c < 16; ++c) {
        const double r = console_rgb[c][0], g = console_rgb[c][1], b = console_rgb[c][2];
        v.luma[c] = to_byte(16.0 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0);
        v.blue_diff[c] = to_byte(128.0 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0);
        v.red_diff[c] = to_byte(128.0 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0);
    }
}

// The luma that brings a pixel of colour c closest to its own red, green and
// blue when shown with the chroma of its block, (cb, cr).
std::uint8_t corrected_luma(int c, int cb, int cr)
{
    const double red = 1.596 * (cr - 128), green = -0.392 * (cb - 128) - 0.813 * (cr - 128),
                 blue = 2.017 * (cb - 128);
    const double level = (console_rgb[c][0] - red + console_rgb[c][1] - green + console_rgb[c][2] - blue) / 3.0;
    const double y = 16.0 + level / 1.164;
    return to_byte(y < 16.0 ? 16.0 : y > 235.0 ? 235.0 : y);
}

// Colour numbers to the three planes, each VGA pixel 2 x 2: a chroma sample
// covers exactly one VGA pixel, so every pixel keeps its own colour.
void convert_picture_doubled()
{
    AVFrame* f = v.picture;
    for (int y = 0; y < image_height; ++y) {
        const std::uint8_t* row = v.pixels + y * image_width;
        std::uint8_t* luma_top = f->data[0] + 2 * y * f->linesize[0];
        std::uint8_t* luma_bottom = luma_top + f->linesize[0];
        std::uint8_t* cb = f->data[1] + y * f->linesize[1];
        std::uint8_t* cr = f->data[2] + y * f->linesize[2];
        for (int x = 0; x < image_width; ++x) {
            const int c = row[x];
            luma_top[2 * x] = luma_top[2 * x + 1] = v.luma[c];
            cb[x] = v.blue_diff[c];
            cr[x] = v.red_diff[c];
        }
        std::memcpy(luma_bottom, luma_top, 2 * image_width);
    }
}

// Colour numbers to the three planes, one video pixel each. Chroma is the
// mean of each 2 x 2 block; where a block mixes colours (a glyph's edge), each
// pixel's luma makes up for the chroma it shares, so the colours of a cell
// keep their mean.
void convert_picture()
{
    AVFrame* f = v.picture;
    for (int y = 0; y < image_height / 2; ++y) {
        const std::uint8_t* top = v.pixels + 2 * y * image_width;
        const std::uint8_t* bottom = top + image_width;
        std::uint8_t* luma_top = f->data[0] + 2 * y * f->linesize[0];
        std::uint8_t* luma_bottom = luma_top + f->linesize[0];
        std::uint8_t* cb = f->data[1] + y * f->linesize[1];
        std::uint8_t* cr = f->data[2] + y * f->linesize[2];
        for (int x = 0; x < image_width / 2; ++x) {
            const int a = top[2 * x], b = top[2 * x + 1], c = bottom[2 * x], d = bottom[2 * x + 1];
            cb[x] = static_cast<std::uint8_t>((v.blue_diff[a] + v.blue_diff[b] + v.blue_diff[c] + v.blue_diff[d] + 2) / 4);
            cr[x] = static_cast<std::uint8_t>((v.red_diff[a] + v.red_diff[b] + v.red_diff[c] + v.red_diff[d] + 2) / 4);
            if (a == b && a == c && a == d) {
                luma_top[2 * x] = luma_top[2 * x + 1] = luma_bottom[2 * x] = luma_bottom[2 * x + 1] = v.luma[a];
                continue;
            }
            luma_top[2 * x] = corrected_luma(a, cb[x], cr[x]);
            luma_top[2 * x + 1] = corrected_luma(b, cb[x], cr[x]);
            luma_bottom[2 * x] = corrected_luma(c, cb[x], cr[x]);
            luma_bottom[2 * x + 1] = corrected_luma(d, cb[x], cr[x]);
        }
    }
}

bool open_picture_encoder()
{
    const AVCodec* codec = ff.avcodec_find_encoder_by_name("libx264");
    if (!codec) codec = ff.avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec) return fail("this FFmpeg has no H.264 encoder", 0);
    AVCodecContext* c = v.picture_encoder = ff.avcodec_alloc_context3(codec);
    v.picture_stream = ff.avformat_new_stream(v.format, nullptr);
    if (!c || !v.picture_stream) return fail("out of memory", 0);
    c->width = image_width * v.scale;
    c->height = image_height * v.scale;
    if (v.scale == 2) {
        // A VGA text screen is seen at 4:3; players stretch the doubled
        // 720 x 400 to 1440 x 1080 (or 1067 x 800) by this pixel shape.
        c->sample_aspect_ratio = AVRational{20, 27};
    }
    c->time_base = AVRational{1, frames_per_second};
    c->framerate = AVRational{frames_per_second, 1};
    c->gop_size = 2 * frames_per_second;
    // 4:2:0, which every player shows; the colours are converted as BT.601
    // video range and labelled so.
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->color_range = AVCOL_RANGE_MPEG;
    c->colorspace = AVCOL_SPC_SMPTE170M;
    c->color_primaries = AVCOL_PRI_SMPTE170M;
    c->color_trc = AVCOL_TRC_SMPTE170M;
    if (v.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ff.av_opt_set(c->priv_data, "preset", v.scale == 2 ? large_preset : small_preset, 0);
    ff.av_opt_set(c->priv_data, "crf", v.scale == 2 ? large_crf : small_crf, 0);
    ff.av_opt_set(c->priv_data, "tune", "psnr", 0);
    int r = ff.avcodec_open2(c, codec, nullptr);
    if (r < 0) return fail("cannot open the H.264 encoder", r);
    r = ff.avcodec_parameters_from_context(v.picture_stream->codecpar, c);
    if (r < 0) return fail("cannot open the H.264 encoder", r);
    v.picture_stream->time_base = c->time_base;
    v.picture_stream->avg_frame_rate = c->framerate;
    v.picture_stream->sample_aspect_ratio = c->sample_aspect_ratio;

    v.picture = ff.av_frame_alloc();
    if (!v.picture) return fail("out of memory", 0);
    v.picture->format = c->pix_fmt;
    v.picture->width = c->width;
    v.picture->height = c->height;
    v.picture->color_range = c->color_range;
    v.picture->colorspace = c->colorspace;
    if ((r = ff.av_frame_get_buffer(v.picture, 0)) < 0) return fail("out of memory", r);
    v.pixels = static_cast<std::uint8_t*>(std::malloc(image_pixels));
    if (!v.pixels) return fail("out of memory", 0);
    make_yuv_palette();
    return true;
}

bool open_sound_encoder()
{
    const AVCodec* codec = ff.avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) return fail("this FFmpeg has no AAC encoder", 0);
    AVCodecContext* c = v.sound_encoder = ff.avcodec_alloc_context3(codec);
    v.sound_stream = ff.avformat_new_stream(v.format, nullptr);
    if (!c || !v.sound_stream) return fail("out of memory", 0);
    c->sample_fmt = AV_SAMPLE_FMT_FLTP;
    c->sample_rate = v.sound.rate;
    ff.av_channel_layout_default(&c->ch_layout, 2);
    c->bit_rate = audio_bit_rate;
    c->time_base = AVRational{1, v.sound.rate};
    if (v.format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ff.av_opt_set(c->priv_data, "aac_coder", "fast", 0);
    int r = ff.avcodec_open2(c, codec, nullptr);
    if (r < 0) return fail("cannot open the AAC encoder", r);
    r = ff.avcodec_parameters_from_context(v.sound_stream->codecpar, c);
    if (r < 0) return fail("cannot open the AAC encoder", r);
    v.sound_stream->time_base = c->time_base;

    v.sound_frame = ff.av_frame_alloc();
    if (!v.sound_frame) return fail("out of memory", 0);
    v.sound_frame->format = c->sample_fmt;
    v.sound_frame->nb_samples = c->frame_size;
    v.sound_frame->sample_rate = c->sample_rate;
    if ((r = ff.av_channel_layout_copy(&v.sound_frame->ch_layout, &c->ch_layout)) < 0 ||
        (r = ff.av_frame_get_buffer(v.sound_frame, 0)) < 0)
        return fail("out of memory", r);
    return true;
}

void free_all()
{
    if (!ff.avformat_free_context) return;  // nothing was made without the libraries
    if (v.format && v.format->pb) ff.avio_closep(&v.format->pb);
    ff.avformat_free_context(v.format);
    ff.avcodec_free_context(&v.picture_encoder);
    ff.avcodec_free_context(&v.sound_encoder);
    ff.av_frame_free(&v.picture);
    ff.av_frame_free(&v.sound_frame);
    ff.av_packet_free(&v.packet);
    std::free(v.pixels);
    v.format = nullptr;
    v.pixels = nullptr;
}

void progress_line()
{
    std::fprintf(stderr, "\rglimfant: video %u of %u s (%u of %u frames)",
                 v.frames_done / frames_per_second, v.frame_count / frames_per_second, v.frames_done, v.frame_count);
    std::fflush(stderr);
    v.progress_shown = true;
}

}  // namespace

bool video_start(const char* path, std::uint32_t frame_count, video_size picture_size,
                 const cell_font& font, const video_sound& sound, char* why, int size)
{
    video_discard();
    if (!video_libraries_load(why, size)) return false;
    v = video_state{};
    v.font = &font;
    v.scale = picture_size == video_small ? 1 : 2;
    v.sound = sound;
    v.frame_count = frame_count;
    // libavformat writes the file itself, by name; until the end the
    // temporary file is on the clean-up list. The index is moved to the
    // front at the end, which a FIFO or a device cannot take.
    if (!output_prepare(v.out, path, why, size)) return false;
    if (!v.out.temp_path[0]) {
        std::snprintf(why, static_cast<std::size_t>(size), "cannot write the video '%s': not a regular file",
                      printable(path));
        return false;
    }

    const std::uint64_t sound_limit = static_cast<std::uint64_t>(frame_count) * static_cast<std::uint64_t>(sound.rate) / frames_per_second;
    v.sound_end = sound.samples ? static_cast<std::uint32_t>(sound.frames < sound_limit ? sound.frames : sound_limit) : 0;

    char temp_url[output_path_capacity + 8];
    std::snprintf(temp_url, sizeof temp_url, "file:%s", output_write_name(v.out));
    // Errors come back as codes and are reported in one line here.
    ff.av_log_set_level(AV_LOG_QUIET);
    // The container is named, as the temporary name has no .mp4 ending; the
    // name is kept for the second pass that moves the index to the front.
    int r = ff.avformat_alloc_output_context2(&v.format, ff.av_guess_format("mp4", nullptr, nullptr), nullptr, temp_url);
    bool ok = r >= 0 ? true : fail("cannot set up the MP4 container", r);
    ok = ok && (v.packet = ff.av_packet_alloc()) != nullptr;
    ok = ok && open_picture_encoder();
    ok = ok && (!sound.samples || open_sound_encoder());
    if (ok && (r = ff.avio_open(&v.format->pb, temp_url, AVIO_FLAG_WRITE)) < 0) ok = fail("cannot open the file", r);
    if (ok) {
        // The index goes to the front, so that playback over a network starts at once.
        AVDictionary* options = nullptr;
        ff.av_dict_set(&options, "movflags", "+faststart", 0);
        r = ff.avformat_write_header(v.format, &options);
        ff.av_dict_free(&options);
        if (r < 0) ok = fail("cannot write the MP4 header", r);
    }
    if (!ok) {
        std::snprintf(why, static_cast<std::size_t>(size), "%s", v.error[0] ? v.error : "cannot write the video: out of memory");
        video_discard();
        return false;
    }
    return true;
}

bool video_available(char* why, int size) { return video_libraries_load(why, size); }

bool video_add_frame(const screen_cell* cells)
{
    if (v.error[0] || !v.format) return false;
    draw_screen_image(*v.font, cells, v.pixels);
    if (ff.av_frame_make_writable(v.picture) < 0) return fail("out of memory", 0);
    if (v.scale == 2) {
        convert_picture_doubled();
    } else {
        convert_picture();
    }
    v.picture->pts = v.frames_done;
    if (!encode(v.picture_encoder, v.picture_stream, v.picture)) return false;
    ++v.frames_done;
    const std::uint64_t heard = static_cast<std::uint64_t>(v.frames_done) * static_cast<std::uint64_t>(v.sound.rate) / frames_per_second;
    if (!encode_sound(static_cast<std::uint32_t>(heard < v.sound_end ? heard : v.sound_end))) return false;
    if (v.frames_done % frames_per_second == 0 || v.frames_done == v.frame_count) progress_line();
    return true;
}

bool video_finish(char* why, int size)
{
    bool ok = !v.error[0] && v.format;
    if (v.progress_shown) std::fputc('\n', stderr);
    ok = ok && encode_sound(v.sound_end);
    ok = ok && encode(v.picture_encoder, v.picture_stream, nullptr);
    ok = ok && (!v.sound_encoder || encode(v.sound_encoder, v.sound_stream, nullptr));
    if (ok) {
        const int r = ff.av_write_trailer(v.format);
        if (r < 0) ok = fail("cannot write the MP4 index", r);
    }
    if (ok) {
        const int r = ff.avio_closep(&v.format->pb);
        if (r < 0) ok = fail("writing failed", r);
    }
    if (!ok) {
        std::snprintf(why, static_cast<std::size_t>(size), "%s", v.error[0] ? v.error : "no video was started");
        video_discard();
        return false;
    }
    free_all();
    const bool committed = output_commit(v.out, why, size);
    return committed;
}

void video_discard()
{
    free_all();
    output_discard(v.out);
}
