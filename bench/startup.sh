#!/usr/bin/env bash
# What a start costs: for each binary given, the time to start, the shared
# libraries loaded and the peak memory (resident) of
#   live:      the terminal show on an 80 x 25 pseudo-terminal of its own, from
#              the start of the process to the start picture written (the
#              script answers the status requests as a terminal does), and
#              the peak again 2 s into the show after SPACE (built-in score,
#              SDL's dummy audio driver unless SDL_AUDIODRIVER says otherwise);
#   headless:  `--headless --frames 1 --dump /dev/null` (start-up), and the
#              whole headless show (`--headless --dump /dev/null`);
#   video:     `--headless --mute --video FILE --frames 50`, one second.
# Times are medians of RUNS runs (a seventh of that for the longer cases),
# alternating between the binaries; libraries are those the dynamic loader
# opened (LD_DEBUG=files, so the ones loaded at run time count too).
#
#   bench/startup.sh [RUNS] [GLIMFANT_BINARY...]   (default: 21 build/glimfant)
#
# Targets: the live start within 2 ms of a build without the video writer,
# and under 10 MB at its peak.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-21}
shift || true
[ $# -gt 0 ] || set -- "$root/build/glimfant"
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM HUP
cd "$scratch"  # no brumo.mp3 here: the built-in score plays

SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} python3 - "$runs" "$scratch" "${binaries[@]}" <<'PY'
import fcntl, glob, os, pty, select, statistics, struct, subprocess, sys, termios, time

runs, scratch, binaries = int(sys.argv[1]), sys.argv[2], sys.argv[3:]

def peak_kb(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0

def live(glimfant, show_seconds=0.0, env_extra=None):
    """Time to the start picture (ms) and peak memory (kB) then, or 2 s into the show."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
    env = dict(os.environ, TERM="xterm", **(env_extra or {}))
    env.pop("COLORTERM", None)
    start = time.monotonic()
    proc = subprocess.Popen([glimfant], stdin=slave, stdout=slave, stderr=subprocess.DEVNULL, env=env,
                            start_new_session=True, preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
    os.close(slave)
    seen, shown, peak = b"", None, 0
    def drain(until):
        nonlocal seen
        while time.monotonic() < until:
            r, _, _ = select.select([master], [], [], 0.005)
            if not r:
                continue
            try:
                data = os.read(master, 65536)
            except OSError:
                return
            seen += data
            # A terminal answers each status request at once.
            for _ in range(data.count(b"\x1b[c")):
                os.write(master, b"\x1b[?62;22c")
            if shown is None and b"\x1b[?2026l" in seen:
                return
    drain(time.monotonic() + 10)
    if b"\x1b[?2026l" in seen:
        shown = (time.monotonic() - start) * 1000
    if show_seconds:
        os.write(master, b" ")
        drain(time.monotonic() + show_seconds)
    peak = peak_kb(proc.pid)
    os.write(master, b"q")
    end = time.monotonic() + 5
    while proc.poll() is None and time.monotonic() < end:
        drain(time.monotonic() + 0.05)
    proc.wait(timeout=5)
    os.close(master)
    return shown, peak

def headless(glimfant, args, env_extra=None):
    """Wall time (ms) and peak memory (kB) of one headless run. GNU time forks
    a small process for it; a child spawned from Python would inherit
    Python's own peak."""
    env = dict(os.environ, **(env_extra or {}))
    start = time.monotonic()
    done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", f"{scratch}/peak", glimfant] + args, env=env,
                          stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = (time.monotonic() - start) * 1000
    if done.returncode != 0:
        return None, None  # an older build without the option
    return wall, int(open(f"{scratch}/peak").read().split()[-1])

def libraries(run):
    """Shared objects the dynamic loader opened during run(env)."""
    for f in glob.glob(f"{scratch}/ld.*"):
        os.remove(f)
    run({"LD_DEBUG": "files", "LD_DEBUG_OUTPUT": f"{scratch}/ld"})
    names = set()
    for f in glob.glob(f"{scratch}/ld.*"):
        for line in open(f, errors="replace"):
            if "generating link map" in line:
                names.add(line.split("file=")[1].split()[0])
    return len(names)

video = f"{scratch}/one_second.mp4"
cases = [
    ("live, to the start picture", lambda b, e=None: live(b, 0.0, e)),
    ("live, 2 s into the show", lambda b, e=None: live(b, 2.0, e)),
    ("headless, one frame", lambda b, e=None: headless(b, ["--headless", "--frames", "1", "--dump", "/dev/null"], e)),
    ("headless, the whole show", lambda b, e=None: headless(b, ["--headless", "--dump", "/dev/null"], e)),
    ("video, one second", lambda b, e=None: headless(b, ["--headless", "--mute", "--video", video, "--frames", "50"], e)),
]
# Runs alternate between the binaries, so that the machine's load weighs on each alike.
results = {(b, name): [] for b in binaries for name, _ in cases}
for name, run in cases:
    n = runs if "one frame" in name or "start picture" in name else max(3, runs // 7)
    for _ in range(n):
        for glimfant in binaries:
            results[glimfant, name].append(run(glimfant))
for glimfant in binaries:
    print(glimfant)
    for name, run in cases:
        got = results[glimfant, name]
        if got[0][1] is None:
            print(f"  {name:27} (fails: not in this build)")
            continue
        times = [r[0] for r in got if r[0] is not None]
        peak = max(r[1] for r in got)
        time_text = f"{statistics.median(times):7.1f} ms" if "2 s into" not in name else "        -"
        print(f"  {name:27} {time_text}  {libraries(lambda e: run(glimfant, e)):4d} libraries  "
              f"peak {peak / 1024:5.1f} MB  ({len(got)} runs)")
PY
