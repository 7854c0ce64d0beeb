#!/usr/bin/env bash
# The Windows window under wine, on a virtual X server of its own (Xvfb at
# 1920 x 1080, its display number chosen by the server) with openbox: the
# window opens at 4:3; F11 fills the screen with the start picture at 4:3 in
# the middle, black either side, every VGA pixel (read at its centre) the
# colour of the Linux build's --png --at start; SPACE starts the show; Alt+Enter
# leaves full screen; ESC ends it with status 0.
# Usage: wine_window.sh glimfant.exe [linux-glimfant]   (WINEPREFIX set up by the caller)
set -euo pipefail
# A wine session's desktop keeps the display of the first program that made
# it: beside the console tests, which run with none, the window needs a
# session of its own (scripts/test-windows.sh makes the prefix).
# A session still open from before (the prefix's making, a run before this
# one) is waited out, so this one starts on the display given below.
if [ -d "${WINEPREFIX:-}-window" ]; then
    export WINEPREFIX=$WINEPREFIX-window
    timeout 30 /usr/lib/wine/wineserver -w 2>/dev/null || true
fi
exe=$(realpath "$1")
reference=${2:-}
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
for tool in Xvfb openbox xdotool xprop ffmpeg python3; do
    command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
dir=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "FAILED: $*"; cat "$dir/err" 2>/dev/null | sed 's/^/  | /'; exit 1; }
# Polls a condition every 50 ms for at most 30 s (wine starts slowly).
wait_for() {
    local i
    for ((i = 0; i < 600; ++i)); do eval "$1" && return 0; sleep 0.05; done
    return 1
}

Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$dir/display" >/dev/null 2>&1 &
pids+=($!)
wait_for '[ -s "$dir/display" ]' || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$dir/display")
openbox >/dev/null 2>&1 &
pids+=($!)
wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' || fail "openbox did not start"

geometry() { xdotool getwindowgeometry --shell "$window" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=' | tr '\n' ' '; }
screen() { ffmpeg -v error -f x11grab -draw_mouse 0 -video_size 1920x1080 -i "$DISPLAY" -frames:v 1 -f rawvideo -pix_fmt rgb24 -y "$1"; }

(cd "$dir" && env WINEDEBUG=-all "$wine" "$exe" --window --mute 2>"$dir/err"; echo $? > "$dir/status") &
pids+=($!)
wait_for 'window=$(xdotool search --name "^glimfant\$" 2>/dev/null | tail -1); [ -n "$window" ]' || fail "no window"
# The keys go where the focus is, as a viewer's do.
wait_for 'xdotool windowactivate "$window" 2>/dev/null; [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]' ||
    fail "the window does not take the focus"
wait_for '[ "$(geometry)" = "WIDTH=1067 HEIGHT=800 " ]' || fail "the window is not 1067 x 800: $(geometry)"
echo "the window opens at 4:3, 1067 x 800"

# A key that reaches wine before its window takes input is lost: F11 again
# while the window keeps its size (a lost press leaves it as it was).
press_until() {  # key, then the condition that shows it was taken
    local try i
    for try in 1 2 3; do
        xdotool key "$1"
        for ((i = 0; i < 100; ++i)); do eval "$2" && return 0; sleep 0.05; done
    done
    return 1
}
press_until F11 '[ "$(geometry)" = "WIDTH=1920 HEIGHT=1080 " ]' || fail "F11 did not fill the screen: $(geometry)"
if [ -n "$reference" ]; then
    "$reference" --headless --png "$dir/start.png" --at start --frames 0
    ffmpeg -v error -i "$dir/start.png" -f rawvideo -pix_fmt rgb24 "$dir/start.rgb"
fi
check() {  # the screen against the start picture: 0 when it matches
    screen "$dir/screen.rgb"
    python3 - "$dir/screen.rgb" "$dir/start.rgb" <<'PY'
import sys
screen = open(sys.argv[1], "rb").read()
try:
    start = open(sys.argv[2], "rb").read()
except OSError:
    start = None
# Black either side of the 1440 x 1080 picture.
for y in range(0, 1080, 7):
    row = screen[y * 5760:(y + 1) * 5760]
    if any(row[:720]) or any(row[5040:]):
        sys.exit(1)
if start is not None:
    for y in range(400):
        sy = int((y + 0.5) * 1080 / 400)
        for x in range(720):
            i = (sy * 1920 + 240 + 2 * x + 1) * 3
            if screen[i:i + 3] != start[(y * 720 + x) * 3:(y * 720 + x + 1) * 3]:
                sys.exit(1)
PY
}
wait_for check || fail "the full screen is not the start picture at 4:3 between black bars"
echo "F11: the whole screen, the start picture 1440 x 1080 in the middle${reference:+, every pixel that of --png --at start}"

screen "$dir/before.rgb"
press_until space 'screen "$dir/now.rgb"; ! cmp -s "$dir/before.rgb" "$dir/now.rgb"' || fail "SPACE did not start the show"
xdotool key alt+Return
wait_for '[ "$(geometry)" = "WIDTH=1067 HEIGHT=800 " ]' || fail "Alt+Enter did not leave full screen: $(geometry)"
xdotool key Escape
wait_for '[ -s "$dir/status" ]' || fail "ESC did not end the show"
[ "$(cat "$dir/status")" = 0 ] || fail "ESC ended with status $(cat "$dir/status")"
echo "SPACE starts the show, Alt+Enter leaves full screen, ESC exits 0"
