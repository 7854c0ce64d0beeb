#!/usr/bin/env bash
# Memory of the looping show, live in tmux on the silent clock: starts
# glimfant --screensaver --mute (no start picture, looping), reads its resident
# set (VmRSS, and the peak VmHWM) from /proc at the start and every LOOP
# seconds, and reports the start and the end. --from near the end makes the
# first loop come at once; after that each loop is the whole show.
#
#   bench/loop_memory.sh [GLIMFANT_BINARY [SECONDS [EVERY]]]   (default: build/glimfant 3600 60)
#
# Target: the resident set at the end no larger than at the first reading past
# a whole show (the pages a whole show touches once are in by then).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
seconds=${2:-3600}
every=${3:-60}
. "$root/bench/tmux_demo.sh"

kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

demo_start --screensaver --mute --from 157000 --stats "$demo_dir/stats.txt"
sleep 3  # past the first loop
start_rss=$(kib "$demo_pid" VmRSS)
echo "after the first loop: VmRSS $start_rss KiB"
whole_rss=
for ((t = every; t <= seconds; t += every)); do
    sleep "$every"
    rss=$(kib "$demo_pid" VmRSS)
    [ -n "$whole_rss" ] || [ "$t" -lt 160 ] || whole_rss=$rss
    echo "$((t + 3)) s: VmRSS $rss KiB, peak $(kib "$demo_pid" VmHWM) KiB"
done
end_rss=$(kib "$demo_pid" VmRSS)
demo_quit
loops=$(awk '$1 != "#" { if (seen && $5 < previous) n++; previous = $5; seen = 1 } END { print n + 0 }' "$demo_dir/stats.txt")
echo "$((seconds + 3)) s of looping, $loops loops: VmRSS $start_rss KiB at the start, $end_rss KiB at the end"
whole_rss=${whole_rss:-$start_rss}
echo "after a whole show: $whole_rss KiB"
[ "$end_rss" -le "$whole_rss" ] && echo "target met: no growth" || echo "grew by $((end_rss - whole_rss)) KiB"
