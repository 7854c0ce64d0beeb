#!/usr/bin/env bash
# How evenly frames reach the terminal, live in tmux: runs the show for SECONDS
# with --stats (--mute unless GLIMFANT_ARGS says otherwise) and reports the
# share of frames written within 2 ms of their deadlines, how late they were,
# and the frame count against the elapsed time / 20 ms.
#
#   bench/smoothness.sh [GLIMFANT_BINARY [SECONDS]]   (default: build/glimfant 30)
#
# Targets, on an idle machine: 99% of frames within 2 ms; frames = elapsed / 20 +- 1.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
seconds=${2:-30}
. "$root/bench/tmux_demo.sh"

demo_start ${GLIMFANT_ARGS:---mute} --stats "$demo_dir/stats.txt"
demo_space
sleep "$seconds"
demo_quit
echo "load average before the end: $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - "$demo_dir/stats.txt" <<'PY'
import sys

rows = [line.split() for line in open(sys.argv[1]) if not line.startswith("#")]
deadline = [int(r[1]) for r in rows]
present = [float(r[2]) for r in rows]
sent = [int(r[3]) for r in rows]
n = len(rows)
late = sorted(p - d for p, d in zip(present, deadline))
within = sum(1 for x in late if x <= 2.0)
# The show starts at the first deadline (the tick count at the music start);
# frame k is due 20 k ms later.
elapsed = present[-1] - deadline[0]
print(f"frames {n}, elapsed {elapsed:.1f} ms, elapsed / 20 = {elapsed / 20:.2f}, "
      f"frames - elapsed / 20 = {n - elapsed / 20:+.2f} (target within +-1)")
print(f"written within 2 ms of the deadline: {within} of {n} = {100 * within / n:.2f}% (target 99%)")
print(f"ms after the deadline: min {late[0]:.3f}, median {late[n // 2]:.3f}, "
      f"99th percentile {late[min(n - 1, n * 99 // 100)]:.3f}, max {late[-1]:.3f}")
print(f"bytes a frame: average {sum(sent) / n:.0f}, max {max(sent)}")
PY
