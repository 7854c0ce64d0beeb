#!/usr/bin/env bash
# Runs the real-time tests (ctest labels live and timing) ROUNDS times while
# the machine is busy in bursts, and prints how often each test failed:
#   - glimfant built again and again at the usual priority, in a scratch build
#     folder of its own, without ccache (every compile is real work);
#   - two CPU burners, each on for a few seconds and off for a few, out of step;
#   - a disk writer: 64 MB with fsync, then a second's rest;
#   - a second copy of the unit tests, one run after another (its failures
#     are counted too, as "(load)").
# Every load ends with the script, Ctrl-C included; the tests' own files and
# tmux servers live in a temporary folder of this run's own, removed at the
# end. Logs of a round with a failure are kept and named at the end.
# Usage: scripts/stress-tests.sh [ROUNDS [BUILD_FOLDER]]   (default 5, build)
set -uo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${1:-5}
build=${2:-$glimfant_root/build}
case "$rounds" in
    '' | *[!0-9]* | 0) echo "usage: scripts/stress-tests.sh [ROUNDS [BUILD_FOLDER]] (ROUNDS a whole number from 1)" >&2; exit 2 ;;
esac
[ $# -le 2 ] || { echo "usage: scripts/stress-tests.sh [ROUNDS [BUILD_FOLDER]]" >&2; exit 2; }
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing
build=$(mkdir -p "$build" && cd "$build" && pwd)
scratch=$(mktemp -d)
loads=()

# The processes under pid, deepest first, then pid itself.
tree_of() {
    local child
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do tree_of "$child"; done
    echo "$1"
}
# Each load is a process group of its own; its tests start servers (tmux)
# that leave the group, so whatever the tests made under this run's TMPDIR
# is ended by its socket too.
cleanup() {
    local pid socket
    trap - EXIT INT TERM HUP
    for pid in "${loads[@]}"; do
        # shellcheck disable=SC2046
        kill -TERM -- -"$pid" $(tree_of "$pid") 2>/dev/null
    done
    for pid in "${loads[@]}"; do wait "$pid" 2>/dev/null; done
    for socket in "$scratch"/tmp/glimfant-*/tmux; do
        [ -S "$socket" ] && tmux -S "$socket" kill-server 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

if ! glimfant_build "$build" > "$scratch/build.log" 2>&1; then
    tail -n 20 "$scratch/build.log"
    echo "glimfant: the build in $build failed" >&2
    exit 1
fi
logs=$(mktemp -d "$build/stress-logs.XXXXXX")
results=$scratch/results  # a line a test run: round, test, passed or the failure
: > "$results"
: > "$scratch/unit-runs"
round_log=""
stopped() {  # what the round in progress had done, then the table
    [ -n "$round_log" ] && outcomes "$round" < "$round_log" >> "$results"
    echo
    echo "== stopped"
    table
    exit 130
}
trap stopped INT

load() {  # a function to run in the background, in a process group of its own
    set -m
    "$@" > /dev/null 2>&1 &
    set +m
    loads+=("$!")
}

rebuilding() {
    local dir=$scratch/load-build
    CCACHE_DISABLE=1 cmake -G Ninja -S "$glimfant_root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DGLIMFANT_TESTS=OFF -DGLIMFANT_BENCH=OFF || return
    while :; do
        cmake --build "$dir" --target clean
        CCACHE_DISABLE=1 cmake --build "$dir" -j"$(nproc)"
    done
}
burning() {  # seconds on, seconds off
    local end
    while :; do
        end=$((SECONDS + $1))
        while ((SECONDS < end)); do :; done
        sleep "$2"
    done
}
writing() {
    while :; do
        dd if=/dev/zero of="$scratch/disk" bs=1M count=64 conv=fsync status=none
        rm -f "$scratch/disk"
        sleep 1
    done
}
unit_tests() {
    local n=0
    while :; do
        n=$((n + 1))
        ctest --test-dir "$build" -L unit -j2 --timeout 600 --output-on-failure > "$scratch/unit.log" 2>&1
        outcomes "(load)" < "$scratch/unit.log" >> "$results"
        echo >> "$scratch/unit-runs"
        grep -q '\*\*\*\|(Failed)' "$scratch/unit.log" && cp "$scratch/unit.log" "$logs/unit-$n.log"
    done
}

# ctest's lines "n/m Test #k: NAME ...... Passed|***Failed|***Timeout ..." as
# "ROUND<TAB>NAME<TAB>OUTCOME".
outcomes() {
    sed -nE 's/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: ([^ ]+) \.*[* ]*([A-Z][A-Za-z ]*[a-z]).*/\1\t\2/p' |
        while IFS=$'\t' read -r name outcome; do printf '%s\t%s\t%s\n' "$1" "$name" "$outcome"; done
}

table() {
    echo
    echo "== failures per test: $(awk -F'\t' '$1 != "(load)"' "$results" | cut -f1 | sort -u | grep -c .) rounds," \
         "$(wc -l < "$scratch/unit-runs") whole runs of the unit tests beside them"
    awk -F'\t' '
        { key = ($1 == "(load)" ? "(load) " : "") $2; runs[key]++
          if ($3 != "Passed" && $3 != "Skipped") { failed[key]++; how[key] = $3 } }
        END {
            printf "%-100s %5s %6s\n", "test", "runs", "failed"
            for (k in runs) if (k !~ /^\(load\)/ || failed[k]) printf "%-100s %5d %6d%s\n", k, runs[k], failed[k], failed[k] ? "  (" how[k] ")" : ""
        }' "$results" | { IFS= read -r header; echo "$header"; sort; }
    awk -F'\t' '$3 != "Passed" && $3 != "Skipped" { bad = 1 } END { exit bad }' "$results" &&
        { echo "no failures"; rm -rf "$logs"; } ||
        echo "the logs of the rounds with failures: $logs"
}

# The tests' files (and tmux sockets) in this run's own temporary folder.
mkdir "$scratch/tmp"
export TMPDIR=$scratch/tmp
load rebuilding
load burning 4 3
load burning 3 5
load writing
load unit_tests
echo "== $rounds rounds of the live and timing tests in $build, the machine busy (logs: $logs)"
for ((round = 1; round <= rounds; ++round)); do
    started=$SECONDS
    round_log=$logs/round-$round.log
    ctest --test-dir "$build" -L 'live|timing' -j"$(($(nproc) + 1))" --timeout 600 --output-on-failure \
        > "$round_log" 2>&1
    outcomes "$round" < "$round_log" >> "$results"
    round_log=""
    failed=$(awk -F'\t' -v r="$round" '$1 == r && $3 != "Passed" && $3 != "Skipped"' "$results" | cut -f2 | tr '\n' ' ')
    echo "round $round: $((SECONDS - started)) s${failed:+, failed: $failed}"
    [ -n "$failed" ] || rm -f "$logs/round-$round.log"
done
table
