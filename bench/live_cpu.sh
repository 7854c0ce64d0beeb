#!/usr/bin/env bash
# CPU that glimfant takes during the show, live in tmux: starts it (--mute
# unless GLIMFANT_ARGS says otherwise), presses SPACE, waits SKIP seconds, and
# reads utime + stime from /proc/<pid>/stat over SECONDS of wall time. The tmux
# server's own CPU (the terminal's side) is reported beside it.
#
#   bench/live_cpu.sh [GLIMFANT_BINARY [SECONDS [SKIP]]]   (default: build/glimfant 20 0)
#
# Target: at most 0.02 CPU s a wall second.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
seconds=${2:-20}
skip=${3:-0}
. "$root/bench/tmux_demo.sh"

# utime + stime in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now() { date +%s.%N; }

demo_start ${GLIMFANT_ARGS:---mute}
server_pid=$(demo_tmux display -p '#{pid}')
demo_space
sleep "$skip"
t0=$(now); c0=$(cpu_ticks "$demo_pid"); s0=$(cpu_ticks "$server_pid")
sleep "$seconds"
t1=$(now); c1=$(cpu_ticks "$demo_pid"); s1=$(cpu_ticks "$server_pid")
demo_quit

hz=$(getconf CLK_TCK)
awk -v t0="$t0" -v t1="$t1" -v c="$((c1 - c0))" -v s="$((s1 - s0))" -v hz="$hz" -v skip="$skip" 'BEGIN {
    wall = t1 - t0
    printf "show seconds %g to %.1f, %.2f s of wall time\n", skip, skip + wall, wall
    printf "glimfant:    %.4f CPU s per wall second (%d ticks of 1/%d s)\n", c / hz / wall, c, hz
    printf "tmux server: %.4f CPU s per wall second\n", s / hz / wall
    printf "target at most 0.02: %s\n", c / hz / wall <= 0.02 ? "met" : "NOT met"
}'
