#!/usr/bin/env bash
# How soon SPACE starts the show: runs glimfant on an 80 x 25 pseudo-terminal
# of its own with a five-minute MP3, waits WAIT seconds on the start screen,
# types SPACE and takes the time from the key to the first frame written (the
# first line of --stats; both on the monotonic clock). RUNS runs with SDL's
# dummy audio driver, then RUNS through a private PulseAudio server with a
# null sink when pulseaudio is installed (the device opens for real there).
#
#   bench/start_delay.sh [GLIMFANT_BINARY [RUNS [WAIT]]]   (default: build/glimfant 5 1)
#
# Target: every first frame within 30 ms of SPACE.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
runs=${2:-5}
wait_s=${3:-1}
. "$root/bench/pulse_null.sh"
scratch=$(mktemp -d)
trap 'pulse_stop; rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP

# Made once and kept beside the binary: encoding takes a while.
track=$(dirname "$glimfant")/bench-fixtures/five_minutes.mp3
if [ ! -s "$track" ]; then
    command -v sox >/dev/null && command -v lame >/dev/null || { echo "needs sox and lame" >&2; exit 1; }
    mkdir -p "$(dirname "$track")"
    sox -R -n -r 44100 -c 2 -b 16 "$scratch/long.wav" synth 300 pinknoise vol 0.3
    lame --quiet -q 9 -b 128 "$scratch/long.wav" "$track.part" && mv "$track.part" "$track"
    rm -f "$scratch/long.wav"
fi

measure()  # $1: the SDL audio driver
{
    SDL_AUDIODRIVER=$1 python3 - "$glimfant" "$track" "$runs" "$wait_s" "$scratch/stats.txt" "$1" <<'PY'
import fcntl, os, pty, select, statistics, struct, subprocess, sys, termios, time

glimfant, track, runs, wait_s, stats, driver = sys.argv[1:]

def run_once():
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
    env = dict(os.environ, TERM="xterm")
    env.pop("COLORTERM", None)
    proc = subprocess.Popen([glimfant, "--soundtrack", track, "--stats", stats],
                            stdin=slave, stdout=slave, stderr=subprocess.DEVNULL, env=env,
                            start_new_session=True, pass_fds=(),
                            preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
    os.close(slave)
    seen = b""
    def drain(seconds):
        nonlocal seen
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            r, _, _ = select.select([master], [], [], 0.01)
            if r:
                try:
                    seen += os.read(master, 65536)
                except OSError:
                    return
    for _ in range(1000):  # until it has the terminal
        drain(0.01)
        if b"\x1b[?1049h" in seen:
            break
    drain(float(wait_s))
    key = time.monotonic() * 1000
    os.write(master, b" ")
    drain(1.5)  # a slow start must not meet the q first
    os.write(master, b"q")
    for _ in range(300):
        drain(0.01)
        if proc.poll() is not None:
            break
    proc.wait(timeout=5)
    os.close(master)
    for line in open(stats):
        if not line.startswith("#"):
            return float(line.split()[2]) - key
    return float("nan")

delays = [run_once() for _ in range(int(runs))]
print(f"{driver}: SPACE to the first frame (ms): " + " ".join(f"{d:.1f}" for d in delays))
print(f"  median {statistics.median(delays):.1f}, max {max(delays):.1f} (target: at most 30)")
PY
}

echo "soundtrack: $track ($(du -h "$track" | cut -f1))"
measure dummy
if command -v pulseaudio >/dev/null && pulse_start; then
    measure pulseaudio
else
    echo "pulseaudio: not measured (no pulseaudio)"
fi
