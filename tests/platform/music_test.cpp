// The soundtrack and the music clock on the real audio path: SDL's disk driver
// writes exactly the PCM that was played, its dummy driver keeps real time.
// Fixtures are made at test time with sox and lame.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_decode.h"
#include "platform/music.h"
#include "score/score.h"

namespace {

constexpr int beat_ms = 338;
constexpr std::uint32_t click_frames = 8 * beat_ms * 441 / 10;  // eight beats at 44.1 kHz
constexpr double buffer_ms = music_buffer_frames * 1000.0 / 44100;

std::string dir;  // the fixtures, made once

std::string at(const char* name) { return dir + "/" + name; }

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

void write_file(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string read_file(const std::string& path)
{
    std::string bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char block[65536];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.append(block, n);
        std::fclose(f);
    }
    return bytes;
}

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class music : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!run("command -v sox") || !run("command -v lame")) return;
        char pattern[] = "/tmp/glimfant-music-XXXXXX";
        if (!mkdtemp(pattern)) return;
        dir = pattern;
        chmod(pattern, 0755);  // the unreadable case runs as another user
        const std::string sox = "sox -R -n -r 44100 -c 2 -b 16 ";
        // A click track: a 10 ms tone at the start of each 338 ms beat.
        const bool made =
            run(sox + at("click.wav") + " synth 0.01 sine 1000 vol 0.5 pad 0 0.328 repeat 7") &&
            run("lame --quiet -b 128 " + at("click.wav") + " " + at("click.mp3")) &&
            run(sox + at("short.wav") + " synth 0.3 sine 440 vol 0.5") &&
            run("lame --quiet -b 128 " + at("short.wav") + " " + at("short.mp3")) &&
            run("sox -R -n -r 22050 -c 1 -b 16 " + at("mono.wav") + " synth 1.5 sine 440 vol 0.5") &&
            run("lame --quiet -b 64 " + at("mono.wav") + " " + at("mono.mp3")) &&
            run(sox + at("quiet.wav") + " trim 0 3");  // dithered silence: false frame headers
        if (!made) {
            dir.clear();
            return;
        }
        const std::string mp3 = read_file(at("click.mp3"));
        write_file(at("truncated.mp3"), mp3.substr(0, mp3.size() / 2 + 77));
        write_file(at("trailing_junk.mp3"), mp3 + std::string(500, 'x'));
        run("cp " + at("click.wav") + " " + at("tone_wav.mp3"));
        run("cp " + at("quiet.wav") + " " + at("quiet_wav.mp3"));
        write_file(at("empty.mp3"), "");
        mkdir(at("dir.mp3").c_str(), 0755);
        mkfifo(at("fifo.mp3").c_str(), 0644);
        write_file(at("unreadable.mp3"), mp3);
        chmod(at("unreadable.mp3").c_str(), 0);
    }

    static void TearDownTestSuite()
    {
        if (!dir.empty()) run("rm -rf " + dir);
        dir.clear();
    }

    void SetUp() override
    {
        if (dir.empty()) GTEST_SKIP() << "needs sox and lame";
        use_driver("dummy");
        music_configure(music_options{});
        alarm(20);  // a blocking open fails the run instead of hanging it
    }

    void TearDown() override
    {
        alarm(0);
        music_shutdown();
    }

    static void use_driver(const char* driver, const std::string& file = "")
    {
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
    }

    // Plays on the disk driver until `frames` have been written, then stops.
    static std::vector<std::int16_t> play_to_disk(const char* name, std::uint32_t frames, int expected_result)
    {
        const std::string out = at("played.raw");
        unlink(out.c_str());
        use_driver("disk", out);
        EXPECT_EQ(music_start(name), expected_result);
        struct stat st{};
        const double give_up = now_ms() + 10000;
        while ((stat(out.c_str(), &st) != 0 || st.st_size < (frames + 2 * music_buffer_frames) * 4) &&
               now_ms() < give_up)
            sleep_ms(2);
        music_shutdown();
        const std::string bytes = read_file(out);
        std::vector<std::int16_t> pcm(bytes.size() / 2);
        std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
        return pcm;
    }

    // True when played holds expected from its start, after whole buffers of
    // silence that the device may write before it runs.
    static bool starts_with(const std::vector<std::int16_t>& played, const std::int16_t* expected, std::size_t values)
    {
        constexpr std::size_t buffer_values = music_buffer_frames * 2;
        for (std::size_t skip = 0; skip + values <= played.size(); skip += buffer_values) {
            if (std::memcmp(played.data() + skip, expected, values * 2) == 0) return true;
            for (std::size_t i = skip; i < skip + buffer_values; ++i)
                if (played[i] != 0) return false;
        }
        return false;
    }

    // The clock against the monotonic clock for duration_ms, sampled every
    // millisecond once the output latency and two buffers have passed: every
    // read at least the previous; a straight line through the reads.
    struct clock_fit {
        double slope;     // music ms per elapsed ms
        double offset;    // music time less (elapsed less latency) on the line at its first sample
        double residual;  // distance of a read from the line that nine reads in ten keep within
    };
    static clock_fit fit_clock(double start, double latency_ms, int duration_ms)
    {
        std::vector<double> elapsed;
        std::vector<double> reads;
        std::int32_t previous = music_time();
        for (double t = now_ms(); t < start + duration_ms; t = now_ms()) {
            const std::int32_t read = music_time();
            EXPECT_GE(read, previous);
            previous = read;
            if (t - start > latency_ms + 2 * buffer_ms) {
                elapsed.push_back(t - start);
                reads.push_back(read);
            }
            sleep_ms(1);
        }
        const double n = static_cast<double>(elapsed.size());
        double se = 0, sr = 0, see = 0, ser = 0;
        for (std::size_t i = 0; i < elapsed.size(); ++i) {
            se += elapsed[i];
            sr += reads[i];
            see += elapsed[i] * elapsed[i];
            ser += elapsed[i] * reads[i];
        }
        clock_fit fit{};
        fit.slope = (n * ser - se * sr) / (n * see - se * se);
        const double intercept = (sr - fit.slope * se) / n;
        fit.offset = intercept + fit.slope * elapsed[0] - (elapsed[0] - latency_ms);
        std::vector<double> residuals;
        for (std::size_t i = 0; i < elapsed.size(); ++i)
            residuals.push_back(std::abs(reads[i] - intercept - fit.slope * elapsed[i]));
        std::sort(residuals.begin(), residuals.end());
        fit.residual = residuals[residuals.size() * 9 / 10];
        return fit;
    }

    // Plays name and checks that the clock tracks elapsed time since the start
    // returned, less the latency: at the device's rate (the dummy driver's
    // sleeps make it about 0.5% fast), without buffer-sized steps (a clock that
    // steps once a buffer strays some 10 ms from the line), behind by no more
    // than the buffer the device may take to start. An overloaded machine
    // delays the audio thread, and the clock rightly with it: the best of
    // three plays counts.
    static void expect_real_time(const char* name, double latency_ms, int duration_ms)
    {
        clock_fit fit{};
        for (int attempt = 0; attempt < 3; ++attempt) {
            music_shutdown();
            ASSERT_EQ(music_start(at(name).c_str()), 1);
            fit = fit_clock(now_ms(), latency_ms, duration_ms);
            if (std::abs(fit.slope - 1.0) <= 0.02 && fit.residual <= 3.0 && fit.offset <= 3.0 &&
                fit.offset >= -buffer_ms - 5.0)
                return;
        }
        ADD_FAILURE() << "slope " << fit.slope << ", nine in ten reads within " << fit.residual
                      << " ms of the line, offset " << fit.offset << " ms";
    }
};

TEST_F(music, decodes_the_whole_stream_gapless_with_the_clicks_on_the_beat_grid)
{
    decoded_audio audio;
    char why[256] = "";
    ASSERT_EQ(audio_decode(at("click.mp3").c_str(), audio, why, sizeof why), decode_ok) << why;
    EXPECT_EQ(audio.rate, 44100);
    EXPECT_EQ(audio.frames, click_frames);
    // Onsets: the first loud sample after a quiet stretch, within 1 ms of n x 338 ms.
    int onsets = 0;
    int quiet = 44100;
    for (std::uint32_t i = 0; i < audio.frames; ++i) {
        const bool loud = std::abs(audio.samples[i * 2]) > 2000;
        if (loud && quiet > 4410) {
            const double beat = i / 44.1 / beat_ms;
            EXPECT_NEAR(beat, static_cast<int>(beat + 0.5), 1.0 / beat_ms) << "onset at frame " << i;
            ++onsets;
        }
        quiet = loud ? 0 : quiet + 1;
    }
    EXPECT_EQ(onsets, 8);
    audio_free(audio);

    ASSERT_EQ(audio_decode(at("mono.mp3").c_str(), audio, why, sizeof why), decode_ok) << why;
    EXPECT_EQ(audio.rate, 22050);
    EXPECT_EQ(audio.frames, 33075u);
    bool same = true;
    for (std::uint32_t i = 0; i < audio.frames; ++i) same = same && audio.samples[i * 2] == audio.samples[i * 2 + 1];
    EXPECT_TRUE(same) << "a mono stream plays on both channels";
    audio_free(audio);
}

TEST_F(music, a_damaged_stream_plays_what_it_has)
{
    decoded_audio audio;
    char why[256] = "";
    ASSERT_EQ(audio_decode(at("truncated.mp3").c_str(), audio, why, sizeof why), decode_ok) << why;
    EXPECT_GT(audio.frames, click_frames / 3);
    EXPECT_LT(audio.frames, click_frames * 2 / 3);
    ASSERT_EQ(audio_decode(at("trailing_junk.mp3").c_str(), audio, why, sizeof why), decode_ok) << why;
    EXPECT_EQ(audio.frames, click_frames);
    audio_free(audio);
    EXPECT_EQ(audio_decode(at("no_such.mp3").c_str(), audio, why, sizeof why), decode_absent);
}

TEST_F(music, the_disk_driver_writes_exactly_the_decoded_stream)
{
    decoded_audio audio;
    char why[256] = "";
    ASSERT_EQ(audio_decode(at("click.mp3").c_str(), audio, why, sizeof why), decode_ok) << why;
    const std::vector<std::int16_t> played = play_to_disk(at("click.mp3").c_str(), audio.frames, 1);
    EXPECT_TRUE(starts_with(played, audio.samples, audio.frames * 2u));
    // Silence after the end.
    EXPECT_EQ(played[played.size() - 1], 0);
    audio_free(audio);
}

TEST_F(music, a_soundtrack_decoded_ahead_plays_as_one_decoded_at_the_start)
{
    decoded_audio audio;
    char why[256] = "";
    ASSERT_EQ(audio_decode(at("click.mp3").c_str(), audio, why, sizeof why), decode_ok) << why;
    const std::string name = at("click.mp3");
    music_prepare(name.c_str());
    std::vector<std::int16_t> played = play_to_disk(name.c_str(), audio.frames, 1);
    EXPECT_TRUE(starts_with(played, audio.samples, audio.frames * 2u));

    // A decode ahead for another file, or one stopped by a quit, changes nothing.
    music_prepare(at("short.mp3").c_str());
    played = play_to_disk(name.c_str(), audio.frames, 1);
    EXPECT_TRUE(starts_with(played, audio.samples, audio.frames * 2u));
    music_prepare(name.c_str());
    music_shutdown();
    music_prepare(at("tone_wav.mp3").c_str());
    EXPECT_EQ(music_start(at("tone_wav.mp3").c_str()), 0);
    ASSERT_NE(music_problem(), nullptr);
    EXPECT_NE(std::strstr(music_problem(), "is not an MP3 stream"), nullptr) << music_problem();
    audio_free(audio);
}

TEST_F(music, the_score_plays_when_the_file_is_absent_or_asked_for)
{
    constexpr std::uint32_t frames = score_rate / 2;
    std::vector<std::int16_t> expected(frames * 2);
    score_reset();
    score_render(expected.data(), frames);

    std::vector<std::int16_t> played = play_to_disk(at("no_such.mp3").c_str(), frames, 1);
    EXPECT_EQ(music_problem(), nullptr);
    EXPECT_TRUE(starts_with(played, expected.data(), expected.size()));

    music_options o;
    o.score = true;
    music_configure(o);
    played = play_to_disk(at("click.mp3").c_str(), frames, 1);
    EXPECT_TRUE(starts_with(played, expected.data(), expected.size()));
}

TEST(music_clock, reads_0_before_the_first_start)
{
    // A fresh process: this one may have started the music already.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(music_time() == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_F(music, the_clock_follows_the_playback_less_the_latency)
{
    expect_real_time("click.mp3", buffer_ms, 1200);

    music_options o;
    o.latency_ms = 100;
    music_configure(o);
    expect_real_time("click.mp3", 100, 600);
}

TEST_F(music, after_a_short_track_the_clock_runs_on_in_real_time)
{
    expect_real_time("short.mp3", buffer_ms, 900);
}

TEST_F(music, a_second_start_leaves_a_playing_stream_alone_and_restarts_an_ended_one)
{
    ASSERT_EQ(music_start(at("click.mp3").c_str()), 1);
    while (music_time() < 100) sleep_ms(1);
    const std::int32_t before = music_time();
    EXPECT_EQ(music_start(at("click.mp3").c_str()), 2);
    EXPECT_GE(music_time(), before);

    ASSERT_EQ(music_start(at("short.mp3").c_str()), 2);  // still the click track
    music_shutdown();
    ASSERT_EQ(music_start(at("short.mp3").c_str()), 1);
    while (music_time() < 500) sleep_ms(1);
    EXPECT_EQ(music_start(at("short.mp3").c_str()), 1);
    EXPECT_LT(music_time(), 50) << "a new stream's clock starts at 0";
}

// True when played holds expected at some whole buffer, whatever comes before.
bool holds_at_a_buffer(const std::vector<std::int16_t>& played, const std::int16_t* expected, std::size_t values)
{
    constexpr std::size_t buffer_values = music_buffer_frames * 2;
    for (std::size_t at = 0; at + values <= played.size(); at += buffer_values)
        if (std::memcmp(played.data() + at, expected, values * 2) == 0) return true;
    return false;
}

TEST_F(music, a_seek_plays_the_file_and_the_score_from_there)
{
    decoded_audio audio;
    char why[256] = "";
    ASSERT_EQ(audio_decode(at("click.mp3").c_str(), audio, why, sizeof why), decode_ok) << why;
    const std::string out = at("seek.raw");
    for (const bool score : {false, true}) {
        unlink(out.c_str());
        use_driver("disk", out);
        music_options o;
        o.score = score;
        music_configure(o);
        ASSERT_EQ(music_start(at("click.mp3").c_str()), 1);
        music_seek(1500);
        EXPECT_GE(music_time(), 1500);
        sleep_ms(300);
        music_shutdown();
        const std::string bytes = read_file(out);
        std::vector<std::int16_t> played(bytes.size() / 2);
        std::memcpy(played.data(), bytes.data(), played.size() * 2);
        constexpr std::uint32_t values = 8192;
        std::vector<std::int16_t> expected(values);
        const std::uint32_t frame = 1500u * static_cast<std::uint32_t>(score ? score_rate : audio.rate) / 1000;
        if (score) {
            score_seek(frame);
            score_render(expected.data(), values / 2);
        } else {
            std::memcpy(expected.data(), audio.samples + 2 * static_cast<std::size_t>(frame), values * 2);
        }
        EXPECT_TRUE(holds_at_a_buffer(played, expected.data(), values)) << (score ? "score" : "file");
    }
    audio_free(audio);
}

TEST_F(music, a_pause_holds_the_clock_and_a_seek_moves_it_both_ways)
{
    for (const bool mute : {false, true}) {
        music_options o;
        o.mute = mute;
        music_configure(o);
        music_start(at("click.mp3").c_str());
        while (music_time() < 200) sleep_ms(1);
        music_pause(true);
        const std::int32_t held = music_time();
        sleep_ms(300);
        EXPECT_EQ(music_time(), held) << "mute " << mute;
        music_pause(false);
        sleep_ms(200);
        EXPECT_GE(music_time(), held + 100) << "mute " << mute;
        EXPECT_LT(music_time(), held + 300) << "mute " << mute;
        music_seek(5000);
        EXPECT_GE(music_time(), 5000) << "mute " << mute;
        EXPECT_LT(music_time(), 5100) << "mute " << mute;
        music_seek(1000);  // back
        EXPECT_LT(music_time(), 1100) << "mute " << mute;
        sleep_ms(200);
        EXPECT_GE(music_time(), 1100) << "mute " << mute;
        music_pause(true);
        music_seek(3000);  // a paused clock stays paused, there
        sleep_ms(100);
        EXPECT_EQ(music_time(), 3000) << "mute " << mute;
        music_shutdown();
    }
}

TEST_F(music, what_cannot_be_played_gets_the_silent_clock_and_a_reason)
{
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"empty.mp3", "is empty"},
        {"tone_wav.mp3", "is not an MP3 stream"},
        {"quiet_wav.mp3", "is not an MP3 stream"},
        {"dir.mp3", "is not a regular file"},
        {"fifo.mp3", "is not a regular file"},
    };
    for (const auto& c : cases) {
        const double called = now_ms();
        EXPECT_EQ(music_start(at(c.name).c_str()), 0) << c.name;
        const double start = now_ms();
        EXPECT_LT(start - called, 1000) << c.name;
        ASSERT_NE(music_problem(), nullptr) << c.name;
        EXPECT_NE(std::strstr(music_problem(), c.reason), nullptr) << music_problem();
        sleep_ms(60);
        EXPECT_NEAR(music_time(), now_ms() - start, 10) << c.name;
    }
}

TEST_F(music, an_unreadable_file_gets_the_silent_clock)
{
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            const int result = music_start(at("unreadable.mp3").c_str());
            const char* why = music_problem();
            sleep_ms(30);
            const std::int32_t t = music_time();
            _exit(result == 0 && why && std::strstr(why, "Permission denied") && t >= 25 && t < 100 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(music, muted_or_without_a_device_the_clock_is_silent)
{
    music_options o;
    o.mute = true;
    music_configure(o);
    EXPECT_EQ(music_start(at("click.mp3").c_str()), 0);
    double start = now_ms();
    EXPECT_EQ(music_problem(), nullptr);
    sleep_ms(50);
    EXPECT_NEAR(music_time(), now_ms() - start, 10);
    music_shutdown();

    music_configure(music_options{});
    use_driver("no_such_driver");
    EXPECT_EQ(music_start(at("click.mp3").c_str()), 0);
    start = now_ms();
    ASSERT_NE(music_problem(), nullptr);
    EXPECT_NE(std::strstr(music_problem(), "no sound"), nullptr) << music_problem();
    sleep_ms(50);
    EXPECT_NEAR(music_time(), now_ms() - start, 10);
}

TEST_F(music, a_file_name_cannot_send_escapes_in_the_reason)
{
    const std::string name = at("\x1b[2Jname.mp3");
    write_file(name, "");
    EXPECT_EQ(music_start(name.c_str()), 0);
    ASSERT_NE(music_problem(), nullptr);
    EXPECT_EQ(std::strchr(music_problem(), '\x1b'), nullptr);
    EXPECT_NE(std::strstr(music_problem(), "?[2Jname.mp3"), nullptr) << music_problem();
}

}  // namespace
