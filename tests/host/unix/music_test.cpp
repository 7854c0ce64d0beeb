// The soundtrack and the music clock on the real audio path: SDL's disk driver
// writes exactly the PCM that was played and, paced, shows when the device
// took each buffer; its dummy driver keeps real time.
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
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sound/audio_decode.h"
#include "sound/music.h"
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

// Appends what was written to path since bytes was last filled: a file the
// device keeps writing is read once, however long the wait.
void read_more(const std::string& path, std::string& bytes)
{
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        if (std::fseek(f, static_cast<long>(bytes.size()), SEEK_SET) == 0) {
            char block[65536];
            for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) bytes.append(block, n);
        }
        std::fclose(f);
    }
}

std::string read_file(const std::string& path)
{
    std::string bytes;
    read_more(path, bytes);
    return bytes;
}

std::vector<std::int16_t> samples_of(const std::string& bytes)
{
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// CPU time this process has used, in ms: a wait for something shows as wall
// time, not as this.
double cpu_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The silent clock, started between begun_after and begun_before (now_ms),
// read now: the real time since then, however long the machine's load made
// each step.
void expect_silent_time(double begun_after, double begun_before, const std::string& what)
{
    const double before = now_ms();
    const std::int32_t read = music_time();
    const double after = now_ms();
    EXPECT_GE(read, before - begun_before - 1) << what;
    EXPECT_LE(read, after - begun_after + 1) << what;
}

class music : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!run("command -v sox") || !run("command -v lame")) return;
        std::string pattern = (std::filesystem::temp_directory_path() / "glimfant-music-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return;
        dir = pattern;
        chmod(dir.c_str(), 0755);  // the unreadable case runs as another user
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
        alarm(240);  // a blocking open fails the run instead of hanging it
    }

    void TearDown() override
    {
        alarm(0);
        music_shutdown();
    }

    // The disk driver writes to file, waiting delay_ms after each buffer: at
    // 1 ms some twenty times faster than real time, and never in a busy loop
    // that would starve the test's own thread.
    static void use_driver(const char* driver, const std::string& file = "", int delay_ms = 1)
    {
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", std::to_string(delay_ms).c_str(), 1);
    }

    // Plays on the disk driver until `frames` have been written, then stops.
    static std::vector<std::int16_t> play_to_disk(const char* name, std::uint32_t frames, int expected_result)
    {
        const std::string out = at("played.raw");
        unlink(out.c_str());
        use_driver("disk", out);
        EXPECT_EQ(music_start(name), expected_result);
        // The device writes silence while it waits to run, as many buffers
        // as a starved test thread leaves it: wait for the stream and two
        // buffers more after that silence. The time allowed only ends a hang.
        std::string bytes;
        std::size_t silent = 0;
        constexpr std::size_t buffer_bytes = music_buffer_frames * 4;
        for (const double give_up = now_ms() + 120000; now_ms() < give_up; sleep_ms(20)) {
            read_more(out, bytes);
            while (silent + buffer_bytes <= bytes.size() &&
                   bytes.find_first_not_of('\0', silent) >= silent + buffer_bytes)
                silent += buffer_bytes;
            if (bytes.size() >= silent + (frames + 2 * music_buffer_frames) * 4) break;
        }
        music_shutdown();
        read_more(out, bytes);
        return samples_of(bytes);
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

    // A straight line through points, and the distance from it that nine
    // points in ten keep within.
    struct line_fit {
        double slope, intercept, residual;
    };
    static line_fit fit_line(const std::vector<double>& x, const std::vector<double>& y)
    {
        const double n = static_cast<double>(x.size());
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            sx += x[i];
            sy += y[i];
            sxx += x[i] * x[i];
            sxy += x[i] * y[i];
        }
        line_fit f{};
        f.slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
        f.intercept = (sy - f.slope * sx) / n;
        std::vector<double> off;
        for (std::size_t i = 0; i < x.size(); ++i) off.push_back(std::abs(y[i] - f.intercept - f.slope * x[i]));
        std::sort(off.begin(), off.end());
        f.residual = off.empty() ? 0 : off[off.size() * 9 / 10];
        return f;
    }

    // Plays name on SDL's disk driver, which keeps real time as a sound card
    // does and writes each buffer to its file as it takes it, and reads the
    // clock every millisecond for duration_ms, once the output latency and two
    // buffers have passed. Every read is at least the previous. The file's
    // growth tells when the device took each buffer: a loaded machine delays
    // the device and the clock rightly with it, so the clock is held to a line
    // through the device's takes, with the device's own unevenness allowed on
    // top, never to the wall clock.
    struct clock_fit {
        double slope;     // music ms per ms of the device's own pace
        double residual;  // distance of a read from the clock's line that nine in ten keep within
        double offset;    // the clock's line less the device's (less a buffer and the latency), at the first read
        double device_residual;  // the same distance for the device's takes
        // The same distance for the takes around each read: the clock counts
        // on from the device's last take to the next, so a take the machine
        // held up moves every read around it, and those are many reads.
        double device_residual_at_reads;
        // Half the time between the looks that saw the takes (nine in ten
        // within): how far a take may lie from when it is counted. A test
        // thread the machine held up looks seldom, and the device's thread
        // takes its buffers early in those gaps.
        double take_unsure;
    };
    static clock_fit play_and_fit(const char* name, double latency_ms, int duration_ms)
    {
        const std::string out = at("clock.raw");
        unlink(out.c_str());
        use_driver("disk", out, static_cast<int>(buffer_ms));
        const double start = now_ms();
        EXPECT_EQ(music_start(at(name).c_str()), 1);
        std::vector<double> elapsed, reads, took, handed, unsure;
        std::int32_t previous = music_time();
        off_t size = 0;
        double last = start;
        for (double t = now_ms(); t < start + duration_ms; t = now_ms()) {
            const std::int32_t read = music_time();
            struct stat st{};
            stat(out.c_str(), &st);
            const double after = now_ms();
            EXPECT_GE(read, previous);
            previous = read;
            // A read that was held up between its two times says nothing.
            if (after - t < 0.2) {
                if (st.st_size > size) {
                    took.push_back((last + t) / 2);  // it came since the last look
                    unsure.push_back((t - last) / 2);
                    handed.push_back(static_cast<double>(st.st_size / 4) * 1000.0 / 44100);
                    size = st.st_size;
                }
                if (t - start > latency_ms + 2 * buffer_ms) {
                    elapsed.push_back(t - start);
                    reads.push_back(read);
                }
                last = after;
            }
            sleep_ms(1);
        }
        music_shutdown();
        clock_fit fit{};
        if (elapsed.size() < 10 || took.size() < 4) return fit;
        for (double& t : took) t -= start;
        const line_fit device = fit_line(took, handed);
        const line_fit clock = fit_line(elapsed, reads);
        fit.slope = clock.slope / device.slope;
        fit.residual = clock.residual;
        fit.device_residual = device.residual;
        const auto off_line = [&](std::size_t j) { return std::abs(handed[j] - device.intercept - device.slope * took[j]); };
        std::vector<double> off;
        std::size_t k = 0;
        for (const double t : elapsed) {
            while (k + 1 < took.size() && took[k + 1] <= t) ++k;
            off.push_back(k + 1 < took.size() ? std::max(off_line(k), off_line(k + 1)) : off_line(k));
        }
        std::sort(off.begin(), off.end());
        fit.device_residual_at_reads = off[off.size() * 9 / 10];
        std::sort(unsure.begin(), unsure.end());
        fit.take_unsure = unsure[unsure.size() * 9 / 10];
        // The device takes a buffer ahead of playing it, and the latency after.
        const double device_then = device.intercept + device.slope * elapsed[0] - buffer_ms - latency_ms;
        fit.offset = clock.intercept + clock.slope * elapsed[0] - device_then;
        return fit;
    }

    // The clock keeps the device's pace (the disk driver's sleeps make it
    // about 1% fast), without buffer-sized steps (a clock that steps once a
    // buffer strays some 10 ms from its line), and shows what the device took
    // a buffer before, less the latency: each within 3 ms and the device's
    // own unevenness in this run, as the reads met it (the last also within
    // how unsure the takes' times were). A measurement spoilt by a stall of
    // the device longer than the clock bridges is taken again, at most twice.
    static void expect_device_time(const char* name, double latency_ms, int duration_ms)
    {
        clock_fit fit{};
        for (int attempt = 0; attempt < 3; ++attempt) {
            fit = play_and_fit(name, latency_ms, duration_ms);
            // The device's own unevenness, and what it leaves unsure of its pace.
            const double uneven = std::max(fit.device_residual, fit.device_residual_at_reads);
            const double pace = 0.02 + 2 * fit.device_residual / (duration_ms - latency_ms - 2 * buffer_ms);
            const double unsure = fit.take_unsure;
            if (std::abs(fit.slope - 1.0) <= pace && fit.residual <= 3.0 + uneven && fit.offset <= 3.0 + uneven + unsure &&
                fit.offset >= -buffer_ms - 3.0 - uneven - unsure)
                return;
        }
        ADD_FAILURE() << "slope " << fit.slope << " of the device's, nine in ten reads within " << fit.residual
                      << " ms of the line (the device's takes " << fit.device_residual << ", as the reads met them "
                      << fit.device_residual_at_reads << "), offset " << fit.offset << " ms (the takes seen within "
                      << fit.take_unsure << " ms)";
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
    expect_device_time("click.mp3", buffer_ms, 1200);

    music_options o;
    o.latency_ms = 100;
    music_configure(o);
    expect_device_time("click.mp3", 100, 600);
}

TEST_F(music, after_a_short_track_the_clock_runs_on_in_real_time)
{
    expect_device_time("short.mp3", buffer_ms, 900);
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
    const double restarted = now_ms();
    EXPECT_EQ(music_start(at("short.mp3").c_str()), 1);
    const std::int32_t first = music_time();
    // Up to two buffers ahead of what was played since the start.
    EXPECT_LT(first, 50 + now_ms() - restarted) << "a new stream's clock starts at 0";
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
        constexpr std::uint32_t values = 8192;
        // What the device took before the seek, a buffer in flight, then
        // the stream from there.
        std::string bytes;
        read_more(out, bytes);
        const std::size_t enough = bytes.size() + 3 * music_buffer_frames * 4 + values * 2;
        for (const double give_up = now_ms() + 120000; bytes.size() < enough && now_ms() < give_up; sleep_ms(20))
            read_more(out, bytes);
        music_shutdown();
        const std::vector<std::int16_t> played = samples_of(bytes);
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

// Reads the clock after waiting until it passes least (a starved device may
// take a while), and holds the read to the real time since since_ms, from
// the time at that moment, plus a buffer's slack.
void expect_runs_from(std::int32_t from, double since_ms, std::int32_t least, const std::string& what)
{
    for (const double give_up = now_ms() + 60000; music_time() < least && now_ms() < give_up;) sleep_ms(1);
    const std::int32_t read = music_time();
    EXPECT_GE(read, least) << what;
    EXPECT_LE(read, from + (now_ms() - since_ms) + 100) << what;
}

TEST_F(music, a_pause_holds_the_clock_and_a_seek_moves_it_both_ways)
{
    for (const bool mute : {false, true}) {
        const std::string what = mute ? "muted" : "playing";
        music_options o;
        o.mute = mute;
        music_configure(o);
        music_start(at("click.mp3").c_str());
        while (music_time() < 200) sleep_ms(1);
        music_pause(true);
        const std::int32_t held = music_time();
        sleep_ms(300);
        EXPECT_EQ(music_time(), held) << what;
        double since = now_ms();
        music_pause(false);
        sleep_ms(200);
        expect_runs_from(held, since, held + 100, what + ", resumed");
        since = now_ms();
        music_seek(5000);
        expect_runs_from(5000, since, 5000, what + ", sought ahead");
        since = now_ms();
        music_seek(1000);  // back
        EXPECT_LT(music_time(), 1000 + (now_ms() - since) + 100) << what;
        sleep_ms(200);
        expect_runs_from(1000, since, 1100, what + ", sought back");
        music_pause(true);
        music_seek(3000);  // a paused clock stays paused, there
        sleep_ms(100);
        EXPECT_EQ(music_time(), 3000) << what;
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
        // No long look at what cannot be played (a wait would hang until the alarm).
        const double called = now_ms(), cpu = cpu_ms();
        EXPECT_EQ(music_start(at(c.name).c_str()), 0) << c.name;
        const double start = now_ms();
        EXPECT_LT(cpu_ms() - cpu, 1000) << c.name;
        ASSERT_NE(music_problem(), nullptr) << c.name;
        EXPECT_NE(std::strstr(music_problem(), c.reason), nullptr) << music_problem();
        sleep_ms(60);
        expect_silent_time(called, start, c.name);
    }
}

TEST_F(music, an_unreadable_file_gets_the_silent_clock)
{
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            const double called = now_ms();
            const int result = music_start(at("unreadable.mp3").c_str());
            const char* why = music_problem();
            sleep_ms(30);
            const std::int32_t t = music_time();
            const bool real_time = t >= 29 && t <= now_ms() - called + 1;
            _exit(result == 0 && why && std::strstr(why, "Permission denied") && real_time ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(music, muted_or_without_a_device_the_clock_is_silent)
{
    music_options o;
    o.mute = true;
    music_configure(o);
    double called = now_ms();
    EXPECT_EQ(music_start(at("click.mp3").c_str()), 0);
    double start = now_ms();
    EXPECT_EQ(music_problem(), nullptr);
    sleep_ms(50);
    expect_silent_time(called, start, "muted");
    music_shutdown();

    music_configure(music_options{});
    use_driver("no_such_driver");
    called = now_ms();
    EXPECT_EQ(music_start(at("click.mp3").c_str()), 0);
    start = now_ms();
    ASSERT_NE(music_problem(), nullptr);
    EXPECT_NE(std::strstr(music_problem(), "no sound"), nullptr) << music_problem();
    sleep_ms(50);
    expect_silent_time(called, start, "no device");
}

TEST_F(music, a_file_name_cannot_send_escapes_in_the_reason)
{
    const std::string name = at("\x1b[2Jname.mp3");
    write_file(name, "");
    EXPECT_EQ(music_start(name.c_str()), 0);
    ASSERT_NE(music_problem(), nullptr);
    EXPECT_EQ(std::strchr(music_problem(), '\x1b'), nullptr);
    EXPECT_NE(std::strstr(music_problem(), "\\x1B[2Jname.mp3"), nullptr) << music_problem();
}

}  // namespace
