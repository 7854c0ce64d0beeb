#!/usr/bin/env bash
# Picture against sound, end to end: a private PulseAudio server with a null
# sink, glimfant live in tmux playing a click track through SDL's pulseaudio
# driver with --stats, and glimfant_click_recorder timing each click as the
# sink plays it. For every click at music time t, the time the picture showed
# t (between the two presents around it, from --stats) less the time t was
# heard: positive means the picture is late.
#
#   bench/av_sync.sh [--check] [GLIMFANT_BINARY [SECONDS]]   (default: build/glimfant 20)
#
# Target: mean within 10 ms of 0, standard deviation at most 3 ms. With
# --check (the test suite), exits 1 when the median is more than 12 ms off or
# the middle half of the clicks spreads over more than 8 ms, each bound
# widened by the same measure of how late the frames were presented in this
# run (a loaded machine's delay), the spread also by how much the clock
# wandered beside the frames' deadlines, and 77 when pulseaudio or the
# recorder is missing. AV_SYNC_KEEP=DIR keeps
# the --stats file and the heard clicks there.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
check=0
if [ "${1:-}" = --check ]; then check=1; shift; fi
glimfant=${1:-$root/build/glimfant}
seconds=${2:-20}
recorder=$(dirname "$glimfant")/glimfant_click_recorder
period_ms=250
. "$root/bench/tmux_demo.sh"
. "$root/bench/pulse_null.sh"
trap 'demo_cleanup; pulse_stop' EXIT
trap 'exit 1' INT TERM HUP

for tool in pulseaudio pactl sox lame tmux; do
    command -v $tool >/dev/null || { echo "av_sync: needs $tool" >&2; exit 77; }
done
[ -x "$recorder" ] || { echo "av_sync: needs $recorder (built with libpulse-dev)" >&2; exit 77; }
pulse_start || exit 1

# A 10 ms tone at the start of every period, for longer than the run.
sox -R -n -r 44100 -c 2 -b 16 "$demo_dir/click.wav" synth 0.01 sine 1000 vol 0.5 \
    pad 0 "$(awk -v p=$period_ms 'BEGIN { print p / 1000 - 0.01 }')" \
    repeat "$(( (seconds + 5) * 1000 / period_ms ))"
lame --quiet -b 128 "$demo_dir/click.wav" "$demo_dir/click.mp3"

"$recorder" $((seconds + 8)) > "$demo_dir/heard.txt" 2> "$demo_dir/recorder.err" &
recorder_pid=$!
demo_wait 'grep -q ready "$demo_dir/heard.txt" || ! kill -0 $recorder_pid 2>/dev/null'
sleep 3  # the sink plays out what it rendered ahead before the recording asked for a short latency
demo_audio=pulseaudio demo_start --soundtrack "$demo_dir/click.mp3" --stats "$demo_dir/stats.txt" 2>/dev/null
sleep 0.5
demo_space
sleep "$seconds"
demo_quit
wait $recorder_pid || { cat "$demo_dir/recorder.err" >&2; exit 1; }
cat "$demo_dir/recorder.err"
[ -n "${AV_SYNC_KEEP:-}" ] && cp "$demo_dir/stats.txt" "$demo_dir/heard.txt" "$AV_SYNC_KEEP/"

python3 - "$demo_dir/stats.txt" "$demo_dir/heard.txt" "$period_ms" "$check" <<'PY'
import statistics, sys

rows = [line.split() for line in open(sys.argv[1]) if not line.startswith("#")]
frames = [(int(r[4]), float(r[2])) for r in rows]          # (music ms shown, present ms)
# How late each frame went out after the first tick past its deadline.
late = [float(r[2]) - int(r[1]) - 1 for r in rows]
heard = [float(x) for x in open(sys.argv[2]) if x.strip() and x[0].isdigit()]
period = int(sys.argv[3])
check = sys.argv[4] == "1"

def shown_at(t):
    """When the picture showed music time t: between the presents around it."""
    for (m0, p0), (m1, p1) in zip(frames, frames[1:]):
        if m0 <= t < m1:
            return p0 + (t - m0) * (p1 - p0) / (m1 - m0)
    return None

lags = []
# The k-th click heard is the one at music time k x period: a stream that
# runs dry (an overloaded machine) delays the rest, but loses nothing.
for k, h in enumerate(heard):
    p = shown_at(k * period)
    if p is not None:
        lags.append(p - h)
if len(lags) < 10:
    print(f"only {len(lags)} clicks both heard and shown (heard {len(heard)}, frames {len(frames)})")
    sys.exit(1)
mean = statistics.fmean(lags)
sd = statistics.pstdev(lags)
q1, median, q3 = statistics.quantiles(lags, n=4)
print(f"clicks heard {len(heard)}, compared {len(lags)}")
print(f"picture minus sound (ms): mean {mean:+.2f}, standard deviation {sd:.2f}, "
      f"min {min(lags):+.2f}, max {max(lags):+.2f} (target: mean within 10, deviation at most 3)")
print(f"  median {median:+.2f}, middle half within {q3 - q1:.2f}")
l1, late_median, l3 = statistics.quantiles(late, n=4)
print(f"frames presented late by (ms): median {late_median:.2f}, middle half within {l3 - l1:.2f}")
# How evenly the clock ran beside the frames: a frame shows the clock at
# the tick past its deadline, and the deadlines are 20 ms apart, so the
# music time moves on by 20 ms a frame while the device keeps its pace, and
# by more or less as a loaded machine held the device's thread up (a time
# off by e moves two steps, by e each way).
steps = [int(b[4]) - int(a[4]) for a, b in zip(rows, rows[1:])]
s1, _, s3 = statistics.quantiles(steps, n=4)
print(f"the clock moved on a frame by (ms): middle half within {s3 - s1:.2f}")
# The check reads the median and the middle half, which a few frames or
# buffers delayed by a loaded machine do not move; a clock a frame or a
# buffer off (20 ms and more) moves the median. Frames a loaded machine sent
# late show late by as much, and a clock it held up spreads as much: the
# bounds widen by those, measured in this run.
median_bound = 12 + max(0.0, late_median)
spread_bound = 8 + (l3 - l1) + (s3 - s1) / 2
if check and (abs(median) > median_bound or q3 - q1 > spread_bound):
    print(f"out of bounds: a median within {median_bound:.1f} ms and a middle half within {spread_bound:.1f} ms expected")
    sys.exit(1)
PY
