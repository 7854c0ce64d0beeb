#!/usr/bin/env bash
# The server under load, on loopback, with the project's own load generator
# (bench/serve_load/serve_load.cpp) beside it:
#  1. VIEWERS telnet viewers who press SPACE for SECONDS, alone and then with
#     20 more that never read: the server's CPU (from /proc) and peak memory,
#     the frames each viewer got, and how many of the stalled ones were dropped;
#  2. 10,000 telnet viewers waiting on the start picture: the server's memory;
#  3. the way the show can be served without it, side by side: socat forking
#     `glimfant --screensaver --mute` on a pseudo-terminal for each of 50
#     viewers (the generator answers the status requests as a terminal does),
#     against the server with 50 viewers: CPU and memory (PSS) a viewer.
#
#   bench/serve_load.sh [GLIMFANT_BINARY [VIEWERS [SECONDS]]]   (default build/glimfant 1000 60)
#
# SERVE_LOAD_MODE=curl makes the viewers of part 1 curl's (no status
# requests: the server paces them by their sockets alone); PARTS=1 runs part 1 only.
#
# Goals on a 2-core machine: 1,000 viewers at <= 0.5 of a core and <= 150 MB,
# each viewer in step >= 98% of the frames, 20 stalled viewers dropped at the
# stall limit and changing none of that; 10,000 waiting in <= 300 MB.
# Needs socat for part 3 (apt-get install socat); skipped without it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=$(realpath "${1:-$root/build/glimfant}")
viewers=${2:-1000}
seconds=${3:-60}
mode=${SERVE_LOAD_MODE:-telnet}
parts=${PARTS:-123}
build=$(dirname "$glimfant")
cmake --build "$build" --target glimfant_serve_load >/dev/null
load=$build/glimfant_serve_load
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null; rm -rf "$work"' EXIT

hz=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now() { date +%s.%N; }
# The process and everything below it, its CPU ticks or its PSS in kB.
tree() {
    local all=("$1") changed=1
    while [ $changed = 1 ]; do
        changed=0
        for stat in /proc/[0-9]*/stat; do
            local pid ppid
            read -r pid _ _ ppid _ < "$stat" 2>/dev/null || continue
            case " ${all[*]} " in *" $pid "*) continue ;; esac
            case " ${all[*]} " in *" $ppid "*) all+=("$pid"); changed=1 ;; esac
        done
    done
    echo "${all[@]}"
}
tree_ticks() { local t=0 p; for p in $(tree "$1"); do t=$((t + $(ticks "$p" 2>/dev/null || echo 0))); done 2>/dev/null; echo $t; }
tree_pss() { local k=0 p; for p in $(tree "$1"); do k=$((k + $(awk '/^Pss:/ { print $2 }' "/proc/$p/smaps_rollup" 2>/dev/null || echo 0))); done 2>/dev/null; echo $k; }
tree_rss() { local k=0 p; for p in $(tree "$1"); do k=$((k + $(awk '/^VmRSS:/ { print $2 }' "/proc/$p/status" 2>/dev/null || echo 0))); done 2>/dev/null; echo $k; }

# Starts the server with room for n viewers; sets server and port.
start_server() {
    local n=$1 log=$work/server.$1.log
    "$glimfant" --serve 127.0.0.1:0 --max-viewers "$n" --max-per-address "$n" --max-new-per-minute 1000000 \
        --stall-limit 10 2>"$log" &
    server=$!
    pids+=("$server")
    for _ in $(seq 100); do
        port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$log")
        [ -n "$port" ] && return 0
        sleep 0.1
    done
    echo "the server did not start:" >&2
    cat "$log" >&2
    exit 1
}

# Runs the generator (its arguments) while the CPU of pid's tree is sampled
# over its measured window (after warmup s, for s s); sets cpu (CPU s a wall s).
measure() {
    local pid=$1 warmup=$2 s=$3
    shift 3
    # The generator goes on a little past the window, so nothing ends inside it.
    "$load" --warmup "$warmup" --seconds "$((s + 2))" "$@" > "$work/load.txt" &
    local gen=$!
    sleep "$warmup"
    local t0 c0 t1 c1
    t0=$(now); c0=$(tree_ticks "$pid")
    sleep "$s"
    t1=$(now); c1=$(tree_ticks "$pid")
    pss=$(tree_pss "$pid")
    rss=$(tree_rss "$pid")
    wait $gen
    cat "$work/load.txt"
    cpu=$(awk -v c=$((c1 - c0)) -v hz="$hz" -v w="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" 'BEGIN { print c / hz / w }')
}

for stalled in 0 20; do
    echo "== 1. $viewers viewers and $stalled that never read, $seconds s (the server at 127.0.0.1)"
    start_server $((viewers + 100))
    idle=$(awk '/VmRSS/ { print $2 }' "/proc/$server/status")
    measure "$server" 8 "$seconds" --port "$port" --viewers "$viewers" --stalled "$stalled" --mode "$mode"
    hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$server/status")
    dropped=$(grep -c 'why=it took nothing for the stall limit' "$work/server.$((viewers + 100)).log" || true)
    awk -v cpu="$cpu" -v n="$viewers" -v hwm="$hwm" -v idle="$idle" -v d="$dropped" -v k="$stalled" 'BEGIN {
        printf "server: %.3f of a core (%.3f ms of CPU a second a viewer), peak memory %.1f MB (%.1f MB before the viewers)", cpu, cpu * 1000 / n, hwm / 1024, idle / 1024
        if (k > 0) printf "; stalled viewers dropped at the stall limit: %d of %d", d, k
        printf "\ngoals: <= 0.5 of a core %s, <= 150 MB %s\n", cpu <= 0.5 ? "met" : "NOT met", hwm / 1024 <= 150 ? "met" : "NOT met"
    }'
    kill "$server"; wait "$server" 2>/dev/null || true
done
[ "$parts" = 1 ] && exit 0

echo "== 2. 10000 viewers on the start picture"
start_server 10100
"$load" --port "$port" --viewers 10000 --no-start --warmup 10 --seconds 5 > "$work/load.txt" &
gen=$!
sleep 12
rss=$(awk '/VmRSS/ { print $2 }' "/proc/$server/status")
wait $gen
head -n 1 "$work/load.txt"
awk -v rss="$rss" 'BEGIN { printf "server memory with 10000 waiting: %.1f MB (goal <= 300 MB: %s)\n", rss / 1024, rss / 1024 <= 300 ? "met" : "NOT met" }'
kill "$server"; wait "$server" 2>/dev/null || true

echo "== 3. 50 viewers: socat and a glimfant a viewer, against the server"
if ! command -v socat >/dev/null; then
    echo "socat is not installed: skipped"
    exit 0
fi
start_server 200
measure "$server" 8 20 --port "$port" --viewers 50
server_cpu=$cpu
server_pss=$pss
server_rss=$rss
kill "$server"; wait "$server" 2>/dev/null || true
socat_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(cd "$work" && TERM=xterm exec socat TCP-LISTEN:"$socat_port",bind=127.0.0.1,fork,reuseaddr,backlog=128 \
    EXEC:"$glimfant --screensaver --mute",pty,setsid,ctty,stderr 2>/dev/null) &
socat_pid=$!
pids+=("$socat_pid")
sleep 0.5
measure "$socat_pid" 8 20 --port "$socat_port" --viewers 50 --mode raw
awk -v sc="$server_cpu" -v sp="$server_pss" -v sr="$server_rss" -v fc="$cpu" -v fp="$pss" -v fr="$rss" 'BEGIN {
    printf "per viewer, the server: %.2f ms of CPU a second, %.0f kB PSS, %.0f kB RSS (its show table shared by all)\n", sc * 1000 / 50, sp / 50, sr / 50
    printf "per viewer, socat and glimfant: %.2f ms of CPU a second, %.0f kB PSS, %.0f kB RSS\n", fc * 1000 / 50, fp / 50, fr / 50
    printf "socat and glimfant take %.1f times the CPU a viewer\n", fc / sc
}'
