#!/usr/bin/env bash
# What the window costs against the terminal show: a private virtual X server
# (Xvfb, software rendering, no GPU) at WIDTHxHEIGHT with openbox, the show
# full screen (--window --fullscreen --mute --stats), SPACE, then CPU of
# glimfant and of the X server over SECONDS of wall time; then the same
# SECONDS of the terminal show in tmux. From --stats, for each: frames drawn
# a second and the longest gap between two, the frames not handed over (the
# window: the frame on screen already; the terminal: it trailed), and how late
# after their deadlines frames went out.
#
#   bench/window_cpu.sh [GLIMFANT_BINARY [SECONDS [WIDTHxHEIGHT]]]
#                       (default: build/glimfant 20 1920x1080)
#
# Targets at 1920 x 1080: the window at most 0.30 CPU s a wall second, and 50
# frames drawn a second with no more skipped than the terminal skips.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
seconds=${2:-20}
size=${3:-1920x1080}
for tool in Xvfb openbox xdotool xprop tmux; do
    command -v $tool >/dev/null || { echo "$tool is not installed (scripts/deps.sh lists it)" >&2; exit 1; }
done
. "$root/bench/tmux_demo.sh"  # $demo_dir, removed on exit, and the terminal's run

x_pid= wm_pid= show_pid=
window_cleanup()
{
    for pid in $show_pid $wm_pid $x_pid; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    demo_cleanup
}
trap window_cleanup EXIT

Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$demo_dir/display" >/dev/null 2>&1 &
x_pid=$!
demo_wait '[ -n "$(cat "$demo_dir/display")" ]'
export DISPLAY=:$(head -1 "$demo_dir/display")
openbox >/dev/null 2>&1 &
wm_pid=$!
demo_wait 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now() { date +%s.%N; }
hz=$(getconf CLK_TCK)
# $1 name, $2 pid, $3 other pid, $4 its name: CPU over $seconds.
measure()
{
    local t0 t1 c0 c1 o0 o1
    t0=$(now); c0=$(cpu_ticks "$2"); o0=$(cpu_ticks "$3")
    sleep "$seconds"
    t1=$(now); c1=$(cpu_ticks "$2"); o1=$(cpu_ticks "$3")
    awk -v name="$1" -v other="$4" -v t0="$t0" -v t1="$t1" -v c="$((c1 - c0))" -v o="$((o1 - o0))" -v hz="$hz" 'BEGIN {
        wall = t1 - t0
        printf "%s: glimfant %.3f CPU s per wall second, %s %.3f\n", name, c / hz / wall, other, o / hz / wall
    }'
}

SDL_AUDIODRIVER=dummy "$glimfant" --window --fullscreen --mute --stats "$demo_dir/window.txt" 2>"$demo_dir/err" &
show_pid=$!
demo_wait '[ -n "$(xdotool search --name "^glimfant\$" 2>/dev/null)" ]'
xdotool windowactivate --sync "$(xdotool search --name '^glimfant$' 2>/dev/null | head -1)" 2>/dev/null || true
sleep 1
xdotool key space
sleep 1
window_cpu=$(measure "window $size" "$show_pid" "$x_pid" "X server")
xdotool key Escape
wait "$show_pid" || { echo "the window ended with status $?: $(cat "$demo_dir/err")" >&2; exit 1; }
show_pid=

demo_start --mute --stats "$demo_dir/terminal.txt"
server_pid=$(demo_tmux display -p '#{pid}')
demo_space
sleep 1
terminal_cpu=$(measure "terminal 80 x 25" "$demo_pid" "$server_pid" "tmux server")
demo_quit

echo "$window_cpu"
echo "$terminal_cpu"
python3 - "$demo_dir/window.txt" "$demo_dir/terminal.txt" "$seconds" <<'PY'
import sys

for name, path in (("window", sys.argv[1]), ("terminal", sys.argv[2])):
    rows = [line.split() for line in open(path) if not line.startswith("#")]
    # The measured stretch: the last SECONDS before the end (the run went on a
    # second or so longer on either side).
    end = float(rows[-1][2])
    rows = [r for r in rows if end - float(r[2]) <= 1000 * float(sys.argv[3])]
    drawn = [float(r[2]) for r in rows if int(r[3]) > 0]
    skipped = sum(1 for r in rows if int(r[3]) == 0)
    gaps = [b - a for a, b in zip(drawn, drawn[1:])]
    late = sorted(float(r[2]) - int(r[1]) for r in rows)
    span = (drawn[-1] - drawn[0]) / 1000
    print(f"{name}: {len(drawn)} frames drawn in {span:.1f} s = {(len(drawn) - 1) / span:.2f} a second, "
          f"{skipped} not handed over, longest gap {max(gaps):.1f} ms; ms after the deadline: median "
          f"{late[len(late) // 2]:.2f}, 99th percentile {late[len(late) * 99 // 100]:.2f}")
PY
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
