#!/usr/bin/env bash
# How soon SPACE starts the show, live in tmux: plays a five-minute MP3,
# waits WAIT seconds on the start screen, presses SPACE and takes the time
# from the key to the first frame written (the first line of --stats; both on
# the monotonic clock). RUNS runs with SDL's dummy audio driver, then RUNS
# through a private PulseAudio server with a null sink when pulseaudio is
# installed (the device opens for real there).
#
#   bench/start_delay.sh [GLIMFANT_BINARY [RUNS [WAIT]]]   (default: build/glimfant 5 1)
#
# Target: every first frame within 30 ms of SPACE.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
runs=${2:-5}
wait_s=${3:-1}
. "$root/bench/tmux_demo.sh"
. "$root/bench/pulse_null.sh"
trap 'demo_cleanup; pulse_stop' EXIT

# Made once and kept beside the binary: encoding takes a while.
track=$(dirname "$glimfant")/bench-fixtures/five_minutes.mp3
if [ ! -s "$track" ]; then
    command -v sox >/dev/null && command -v lame >/dev/null || { echo "needs sox and lame" >&2; exit 1; }
    mkdir -p "$(dirname "$track")"
    sox -R -n -r 44100 -c 2 -b 16 "$demo_dir/long.wav" synth 300 pinknoise vol 0.3
    lame --quiet -q 9 -b 128 "$demo_dir/long.wav" "$track.part" && mv "$track.part" "$track"
    rm -f "$demo_dir/long.wav"
fi

measure()  # $1: the audio driver
{
    local run delays=()
    for ((run = 0; run < runs; ++run)); do
        rm -f "$demo_dir/pid" "$demo_dir/stats.txt"
        demo_audio=$1 demo_start --soundtrack "$track" --stats "$demo_dir/stats.txt"
        sleep "$wait_s"
        # The key's time: just before tmux is asked to send it, on the stats' clock.
        delays+=("$(python3 -c '
import subprocess, sys, time
t = time.monotonic()
subprocess.run(["tmux", "-L", sys.argv[1], "-f", "/dev/null", "send-keys", "-t", "t", "Space"], check=True)
print(f"{t * 1000:.3f}")' "$demo_socket")")
        sleep 0.3
        demo_quit
        delays[-1]=$(awk -v key="${delays[-1]}" '!/^#/ { printf "%.1f", $3 - key; exit }' "$demo_dir/stats.txt")
    done
    echo "$1: SPACE to the first frame (ms): ${delays[*]}"
    printf '%s\n' "${delays[@]}" | sort -n | awk '{ v[NR] = $1 } END {
        printf "  median %.1f, max %.1f (target: at most 30)\n", v[int((NR + 1) / 2)], v[NR] }'
}

echo "soundtrack: $track ($(du -h "$track" | cut -f1))"
measure dummy
if command -v pulseaudio >/dev/null && pulse_start; then
    measure pulseaudio
    pulse_stop
else
    echo "pulseaudio: not measured (no pulseaudio)"
fi
