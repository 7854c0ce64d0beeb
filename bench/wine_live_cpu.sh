#!/usr/bin/env bash
# CPU that the Windows build takes during the show under wine, live in an 80 x
# 25 tmux window: starts glimfant.exe (--mute unless GLIMFANT_ARGS says
# otherwise), presses SPACE, waits SKIP seconds and reads utime + stime over
# SECONDS of wall time: of glimfant.exe, and beside it of wine's console host
# (which turns the console's cells into terminal output) and wineserver.
#
#   bench/wine_live_cpu.sh [GLIMFANT_EXE [SECONDS [SKIP]]]
#   (default: build-windows/glimfant.exe 20 2; WINEPREFIX as set, else ~/.wine)
#
# Target for glimfant.exe: at most 0.02 CPU s a wall second.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exe=${1:-$root/build-windows/glimfant.exe}
seconds=${2:-20}
skip=${3:-2}
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
export WINEDEBUG=-all
dir=$(mktemp -d)
t() { tmux -S "$dir/tmux" -f /dev/null "$@"; }  # its socket in the scratch folder
trap 't kill-server 2>/dev/null; rm -rf "$dir"' EXIT

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
# The newest process whose command line holds the text: wine's own helpers.
pid_of() { pgrep -n -f "$1" || echo 0; }
now() { date +%s.%N; }

t new-session -d -s t -x 80 -y 25 "sh -c 'echo \$\$ > $dir/pid; exec $wine $exe ${GLIMFANT_ARGS:---mute}'"
for _ in $(seq 200); do [ -s "$dir/pid" ] && break; sleep 0.05; done
pid=$(cat "$dir/pid")
for _ in $(seq 300); do t capture-pane -p -t t | grep -q '8   8' && break; sleep 0.05; done
t send-keys -t t Space
sleep "$skip"
host=$(pid_of 'conhost.exe') server=$(pid_of 'wineserver')
t0=$(now); c0=$(cpu_ticks "$pid"); h0=$(cpu_ticks "$host"); s0=$(cpu_ticks "$server")
sleep "$seconds"
t1=$(now); c1=$(cpu_ticks "$pid"); h1=$(cpu_ticks "$host"); s1=$(cpu_ticks "$server")
t send-keys -t t Escape
for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done

awk -v t0="$t0" -v t1="$t1" -v c="$((c1 - c0))" -v h="$((h1 - h0))" -v s="$((s1 - s0))" \
    -v hz="$(getconf CLK_TCK)" 'BEGIN {
    wall = t1 - t0
    printf "%.2f s of the show under wine\n", wall
    printf "glimfant.exe: %.4f CPU s per wall second (%d ticks of 1/%d s)\n", c / hz / wall, c, hz
    printf "conhost.exe:  %.4f CPU s per wall second (wine: cells to terminal output)\n", h / hz / wall
    printf "wineserver:   %.4f CPU s per wall second\n", s / hz / wall
    printf "target at most 0.02 for glimfant.exe: %s\n", c / hz / wall <= 0.02 ? "met" : "NOT met"
}'
