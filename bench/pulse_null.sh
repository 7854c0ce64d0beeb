# A private PulseAudio server whose only output is a null sink (no sound card
# needed), for the live measurements with real audio; sourced by
# start_delay.sh and av_sync.sh.
#   pulse_start     starts it in a scratch folder; exports PULSE_SERVER, so
#                   that SDL's pulseaudio driver and the recorder use it
#   pulse_stop      ends it (also on exit when pulse_start installed the trap)
# $pulse_sink is the sink's name; its monitor is $pulse_sink.monitor.
pulse_sink=glimfant_null
pulse_dir=
pulse_pid=

pulse_stop()
{
    if [ -n "$pulse_pid" ]; then
        kill "$pulse_pid" 2>/dev/null || true
        wait "$pulse_pid" 2>/dev/null || true
        pulse_pid=
    fi
    [ -n "$pulse_dir" ] && rm -rf "$pulse_dir"
    pulse_dir=
}

pulse_start()
{
    command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed" >&2; return 1; }
    pulse_dir=$(mktemp -d)
    # Its own runtime folder and home, so it neither meets nor disturbs a
    # user's server; as root it warns that it is meant for users, and runs.
    # No rewinds: what the sink's monitor records then is exactly what it
    # played, once, in order. Ten seconds without a client end it, should
    # the script that started it be killed before pulse_stop.
    XDG_RUNTIME_DIR=$pulse_dir HOME=$pulse_dir pulseaudio -n --daemonize=no --exit-idle-time=10 \
        --disallow-exit --disallow-module-loading --use-pid-file=no --disable-shm=yes --log-target=file:"$pulse_dir/log" \
        -L "module-null-sink sink_name=$pulse_sink rate=44100 norewinds=1" \
        -L "module-native-protocol-unix socket=$pulse_dir/native auth-anonymous=1" &
    pulse_pid=$!
    export PULSE_SERVER=unix:$pulse_dir/native PULSE_SINK=$pulse_sink
    local i
    for ((i = 0; i < 500; ++i)); do
        [ -S "$pulse_dir/native" ] && pactl info >/dev/null 2>&1 && return 0
        kill -0 "$pulse_pid" 2>/dev/null || break
        sleep 0.02
    done
    echo "the PulseAudio server did not start:" >&2
    cat "$pulse_dir/log" >&2 2>/dev/null
    pulse_stop
    return 1
}
