#!/usr/bin/env bash
# The Windows console backend under wine, in an 80 x 25 tmux window: the start
# picture shows, SPACE starts the fire, ESC ends with status 0 and q does too;
# with no audio device the show runs on the silent clock and says so in one
# line once the console is given back; Ctrl-C ends it with Windows' Ctrl-C
# status (0xC000013A, whose low byte 58 is what wine passes on). A live
# recording and --color are refused; Ctrl-C in a headless recording leaves no file.
# Usage: wine_console.sh glimfant.exe   (WINEPREFIX set up by the caller)
set -euo pipefail
exe=$(realpath "$1")
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
dir=$(mktemp -d)
t() { tmux -S "$dir/tmux" -f /dev/null "$@"; }  # a server of its own, its socket in the scratch folder
trap 't kill-server 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "FAILED: $*"; pane 2>/dev/null | sed 's/^/  | /'; exit 1; }
# Polls a condition every 50 ms for at most 30 s (wine starts slowly).
wait_for() {
    local i
    for ((i = 0; i < 600; ++i)); do eval "$1" && return 0; sleep 0.05; done
    return 1
}
runs=0
pane() { t capture-pane -p -t "w$runs"; }
keys() { t send-keys -t "w$runs" "$@"; }

start() {  # glimfant's arguments; its standard error goes to $dir/err
    rm -f "$dir/status"
    runs=$((runs + 1))
    # No display, no sound card: wine's console host runs in the terminal.
    t new-session -d -s "w$runs" -x 80 -y 25 \
        "cd $dir && env -u DISPLAY WINEDEBUG=-all $wine $exe $* 2>$dir/err; echo \$? > $dir/status; sleep 600"
    # The start picture's big letters ("HIT ALT+ENTER / THEN SPACE") in 8s.
    wait_for 'pane | grep -q "8   8 8 88888     888  8    88888"' || fail "no start picture"
}

start
keys Space
# The title's fire: code-page bytes 138 and up, shown as accented letters.
wait_for 'pane | tail -8 | grep -q "[èïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑ]"' || fail "SPACE did not start the fire"
pane | grep -q "8   8 8 88888" && fail "the start picture stayed after SPACE"
keys Escape
wait_for '[ -s "$dir/status" ]' || fail "ESC did not end the show"
[ "$(cat "$dir/status")" = 0 ] || fail "ESC ended with status $(cat "$dir/status")"
grep -q '^glimfant: no sound: ' "$dir/err" || [ -z "$(grep '^glimfant' "$dir/err")" ] ||
    fail "unexpected messages: $(cat "$dir/err")"
echo "start picture, SPACE starts the fire, ESC exits 0"
if grep -q '^glimfant: no sound: ' "$dir/err"; then
    [ "$(grep -c '^glimfant' "$dir/err")" = 1 ] || fail "more than one line about the sound: $(cat "$dir/err")"
    echo "no audio device: one line, $(grep '^glimfant' "$dir/err")"
fi

start --mute
keys q
wait_for '[ -s "$dir/status" ]' || fail "q did not end the start screen"
[ "$(cat "$dir/status")" = 0 ] || fail "q ended with status $(cat "$dir/status")"
[ ! -s "$dir/err" ] || fail "muted, yet it said: $(cat "$dir/err")"
echo "q on the start screen exits 0"

start --mute
keys Space
wait_for '! pane | grep -q "8   8 8 88888"' || fail "SPACE did not start the show"
keys C-c
wait_for '[ -s "$dir/status" ]' || fail "Ctrl-C did not end the show"
[ "$(cat "$dir/status")" = 58 ] || fail "Ctrl-C ended with status $(cat "$dir/status")"
echo "Ctrl-C in the show ends it with the Ctrl-C status"

# The viewer's keys: p pauses and resumes (the music column holds), the right
# arrow moves to the next scene's start (the title burns at 10111 ms).
start --mute --stats stats.txt
keys Space
sleep 1
keys p
sleep 1.5
keys p
sleep 0.5
keys Right
sleep 1
keys Escape
wait_for '[ -s "$dir/status" ]' || fail "ESC did not end the show"
[ "$(cat "$dir/status")" = 0 ] || fail "ESC ended with status $(cat "$dir/status")"
# The first frame at the burn shows it and at most the time since the frame
# before, less a frame (what a loaded machine added), past 389 ms.
awk '$1 != "#" { if ($5 == previous && $5 > 0) { if (++run > longest) longest = run } else run = 0
                 late = shown && $3 - shown > 20 ? $3 - shown - 20 : 0
                 if (!seen && $5 >= 10111) { seen = 1; moved = $5 < 10500 + late }
                 previous = $5; shown = $3 }
     END { exit !(longest >= 20 && moved) }' "$dir/stats.txt" || fail "no pause or no move in the music column"
echo "p pauses and resumes, the right arrow moves to the next scene"

# --screensaver: no start picture, and any key ends it with status 0.
rm -f "$dir/status"
runs=$((runs + 1))
t new-session -d -s "w$runs" -x 80 -y 25 \
    "cd $dir && env -u DISPLAY WINEDEBUG=-all $wine $exe --mute --screensaver 2>$dir/err; echo \$? > $dir/status; sleep 600"
wait_for 'pane | tail -8 | grep -q "[èïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑ]"' || fail "the screensaver showed no fire"
pane | grep -q "8   8 8 88888" && fail "the screensaver showed the start picture"
keys x
wait_for '[ -s "$dir/status" ]' || fail "a key did not end the screensaver"
[ "$(cat "$dir/status")" = 0 ] || fail "the screensaver ended with status $(cat "$dir/status")"
echo "the screensaver starts without the start picture and ends on a key"

# A recording: the console takes cells, not a byte stream, so a live one is
# refused (status 1, no file); a headless one cut short by Ctrl-C leaves no
# file behind, not even its temporary one.
run() {  # glimfant's arguments: runs them in a window of their own
    rm -f "$dir/status"
    runs=$((runs + 1))
    t new-session -d -s "w$runs" -x 80 -y 25 \
        "cd $dir && env -u DISPLAY WINEDEBUG=-all $wine $exe $* 2>$dir/err; echo \$? > $dir/status; sleep 600"
}
run --mute --record live.cast
wait_for '[ -s "$dir/status" ]' || fail "a live recording did not end"
[ "$(cat "$dir/status")" = 1 ] || fail "a live recording ended with status $(cat "$dir/status")"
[ -z "$(cd "$dir" && ls | grep cast)" ] || fail "a refused live recording left $(cd "$dir" && ls | grep cast)"
echo "a live recording is refused: $(cat "$dir/err")"

# --color: the console shows its own sixteen colours, so it is a usage error.
run --mute --color 16
wait_for '[ -s "$dir/status" ]' || fail "--color did not end"
[ "$(cat "$dir/status")" = 2 ] || fail "--color in the console ended with status $(cat "$dir/status")"
grep -q '^glimfant: option --color has no effect in the Windows console' "$dir/err" || fail "--color: $(cat "$dir/err")"
echo "--color is refused in the console: $(cat "$dir/err")"

run --headless --color 256 --record cut.cast
wait_for 'ls "$dir" | grep -q "cut.cast.*tmp"' || fail "no temporary recording"
keys C-c
wait_for '[ -s "$dir/status" ]' || fail "Ctrl-C did not end the headless run"
[ "$(cat "$dir/status")" = 58 ] || fail "Ctrl-C ended the headless run with status $(cat "$dir/status")"
[ -z "$(cd "$dir" && ls | grep cut)" ] || fail "Ctrl-C left $(cd "$dir" && ls | grep cut)"
echo "Ctrl-C in a headless recording leaves no file"
