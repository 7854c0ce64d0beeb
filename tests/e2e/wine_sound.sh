#!/usr/bin/env bash
# The Windows sound path under wine with an audio device: a PulseAudio server
# of the test's own with a null sink. The built-in score plays through
# waveOut (the sink gets a stream), nothing is said about the sound, and the
# music clock, the device's play position, keeps pace with real time.
# Usage: wine_sound.sh glimfant.exe   (WINEPREFIX set up by the caller)
set -euo pipefail
exe=$(realpath "$1")
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
command -v pulseaudio >/dev/null || { echo "FAILED: pulseaudio is not installed"; exit 1; }
dir=$(mktemp -d)
export XDG_RUNTIME_DIR=$dir/runtime PULSE_RUNTIME_PATH=$dir/runtime/pulse
mkdir -m 700 "$XDG_RUNTIME_DIR"
socket=$dir/tmux
t() { tmux -S "$socket" -f /dev/null "$@"; }  # a server of its own, its socket in the scratch folder
cleanup() {
    t kill-server 2>/dev/null || true
    [ -s "$PULSE_RUNTIME_PATH/pid" ] && kill "$(cat "$PULSE_RUNTIME_PATH/pid")" 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
wait_for() {
    local i
    for ((i = 0; i < 600; ++i)); do eval "$1" && return 0; sleep 0.05; done
    return 1
}

pulseaudio --daemonize=yes --exit-idle-time=-1 -n --load="module-null-sink sink_name=glimfant_null" \
    --load=module-native-protocol-unix 2>/dev/null
wait_for 'pactl info >/dev/null 2>&1' || fail "the PulseAudio server did not start"

t new-session -d -s t -x 80 -y 25 \
    "cd $dir && env -u DISPLAY WINEDEBUG=-all $wine $exe --score --stats $dir/stats 2>$dir/err; echo \$? > $dir/status; sleep 600"
wait_for 't capture-pane -p -t t | grep -q "8   8 8 88888"' || fail "no start picture"
t send-keys -t t Space
wait_for '[ -n "$(pactl list short sink-inputs)" ]' || fail "no stream reached the sound server"
sleep 8
t send-keys -t t Escape
wait_for '[ -s "$dir/status" ]' || fail "ESC did not end the show"
[ "$(cat "$dir/status")" = 0 ] || fail "status $(cat "$dir/status")"
[ ! -s "$dir/err" ] || fail "it said: $(cat "$dir/err")"
[ -z "${GLIMFANT_KEEP_STATS:-}" ] || cp "$dir/stats" "$GLIMFANT_KEEP_STATS"
# The second half of the frames: the music time moved as far as the present
# time did, within 5 per cent (a clock stuck or running at the buffers' pace
# would not). Wine's PulseAudio device reports its position at about two
# thirds of the pace for the first two seconds, so those are left out. A
# loaded machine holds up wine's sound thread as it holds up the frames: the
# time the frames lost to such stalls in this run (a present more than 5 ms
# behind its 20) widens the bound by as much.
awk '!/^#/ { n++; p[n] = $3; m[n] = $5 }
     END {
        if (n < 150) { print "FAILED: only " n " frames"; exit 1 }
        h = int(n / 2); dp = p[n] - p[h]; dm = m[n] - m[h]
        for (k = h + 1; k <= n; k++) if (p[k] - p[k - 1] > 25) stalled += p[k] - p[k - 1] - 20
        printf "music clock: %d ms of music in %.0f ms of frames %d..%d (%.0f ms of stalls)\n", dm, dp, h, n, stalled
        if (dm < 0.95 * dp - stalled || dm > 1.05 * dp + stalled) { print "FAILED: the music clock does not keep pace"; exit 1 }
     }' "$dir/stats"
echo "the score plays through waveOut; the clock is the device's"

# A seek moves the device's sound and clock: the right arrow goes to the title's
# burn (10111 ms), and from there the clock keeps pace again (over the second
# half again: wine's device starts slowly after a reset too).
rm -f "$dir/status"
t kill-server
socket=$dir/tmux-seek  # a new server: the old one may still be on its way out
t new-session -d -s t -x 80 -y 25 \
    "cd $dir && env -u DISPLAY WINEDEBUG=-all $wine $exe --score --stats $dir/seek_stats 2>$dir/err; echo \$? > $dir/status; sleep 600"
wait_for 't capture-pane -p -t t | grep -q "8   8 8 88888"' || fail "no start picture"
t send-keys -t t Space
sleep 2
t send-keys -t t Right
sleep 9
t send-keys -t t Escape
wait_for '[ -s "$dir/status" ]' || fail "ESC did not end the show"
[ "$(cat "$dir/status")" = 0 ] || fail "status $(cat "$dir/status")"
awk '!/^#/ { if (!moved && $5 >= 10111) { moved = 1; first = n + 1 } n++; p[n] = $3; m[n] = $5 }
     END {
        if (!moved) { print "FAILED: the music time did not move to 10111 ms (" n " frames, the last at " m[n] " ms)"; exit 1 }
        # The frame after the move shows the burn and at most the time since
        # the frame before, less a frame (what a loaded machine added).
        late = first > 1 && p[first] - p[first - 1] > 20 ? p[first] - p[first - 1] - 20 : 0
        if (m[first] > 10111 + 300 + late) { print "FAILED: the move went to " m[first] " ms"; exit 1 }
        h = int((first + n) / 2); dp = p[n] - p[h]; dm = m[n] - m[h]
        for (k = h + 1; k <= n; k++) if (p[k] - p[k - 1] > 25) stalled += p[k] - p[k - 1] - 20
        printf "after the seek: %d ms of music in %.0f ms of frames %d..%d (%.0f ms of stalls)\n", dm, dp, h, n, stalled
        if (dm < 0.95 * dp - stalled || dm > 1.05 * dp + stalled) { print "FAILED: the music clock does not keep pace after the seek"; exit 1 }
     }' "$dir/seek_stats"
echo "a seek moves the waveOut sound and clock"
