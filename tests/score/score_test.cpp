// The built-in score: its voices land on the script's beats and moments, its
// length, its levels, and the same samples for every run and every split.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "score/score.h"
#include "score/score_wav.h"
#include "scratch_dir.h"

namespace {

constexpr std::uint32_t tolerance = 88;  // 2 ms of frames

// The frame where music time ms falls: round(ms x 44.1).
std::uint32_t frame_of_ms(double ms) { return static_cast<std::uint32_t>(std::llround(ms * 44.1)); }
// Beat n begins at n x 338 - 30 ms.
std::uint32_t beat_frame(double n) { return frame_of_ms(n * 338.0 - 30.0); }

// The whole score from its start with only the voices in mask heard, plus
// extra frames after its end; stereo interleaved.
std::vector<std::int16_t> render(std::uint32_t mask, std::uint32_t extra = 0)
{
    score_set_voices(mask);
    score_reset();
    std::vector<std::int16_t> out((static_cast<std::size_t>(score_length_frames()) + extra) * 2);
    score_render(out.data(), score_length_frames() + extra);
    score_set_voices(score_all_voices);
    score_reset();
    return out;
}

// The whole score with every voice and 5000 frames after its end, rendered
// once for the tests of this program (it runs as one test process).
constexpr std::uint32_t after_end = 5000;
const std::vector<std::int16_t>& whole_score()
{
    static const std::vector<std::int16_t> whole = render(score_all_voices, after_end);
    return whole;
}

int level(const std::vector<std::int16_t>& s, std::size_t frame)
{
    return std::max(std::abs(static_cast<int>(s[2 * frame])), std::abs(static_cast<int>(s[2 * frame + 1])));
}

// Onsets: where a 16-frame block peaks over floor and over three times the
// 22 ms that ended 1.5 ms before it (sounds take a moment to rise), the first
// frame since then over twice that level; then 100 ms of rest.
std::vector<std::uint32_t> onsets(const std::vector<std::int16_t>& s, int floor)
{
    constexpr std::size_t block = 16, history = 60, rise = 4, rest = 275;
    const std::size_t blocks = s.size() / 2 / block;
    std::vector<int> peak(blocks, 0);
    for (std::size_t b = 0; b < blocks; ++b)
        for (std::size_t i = b * block; i < (b + 1) * block; ++i) peak[b] = std::max(peak[b], level(s, i));
    std::vector<std::uint32_t> found;
    for (std::size_t b = history + rise; b < blocks; ++b) {
        int before = 0;
        for (std::size_t k = b - history - rise; k < b - rise; ++k) before = std::max(before, peak[k]);
        if (peak[b] <= floor || peak[b] <= 3 * before) continue;
        std::size_t i = (b - rise) * block;
        while (level(s, i) <= 2 * before) ++i;
        found.push_back(static_cast<std::uint32_t>(i));
        b += rest;
    }
    return found;
}

// Each onset matches the next expected frame within 2 ms, and none is missing.
void expect_onsets_at(const std::vector<std::uint32_t>& found, const std::vector<std::uint32_t>& expected)
{
    std::string listed;
    for (std::uint32_t f : found) listed += " " + std::to_string(f);
    ASSERT_EQ(found.size(), expected.size()) << "onsets at frames" << listed;
    for (std::size_t i = 0; i < found.size(); ++i)
        EXPECT_LE(std::abs(static_cast<std::int64_t>(found[i]) - expected[i]), tolerance)
            << "onset " << i << " at frame " << found[i] << ", expected " << expected[i];
}

TEST(score, kick_onsets_fall_on_the_beat_grid_from_the_fountain_to_the_flare)
{
    const std::vector<std::uint32_t> kicks = onsets(render(score_kick), 2000);
    ASSERT_GT(kicks.size(), 250u);
    std::vector<int> beats;
    for (std::uint32_t f : kicks) {
        const int n = static_cast<int>(std::lround((f / 44.1 + 30.0) / 338.0));
        EXPECT_LE(std::abs(static_cast<std::int64_t>(f) - beat_frame(n)), tolerance) << "kick at frame " << f;
        beats.push_back(n);
    }
    EXPECT_EQ(beats.front(), 36);  // the title and its burning have no kick
    for (int n = 36; n < 68; ++n) EXPECT_NE(std::find(beats.begin(), beats.end(), n), beats.end()) << n;
    for (int n : beats) {
        EXPECT_FALSE(n >= 100 && n < 116) << "the cascade begins without a kick: " << n;
        EXPECT_FALSE(n >= 212 && n < 214) << "the fire's two beats have no kick: " << n;
        EXPECT_LT(n, 458) << "nothing kicks after the flare";
    }
}

TEST(score, word_hits_and_cube_pulses_sound_at_the_script_moments)
{
    std::vector<std::uint32_t> expected;
    for (int b : {36, 44, 52})
        for (int k : {0, 2, 4}) expected.push_back(beat_frame(b + k));  // JEG, SER, HORER
    for (int m = 17; m <= 24; ++m) expected.push_back(frame_of_ms(30 + 1352 * m));  // (t - 30) mod 1352 == 0
    expect_onsets_at(onsets(render(score_stab), 1500), expected);
}

TEST(score, the_cube_flash_sounds_every_676_ms_through_the_plasma)
{
    std::vector<std::uint32_t> expected;
    for (int t = 368; t <= 33770; t += 676)
        if (t > 22954) expected.push_back(frame_of_ms(t));  // (t + 308) mod 676 == 0
    EXPECT_EQ(expected.size(), 16u);
    expect_onsets_at(onsets(render(score_zap), 1500), expected);
}

TEST(score, burns_and_the_flare_boom_on_their_beats)
{
    std::vector<std::uint32_t> expected = {beat_frame(30), beat_frame(228), beat_frame(244), beat_frame(260)};
    for (int g = 0; g < 15; ++g) expected.push_back(beat_frame(295 + 11 * g));
    expected.push_back(beat_frame(458));
    expect_onsets_at(onsets(render(score_boom), 2000), expected);
}

TEST(score, a_chime_rings_as_each_greeting_comes_in)
{
    std::vector<std::uint32_t> expected;
    for (int g = 0; g < 15; ++g) expected.push_back(beat_frame(285.5 + 11 * g));
    expect_onsets_at(onsets(render(score_chime), 1000), expected);
}

TEST(score, lasts_until_beat_468_fades_out_and_is_silent_after)
{
    EXPECT_EQ(score_length_frames(), beat_frame(468));
    EXPECT_NEAR(score_length_frames() / 44100.0, 158.0, 0.5);
    const std::vector<std::int16_t>& s = whole_score();
    const std::size_t end = score_length_frames();
    for (std::size_t i = end; i < end + after_end; ++i) ASSERT_EQ(level(s, i), 0) << i;
    int loud_before_fade = 0, last_tenth = 0;
    for (std::size_t i = beat_frame(455); i < beat_frame(461); ++i) loud_before_fade = std::max(loud_before_fade, level(s, i));
    for (std::size_t i = end - 4410; i < end; ++i) last_tenth = std::max(last_tenth, level(s, i));
    EXPECT_GT(loud_before_fade, 16000);
    EXPECT_LT(last_tenth, 300);
}

TEST(score, never_clips_has_no_dc_and_peaks_near_minus_one_dbfs)
{
    const std::vector<std::int16_t> s(whole_score().begin(), whole_score().end() - 2 * after_end);
    int peak = 0;
    double sum[2] = {0, 0}, square = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(s[i])));
        sum[i % 2] += s[i];
        square += static_cast<double>(s[i]) * s[i];
    }
    EXPECT_LE(peak, 29197);  // the limiter's ceiling, -1 dBFS
    EXPECT_GT(peak, 26000);
    const double frames = static_cast<double>(s.size() / 2);
    EXPECT_LT(std::abs(sum[0] / frames), 10.0);  // well under 0.1% of full scale
    EXPECT_LT(std::abs(sum[1] / frames), 10.0);
    const double rms_db = 20.0 * std::log10(std::sqrt(square / static_cast<double>(s.size())) / 32768.0);
    EXPECT_GT(rms_db, -20.0);
    EXPECT_LT(rms_db, -11.0);
}

TEST(score, the_same_samples_every_run_after_a_reset_and_for_any_split)
{
    const std::vector<std::int16_t> whole(whole_score().begin(), whole_score().end() - 2 * after_end);
    EXPECT_EQ(render(score_all_voices), whole);

    // Part of the way in, a reset starts again from the first frame.
    std::vector<std::int16_t> part(2 * 300000);
    score_reset();
    score_render(part.data(), 300000);
    score_reset();
    score_render(part.data(), 300000);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin()));

    // Odd call sizes, including single frames and ones that straddle events.
    const std::uint32_t sizes[] = {1, 7, 333, 4096, 1, 1023, 14906, 2, 44100, 511};
    std::vector<std::int16_t> split(whole.size());
    score_reset();
    std::uint32_t done = 0;
    for (int i = 0; done < score_length_frames(); ++i) {
        const std::uint32_t n = std::min(sizes[i % 10], score_length_frames() - done);
        score_render(split.data() + 2 * static_cast<std::size_t>(done), n);
        done += n;
    }
    score_reset();
    EXPECT_EQ(split, whole);
}

TEST(score, writes_a_16_bit_stereo_wav_of_the_whole_score)
{
    const scratch_dir scratch("score");
    ASSERT_FALSE(scratch.dir.empty());
    const std::string path = scratch / "score.wav";
    ASSERT_TRUE(write_score_wav(path.c_str()));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<unsigned char> bytes(64);
    ASSERT_EQ(std::fread(bytes.data(), 1, 44, f), 44u);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    auto u32 = [&](int at) { return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24; };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(bytes[22], 2);            // channels
    EXPECT_EQ(u32(24), 44100u);         // frames a second
    EXPECT_EQ(bytes[34], 16);           // bits
    EXPECT_EQ(u32(40), score_length_frames() * 4);
    EXPECT_EQ(size, 44 + static_cast<long>(score_length_frames()) * 4);

    EXPECT_FALSE(write_score_wav((scratch / "absent/score.wav").c_str()));
}

}  // namespace
