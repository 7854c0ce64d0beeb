// The Windows soundtrack decoder through the system's MP3 codec, run under
// wine. The MP3 files come from make_mp3_fixtures.sh (sox and lame on the
// build machine), in the folder GLIMFANT_MP3_FIXTURES names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "sound/audio_decode.h"

namespace {

std::string fixture(const char* name)
{
    const char* dir = std::getenv("GLIMFANT_MP3_FIXTURES");
    return std::string(dir ? dir : "mp3-fixtures") + "/" + name;
}

struct decoded {
    decoded_audio audio;
    decode_status status;
    char why[256] = "";
    explicit decoded(const char* name) { status = audio_decode(fixture(name).c_str(), audio, why, sizeof why); }
    ~decoded() { audio_free(audio); }
};

// The first frame at or after from whose left sample is louder than a quiet click.
std::uint32_t onset(const decoded_audio& a, std::uint32_t from)
{
    for (std::uint32_t i = from; i < a.frames; ++i)
        if (std::abs(a.samples[i * 2]) > 4000) return i;
    return a.frames;
}

constexpr std::uint32_t beat_frames = 14906;  // 338 ms at 44.1 kHz

TEST(audio_decode_win, a_tagged_stream_starts_on_its_first_sample_and_keeps_its_length)
{
    decoded d("click.mp3");
    ASSERT_EQ(d.status, decode_ok) << d.why;
    EXPECT_EQ(d.audio.rate, 44100);
    // The encoder's delay and padding and the codec's own delay are cut:
    // the clicks fall on the beats, and the length is the WAV's.
    EXPECT_NEAR(static_cast<double>(d.audio.frames), 8.0 * beat_frames, 2.0);
    for (std::uint32_t beat = 0; beat < 8; ++beat)
        EXPECT_NEAR(static_cast<double>(onset(d.audio, beat * beat_frames)), beat * beat_frames, 8.0) << beat;

    // Without the tag only the codec's delay is known: the clicks come later by the encoder's.
    decoded plain("click_no_tag.mp3");
    ASSERT_EQ(plain.status, decode_ok) << plain.why;
    EXPECT_NEAR(static_cast<double>(onset(plain.audio, 0)), 576.0, 64.0);
}

TEST(audio_decode_win, mono_comes_out_on_both_channels_at_its_own_rate)
{
    decoded d("mono.mp3");
    ASSERT_EQ(d.status, decode_ok) << d.why;
    EXPECT_EQ(d.audio.rate, 22050);
    EXPECT_NEAR(static_cast<double>(d.audio.frames), 1.5 * 22050, 2.0);
    bool same = true, sound = false;
    for (std::uint32_t i = 0; i < d.audio.frames; ++i) {
        same = same && d.audio.samples[i * 2] == d.audio.samples[i * 2 + 1];
        sound = sound || std::abs(d.audio.samples[i * 2]) > 8000;
    }
    EXPECT_TRUE(same);
    EXPECT_TRUE(sound);
}

TEST(audio_decode_win, a_truncated_stream_keeps_what_came_before_the_cut)
{
    decoded d("truncated.mp3");
    ASSERT_EQ(d.status, decode_ok) << d.why;
    EXPECT_GT(d.audio.frames, 3u * beat_frames);
    EXPECT_LT(d.audio.frames, 5u * beat_frames);
}

TEST(audio_decode_win, what_cannot_play_is_refused_with_a_reason_and_a_missing_file_is_absent)
{
    const struct {
        const char* name;
        const char* why;
    } refused[] = {
        {"quiet_wav.mp3", "is not an MP3 stream"},
        {"click_wav.mp3", "is not an MP3 stream"},
        {"four_bytes.mp3", "is not an MP3 stream"},
        {"empty.mp3", "is empty"},
        {"dir.mp3", "is not a regular file"},
    };
    for (const auto& r : refused) {
        decoded d(r.name);
        EXPECT_EQ(d.status, decode_failed) << r.name;
        EXPECT_NE(std::strstr(d.why, r.why), nullptr) << r.name << ": " << d.why;
        EXPECT_EQ(d.audio.samples, nullptr) << r.name;
    }
    decoded missing("missing.mp3");
    EXPECT_EQ(missing.status, decode_absent);
}

}  // namespace
