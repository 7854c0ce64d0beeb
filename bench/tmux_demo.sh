# Runs glimfant in an 80 x 25 window of a private tmux server, for the live
# measurements; sourced by live_cpu.sh and smoothness.sh. Needs $glimfant.
#   demo_start ARGS...   starts it and waits until it has the terminal
#   demo_space           starts the show
#   demo_quit            presses q and waits for the end
# $demo_pid is its process, $demo_dir a scratch folder removed on exit.
demo_dir=$(mktemp -d)
demo_pid=

demo_tmux() { tmux -S "$demo_dir/tmux" -f /dev/null "$@"; }  # its socket in the scratch folder

demo_cleanup()
{
    demo_tmux kill-server 2>/dev/null || true
    rm -rf "$demo_dir"
}
trap demo_cleanup EXIT

# Polls a condition every 10 ms for at most 10 s.
demo_wait()
{
    local i
    for ((i = 0; i < 1000; ++i)); do
        if eval "$1"; then return 0; fi
        sleep 0.01
    done
    echo "timed out waiting for: $1" >&2
    return 1
}

demo_start()
{
    command -v tmux >/dev/null || { echo "tmux is not installed" >&2; exit 1; }
    # No sound device is needed (unless $demo_audio names an SDL audio driver);
    # the terminal is a plain 16-colour one unless the arguments ask for more.
    demo_tmux new-session -d -s t -x 80 -y 25 \
        "env -u COLORTERM SDL_AUDIODRIVER=${demo_audio:-dummy} sh -c 'echo \$\$ > $demo_dir/pid; exec $glimfant $*'"
    demo_wait '[ -s "$demo_dir/pid" ]'
    demo_pid=$(cat "$demo_dir/pid")
    demo_wait '[ "$(demo_tmux display -p -t t "#{alternate_on}")" = 1 ]'
}

demo_space() { demo_tmux send-keys -t t Space; }

demo_quit()
{
    demo_tmux send-keys -t t q
    demo_wait '! kill -0 "$demo_pid" 2>/dev/null'
}
