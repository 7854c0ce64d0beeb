// Pictures and video as a user makes them: the real binary, checked with
// FFmpeg's own tools (ffprobe, ffmpeg), never with our own decoder.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace {

using e2e::output_of;
using e2e::run;
using e2e::run_result;
constexpr int width = 720, height = 400;       // 80 x 25 cells of 9 x 16 pixels: a picture, a small video
constexpr int frame_bytes = width * height * 3;
constexpr int large_width = 2 * width, large_height = 2 * height;  // each pixel 2 x 2: the video
constexpr int large_frame_bytes = 4 * frame_bytes;
constexpr int audio_rate = 44100;

bool have_ffmpeg() { return std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") == 0; }

// RGB pixels of a picture or of count video frames from frame first on, by ffmpeg.
std::string decode_png(const std::string& path)
{
    return output_of("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 -");
}

std::string decode_frames(const std::string& path, int first, int count)
{
    // Seeking just before the frame's time starts the output exactly at it.
    char seek[32];
    std::snprintf(seek, sizeof seek, "%.3f", first * 0.02 - 0.005);
    return output_of("ffmpeg -v error -ss " + std::string(seek) + " -i '" + path + "' -frames:v " +
                     std::to_string(count) + " -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -");
}

double psnr(const std::vector<double>& a, const std::vector<double>& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return 10.0 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size()) + 1e-9));
}

// A picture of w x h pixels averaged over each cell (w / 80 x h / 25 pixels): 80 x 25 x 3 values.
std::vector<double> cell_means(const std::string& rgb, int w, int h, std::size_t offset = 0)
{
    const int cell_w = w / 80, cell_h = h / 25;
    std::vector<double> m(80 * 25 * 3, 0.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                m[((y / cell_h) * 80 + x / cell_w) * 3 + c] +=
                    static_cast<unsigned char>(rgb[offset + (static_cast<std::size_t>(y) * w + x) * 3 + c]) /
                    static_cast<double>(cell_w * cell_h);
    return m;
}

// How close frame (of a w x h video) comes to --png's picture of it, cell by cell, in dB.
double frame_psnr(const std::string& video, int frame, int w, int h, const std::string& dir)
{
    const std::string png = dir + "frame.png";
    if (run("--headless --png " + png + " --at " + std::to_string(frame * 20), dir).status != 0) return 0;
    const std::string decoded = decode_frames(video, frame, 1);
    if (decoded.size() != static_cast<std::size_t>(w) * h * 3) return 0;
    return psnr(cell_means(decode_png(png), width, height), cell_means(decoded, w, h));
}

std::string video_streams(const std::string& video)
{
    return output_of("ffprobe -v error -show_entries stream=codec_type,codec_name,r_frame_rate,pix_fmt,width,height,"
                     "sample_aspect_ratio,display_aspect_ratio -show_entries format=duration -of compact '" + video + "'");
}

TEST(png, a_known_frame_is_720_by_400_in_the_cells_colours)
{
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const scratch_dir scratch("capture");
    const std::string dir = scratch / "";
    // Frame 607 shows 12140 ms: the first frame of the word JEG (beat 36).
    ASSERT_EQ(run("--headless --seed 5 --png " + dir + "jeg.png --at 12150 --dump " + dir + "cells.bin --frames 608", dir).status, 0);
    const std::string rgb = decode_png(dir + "jeg.png");
    ASSERT_EQ(rgb.size(), static_cast<std::size_t>(frame_bytes));
    const std::string cells = e2e::slurp(dir + "cells.bin").substr(607 * 4000);
    ASSERT_EQ(cells.size(), 4000u);
    const unsigned char palette[16][3] = {{0, 0, 0}, {0, 0, 128}, {0, 128, 0}, {0, 128, 128}, {128, 0, 0},
        {128, 0, 128}, {128, 128, 0}, {192, 192, 192}, {128, 128, 128}, {0, 0, 255}, {0, 255, 0},
        {0, 255, 255}, {255, 0, 0}, {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};
    int glyph_cells = 0;
    for (int cell = 0; cell < 2000; ++cell) {
        const int character = static_cast<unsigned char>(cells[2 * cell]);
        const int attribute = static_cast<unsigned char>(cells[2 * cell + 1]);
        const unsigned char* fg = palette[attribute & 15];
        const unsigned char* bg = palette[attribute >> 4];
        int fg_pixels = 0, bg_pixels = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 9; ++x) {
                const unsigned char* p = reinterpret_cast<const unsigned char*>(
                    rgb.data() + (((cell / 80) * 16 + y) * width + (cell % 80) * 9 + x) * 3);
                if (std::equal(p, p + 3, bg)) {
                    ++bg_pixels;
                } else if (std::equal(p, p + 3, fg)) {
                    ++fg_pixels;
                } else {
                    ADD_FAILURE() << "cell " << cell << " has a pixel in neither of its colours";
                }
            }
        if (character == 0 || character == ' ') {
            EXPECT_EQ(bg_pixels, 144) << "cell " << cell;
        }
        if (character == '9' && (attribute & 15) != (attribute >> 4)) {
            EXPECT_GT(fg_pixels, 10) << "cell " << cell;
            EXPECT_GT(bg_pixels, 50) << "cell " << cell;
            ++glyph_cells;
        }
    }
    EXPECT_GT(glyph_cells, 40);  // the word is there, drawn with nines
}

TEST(capture, bad_input_is_one_line_and_leaves_no_file)
{
    const scratch_dir scratch("capture");
    const std::string dir = scratch / "";
    // A font that lacks the dark shade: unifont with that one line taken out.
    ASSERT_EQ(std::system(("grep -v '^2593:' /usr/share/unifont/unifont.hex > " + dir + "lacking.hex").c_str()), 0);
    std::FILE* f = std::fopen((dir + "words.hex").c_str(), "w");
    std::fputs("This is not a font.\n", f);
    std::fclose(f);
    struct bad_case { std::string args; int status; std::string names; };
    const bad_case cases[] = {
        {"--png /nonexistent-dir/a.png --at 0", 1, "/nonexistent-dir/a.png"},
        {"--png " + dir + "a.jpg --at 0", 2, "a.jpg"},
        {"--png " + dir + "a.png --at 157000", 2, "157000"},
        {"--png " + dir + "a.png", 2, "--at"},
        {"--video " + dir + "a.avi", 2, "a.avi"},
        {"--video " + dir + "a.mp4 --step 10", 2, "--step"},
        {"--video /nonexistent-dir/a.mp4 --frames 5", 1, "/nonexistent-dir/a.mp4"},
        {"--png " + dir + "a.png --at 0 --font " + dir + "words.hex", 1, "words.hex"},
        {"--png " + dir + "a.png --at 0 --font " + dir + "nothing.hex", 1, "nothing.hex"},
        {"--png " + dir + "a.png --at 0 --font " + dir + "lacking.hex", 1, "U+2593"},
        {"--video " + dir + "a.mp4 --frames 5 --font " + dir + "lacking.hex", 1, "U+2593"},
        {"--video " + dir + "a.mp4 --video-size tiny", 2, "tiny"},
        {"--png " + dir + "a.png --at 0 --video-size small", 2, "--video-size"},
        // A system without FFmpeg: --video says what to install.
        {"--video " + dir + "a.mp4 --frames 5", 1, "apt-get install libavcodec"},
    };
    for (const bad_case& c : cases) {
        const bool hide_ffmpeg = c.names.find("apt-get") != std::string::npos;
        const run_result r = run("--headless " + c.args, dir, hide_ffmpeg ? "GLIMFANT_TEST_HIDE_FFMPEG=1" : "");
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.err.rfind("glimfant: ", 0), 0u) << c.args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.names), std::string::npos) << c.args << ": " << r.err;
        std::vector<std::string> left = e2e::files_in(dir);
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"lacking.hex", "words.hex"})) << c.args;
    }
    // A video stopped part-way leaves nothing either.
    const run_result stopped = run("--headless --video " + dir + "a.mp4 2>/dev/null & for i in $(seq 300); do "
                                   "ls " + dir + "a.mp4.* >/dev/null 2>&1 && break; sleep 0.05; done; "
                                   "sleep 0.5; kill -TERM $!; wait $!", dir);
    EXPECT_EQ(stopped.status, 128 + SIGTERM) << stopped.err;
    std::vector<std::string> left = e2e::files_in(dir);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"lacking.hex", "words.hex"}));
}

TEST(video, ffmpeg_is_loaded_for_a_video_only)
{
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const scratch_dir scratch("capture");
    const std::string dir = scratch / "";
    // The dynamic loader names every library it loads, those opened at run time
    // too. A picture needs no FFmpeg, and is made where there is none.
    const run_result picture = run("--headless --png " + dir + "a.png --at 0 --frames 1", dir,
                                   "LD_DEBUG=files GLIMFANT_TEST_HIDE_FFMPEG=1");
    ASSERT_EQ(picture.status, 0) << picture.err;
    EXPECT_EQ(picture.err.find("libavcodec"), std::string::npos);
    const run_result video = run("--headless --mute --video " + dir + "a.mp4 --frames 1", dir, "LD_DEBUG=files");
    ASSERT_EQ(video.status, 0) << video.err;
    EXPECT_NE(video.err.find("libavcodec"), std::string::npos);
}

TEST(video, the_small_size_keeps_720_by_400_square_pixels)
{
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const scratch_dir scratch("capture");
    const std::string dir = scratch / "";
    const std::string video = dir + "small.mp4";
    const run_result r = run("--headless --mute --video-size small --video " + video + " --frames 260", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string streams = video_streams(video);
    EXPECT_NE(streams.find("codec_type=video|width=720|height=400|sample_aspect_ratio=N/A|"), std::string::npos) << streams;
    // The title: 4:2:0 chroma spans two pixels here, so glyph edges blur.
    EXPECT_GT(frame_psnr(video, 250, width, height, dir), 28.0);
}

// The frame (numbered from first) whose score moved most from the frame
// before: by a rise, or either way.
int biggest_change(const std::vector<double>& score, int first, bool rise_only)
{
    int best = -1;
    double step = 0;
    for (std::size_t i = 1; i < score.size(); ++i) {
        const double d = rise_only ? score[i] - score[i - 1] : std::fabs(score[i] - score[i - 1]);
        if (d > step) {
            step = d;
            best = first + static_cast<int>(i);
        }
    }
    return best;
}

// The strongest rise of low-frequency energy (a kick) within 50 ms of ms, in ms.
double kick_onset(const std::vector<double>& bass, double ms)
{
    const int hop = audio_rate / 1000;
    auto energy = [&](long from, long length) {
        double e = 0;
        for (long i = from; i < from + length; ++i) e += bass[static_cast<std::size_t>(i)] * bass[static_cast<std::size_t>(i)];
        return e / static_cast<double>(length);
    };
    const long centre = static_cast<long>(ms * audio_rate / 1000.0);
    double best_ratio = 0, best = -1;
    for (int k = -50; k <= 50; ++k) {
        const long at = centre + k * hop;
        const double ratio = energy(at, 5 * hop) / (energy(at - 10 * hop, 10 * hop) + 1.0);
        if (ratio > best_ratio) {
            best_ratio = ratio;
            best = ms + k;
        }
    }
    return best;
}

// The whole show; under the sanitizers, which slow the encode down a lot,
// its first 14 s: every path of the encoder and the first word's moment (the
// optimised build checks the rest).
#ifdef __SANITIZE_ADDRESS__
constexpr int show_frames = 700;
#else
constexpr int show_frames = 7850;
#endif

// One encode serves every check on the video.
TEST(video, the_whole_show_with_its_score_in_step_and_like_the_pictures)
{
    if (!have_ffmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const scratch_dir scratch("capture");
    const std::string dir = scratch / "";
    const std::string video = dir + "show.mp4";
    const std::string count = std::to_string(show_frames);
    const run_result r = run("--headless --score --video " + video + " --frames " + count, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(count + " of " + count + " frames"), std::string::npos) << r.err;

    const std::string streams = video_streams(video);
    EXPECT_NE(streams.find("codec_name=h264|codec_type=video|width=1440|height=800|sample_aspect_ratio=20:27|"
                           "display_aspect_ratio=4:3|pix_fmt=yuv420p|r_frame_rate=50/1"), std::string::npos) << streams;
    EXPECT_NE(streams.find("codec_name=aac|codec_type=audio"), std::string::npos) << streams;
    const std::size_t at = streams.find("duration=");
    ASSERT_NE(at, std::string::npos) << streams;
    EXPECT_NEAR(std::atof(streams.c_str() + at + 9), show_frames / 50.0, 0.1);

    // A frame of every scene decoded back matches the picture renderer cell
    // by cell: the chroma of each 2 x 2 block is one pixel's own colour.
    for (int frame : {300, 1000, 1400, 2500, 3000, 3700, 6000, 7800}) {
        if (frame >= show_frames) continue;
        EXPECT_GT(frame_psnr(video, frame, large_width, large_height, dir), 38.0) << "frame " << frame;
    }

    // The sound, mono, low-passed to the kick drum's range.
    const std::string pcm = output_of("ffmpeg -v error -i '" + video + "' -vn -ac 1 -ar 44100 -f s16le -");
    std::vector<double> bass(pcm.size() / 2);
    const double k = 1.0 - std::exp(-2.0 * M_PI * 150.0 / audio_rate);
    double y = 0;
    for (std::size_t i = 0; i < bass.size(); ++i) {
        const auto s = static_cast<std::int16_t>(static_cast<unsigned char>(pcm[2 * i]) | (static_cast<unsigned char>(pcm[2 * i + 1]) << 8));
        bass[i] = y += k * (s - y);
    }
    ASSERT_GT(bass.size(), static_cast<std::size_t>((show_frames - 50) / 50 * audio_rate));

    // JEG at beats 36, 44 and 52: its first frame and the kick under it.
    for (int beat : {36, 44, 52}) {
        const int first = static_cast<int>((beat * 338 - 30) / 20) - 8;
        if (first + 16 > show_frames) continue;
        const std::string frames = decode_frames(video, first, 16);
        ASSERT_EQ(frames.size(), 16u * large_frame_bytes);
        std::vector<double> word;  // brightness where the word stands: rows 1-5, columns 1-25
        for (int f = 0; f < 16; ++f) {
            const std::vector<double> m = cell_means(frames, large_width, large_height, static_cast<std::size_t>(f) * large_frame_bytes);
            double sum = 0;
            for (int row = 1; row <= 5; ++row)
                for (int column = 1; column <= 25; ++column) sum += m[(row * 80 + column) * 3 + 1];
            word.push_back(sum);
        }
        const double shown = biggest_change(word, first, true) * 20.0;
        EXPECT_LE(std::fabs(kick_onset(bass, shown) - shown), 20.0) << "beat " << beat << " shown at " << shown;
    }

    // The cube's jumps to a corner, one every four beats through the plasma,
    // come 60 ms after the kick by the show's script. (The first falls on the
    // plasma's first frames, which change everything.)
    for (int jump = 18; jump <= 24; ++jump) {
        const int first = (30 + 1352 * jump) / 20 - 8;
        if (first + 16 > show_frames) continue;
        const std::string frames = decode_frames(video, first, 16);
        ASSERT_EQ(frames.size(), 16u * large_frame_bytes);
        std::vector<double> centre;  // mean column of the cube's light blue
        for (int f = 0; f < 16; ++f) {
            double sum = 0, count = 0;
            for (int p = 0; p < large_width * large_height; ++p) {
                const auto* px = reinterpret_cast<const unsigned char*>(frames.data()) + static_cast<std::size_t>(f) * large_frame_bytes + 3 * p;
                if (px[2] > 200 && px[0] < 80 && px[1] < 80) {
                    sum += p % large_width;
                    ++count;
                }
            }
            centre.push_back(count ? sum / count : centre.empty() ? 0 : centre.back());
        }
        const double shown = biggest_change(centre, first, false) * 20.0;
        const double kick = kick_onset(bass, shown - 60.0);
        EXPECT_LE(std::fabs(shown - kick - 60.0), 20.0) << "jump " << jump << " shown at " << shown << ", kick at " << kick;
    }
}

}  // namespace
