// Records what a PulseAudio sink plays, through its monitor, and prints when
// each click was heard, on the monotonic clock: the measuring end of the
// audio-to-picture sync check (bench/av_sync.sh).
//
//   glimfant_click_recorder SECONDS
//
// Prints "ready" once recording runs, then, after SECONDS, one line per click:
// the time (ms, monotonic) its first loud sample reached the sink's output.
// A sample's time comes from the stream's timing: the sample at the read
// position was played `latency` before now, where latency counts the
// monitor's buffers and the sink's own latency (negative for a monitor, whose
// data leaves the sink before it is played). A straight line through all
// reads (position against time) smooths out the scheduling noise of each read.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr double fragment_ms = 5;
constexpr int loud = 4000;                 // a click's samples reach 16000
constexpr std::int64_t quiet_frames = rate / 10;  // a click starts after 100 ms of quiet
constexpr double settle_ms = 2500;

struct read_point {
    double position;  // frames recorded before this read
    double time_ms;   // when the first of them was played
    double read_ms;   // when the read came
};

pa_mainloop* loop = nullptr;
pa_context* context = nullptr;
pa_stream* stream = nullptr;
std::int64_t recorded = 0;       // frames read so far
std::int64_t quiet = 0;          // frames since the last loud one
std::vector<read_point> points;
std::vector<std::int64_t> onsets;  // frame positions of the clicks
double end_ms = 0;
bool failed = false;

double now_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

void on_read(pa_stream* s, std::size_t, void*)
{
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_readable_size(s) > 0) {
        if (pa_stream_peek(s, &data, &bytes) < 0 || bytes == 0) return;
        pa_usec_t latency = 0;
        int negative = 0;
        if (data && pa_stream_get_latency(s, &latency, &negative) == 0) {
            const double lat_ms = (negative ? -1.0 : 1.0) * static_cast<double>(latency) / 1000.0;
            const double now = now_ms();
            points.push_back({static_cast<double>(recorded), now - lat_ms, now});
        }
        const std::int64_t frames = static_cast<std::int64_t>(bytes / 2);
        const auto* samples = static_cast<const std::int16_t*>(data);
        for (std::int64_t i = 0; i < frames; ++i) {
            const int v = samples ? std::abs(samples[i]) : 0;  // no data: a hole, silence
            if (v > loud) {
                if (quiet >= quiet_frames) onsets.push_back(recorded + i);
                quiet = 0;
            } else {
                ++quiet;
            }
        }
        recorded += frames;
        pa_stream_drop(s);
    }
}

void on_stream_state(pa_stream* s, void*)
{
    const pa_stream_state_t state = pa_stream_get_state(s);
    if (state == PA_STREAM_READY) {
        std::puts("ready");
        std::fflush(stdout);
    } else if (state == PA_STREAM_FAILED) {
        std::fprintf(stderr, "recorder: stream failed: %s\n", pa_strerror(pa_context_errno(context)));
        failed = true;
        pa_mainloop_quit(loop, 1);
    }
}

void on_context_state(pa_context* c, void*)
{
    const pa_context_state_t state = pa_context_get_state(c);
    if (state == PA_CONTEXT_READY) {
        const pa_sample_spec format{PA_SAMPLE_S16LE, rate, 1};
        stream = pa_stream_new(c, "click recorder", &format, nullptr);
        pa_stream_set_state_callback(stream, on_stream_state, nullptr);
        pa_stream_set_read_callback(stream, on_read, nullptr);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(fragment_ms * rate / 1000) * 2;
        // A short fragment asks the sink (through its monitor) for a short
        // latency too, so that a new stream starts playing at once.
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                                          PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(stream, "@DEFAULT_MONITOR@", &attr, flags) < 0) {
            std::fprintf(stderr, "recorder: cannot record: %s\n", pa_strerror(pa_context_errno(c)));
            failed = true;
            pa_mainloop_quit(loop, 1);
        }
    } else if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        std::fprintf(stderr, "recorder: no PulseAudio server: %s\n", pa_strerror(pa_context_errno(c)));
        failed = true;
        pa_mainloop_quit(loop, 1);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::atof(argv[1]) <= 0) {
        std::fputs("usage: glimfant_click_recorder SECONDS\n", stderr);
        return 2;
    }
    loop = pa_mainloop_new();
    context = pa_context_new(pa_mainloop_get_api(loop), "glimfant click recorder");
    pa_context_set_state_callback(context, on_context_state, nullptr);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        std::fprintf(stderr, "recorder: no PulseAudio server: %s\n", pa_strerror(pa_context_errno(context)));
        return 1;
    }
    end_ms = now_ms() + std::atof(argv[1]) * 1000;
    while (!failed && now_ms() < end_ms) {
        if (pa_mainloop_iterate(loop, 0, nullptr) < 0) break;
        pa_mainloop_prepare(loop, 10000);  // wake at least every 10 ms to watch the time
        pa_mainloop_poll(loop);
        pa_mainloop_dispatch(loop);
    }
    if (failed || points.size() < 10) {
        if (!failed) std::fputs("recorder: no sound was recorded\n", stderr);
        return 1;
    }
    // time = a + position / rate: the sink plays at its nominal rate on the
    // monotonic clock, so only the offset is fitted; the median is immune to
    // a read delayed by the scheduler.
    // The reads of the first seconds are left out: a sink that was idle
    // before the recording started has rendered up to two seconds ahead at its
    // old latency, and the timing settles only once that has played.
    std::vector<double> offsets;
    const double settled_ms = points.front().read_ms + settle_ms;
    for (const read_point& p : points)
        if (p.read_ms >= settled_ms || points.back().read_ms < settled_ms)
            offsets.push_back(p.time_ms - p.position * 1000.0 / rate);
    std::vector<double> sorted = offsets;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double a = sorted[sorted.size() / 2];
    std::vector<double> spread;
    for (double o : offsets) spread.push_back(std::abs(o - a));
    std::sort(spread.begin(), spread.end());
    std::fprintf(stderr, "recorder: %zu reads, nine in ten within %.2f ms of the line, %zu clicks\n", offsets.size(),
                 spread[spread.size() * 9 / 10], onsets.size());
    for (std::int64_t onset : onsets) std::printf("%.3f\n", a + static_cast<double>(onset) * 1000.0 / rate);
    return 0;
}
