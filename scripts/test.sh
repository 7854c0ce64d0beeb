#!/usr/bin/env bash
# Installs what is missing, builds glimfant with its tests and runs every test:
# the suite; the Debian package, installed and run; under the address and
# undefined-behaviour sanitizers, the suite but the timing measurements, and
# the whole show; built with clang and libc++, the unit tests and the golden
# hashes; the Windows build's tests under wine (scripts/test-windows.sh); the
# fuzz runs (scripts/test-fuzz.sh); the page in chromium (scripts/test-web.sh).
# Ends with the time each phase took (wall and CPU) and "all tests passed".
#
# The other toolchains build, at a lower priority, while the suite and the
# page's test run: both wait on real time (terminals, sound, simulated links,
# the browser's frames). Their tests wait for those to end and run at the
# usual priority, so that a loaded machine starves none.
#
# A phase that fails stops nothing else: every lane runs to its end (a lane
# skips only the tests whose own build failed), and the command ends with one
# list of what failed, each with its lane and the log to read (build/logs/),
# and exit status 1.
set -euo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing
glimfant_install_missing "${glimfant_clang_packages[@]}" "${glimfant_windows_packages[@]}" "${glimfant_wine_packages[@]}" \
    "${glimfant_fuzz_packages[@]}" "${glimfant_web_packages[@]}"

# ccache pays only when its cache already holds results: on a fresh machine
# each compile costs about a third more CPU for nothing (a build folder kept
# from the last run rebuilds only what changed anyway).
if command -v ccache >/dev/null && [ "$(ccache --print-stats 2>/dev/null | awk '$1 == "files_in_cache" { print $2 }')" = 0 ]; then
    export CCACHE_DISABLE=1
fi
jobs=$(( $(nproc) + 1 ))  # real-time tests mostly wait; one lock keeps them apart
run=$(mktemp -d)          # this run's own: the phases' times, what failed, the suite's end
phases=$run/phases
failed=$run/failed        # a line a failure: lane, what failed, the log to read
logs=$glimfant_root/build/logs
mkdir -p "$logs"
: > "$phases"
: > "$failed"
lanes=()
lane_name=tests           # the lane this shell runs; each lane sets its own
began=$(date +%s.%N)

# The time each phase took; the phases that overlap make the total less
# than their sum.
time_table() {
    echo
    echo "== time by phase, in seconds"
    awk -F'\t' -v now="$(date +%s.%N)" -v began="$began" '
        BEGIN { printf "%-40s %6s %6s\n", "phase", "wall", "CPU" }
        { printf "%-40s %6.0f %6.0f\n", $1, $2, $3; cpu += $3 }
        END { printf "%-40s %6.0f %6.0f\n", "all (the lanes overlap the suite)", now - began, cpu }' "$phases"
}
# Every failure recorded, with its lane and its log, one a line.
failures() {
    echo
    echo "== failed: $(wc -l < "$failed")"
    awk -F'\t' '{ printf "%-18s %-90s %s\n", $1, $2, $3 }' "$failed"
}
finish() {
    local status=$?
    local i
    for ((i = 0; i < ${#lanes[@]}; i += 2)); do kill -- -"${lanes[i]}" 2>/dev/null || true; done
    if [ $status != 0 ] && [ -z "${reported:-}" ]; then
        time_table
        if [ -s "$failed" ]; then failures; fi
    fi
    rm -rf "$run"
    exit $status
}
trap finish EXIT

now() { date +%s.%N; }
# CPU time (user and system) of this shell's finished children, in seconds,
# into $cpu_used: the builtin must run in this very shell (not in a $(...)
# one) to see them.
children_cpu() {
    local file=$phases.times.$BASHPID
    times > "$file"
    cpu_used=$(tail -n 1 "$file" | tr -d s |
               awk '{ for (i = 1; i <= 2; i++) { split($i, t, "m"); c += t[1] * 60 + t[2] } } END { print c }')
}

# What a phase that failed names in its output: the tests ctest lists as
# failed, else the lines the fuzz runs, the golden hashes and the page's test
# mark (FAILED, CHANGED, FAIL); nothing when it names none.
failed_in() {
    local listed
    listed=$(sed -n '/^The following tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \(.*\)$/\1/p' "$1")
    if [ -n "$listed" ]; then echo "$listed"; else grep -E '^(FAILED|CHANGED|FAIL) ' "$1" | cut -c1-90 || true; fi
}

phase_status=0
phase() {  # name, then the command; its wall and CPU time go to the table
    # The command runs with errexit, in a subshell of its own: one that fails
    # is recorded with what it names, and the lane goes on. Its output is
    # kept in build/logs/ too; its status goes to $phase_status. (Never call
    # this in a condition: bash would then ignore errexit in the command.)
    local name=$1 start cpu status log
    shift
    log=$logs/$(echo "$name" | tr -cs 'a-zA-Z0-9' '-' | sed 's/-$//').log
    echo "== $name"
    start=$(now)
    children_cpu
    cpu=$cpu_used
    set +e
    ( set -e; "$@" ) 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    children_cpu
    awk -v n="$name" -v w="$(now)" -v s="$start" -v c="$cpu_used" -v c0="$cpu" \
        'BEGIN { printf "%s\t%.1f\t%.1f\n", n, w - s, c - c0 }' >> "$phases"
    if [ "$status" != 0 ]; then
        local what
        what=$(failed_in "$log")
        [ -n "$what" ] || what="$name (exit status $status)"
        echo "$what" | while IFS= read -r line; do printf '%s\t%s\t%s\n' "$lane_name" "$line" "${log#"$glimfant_root"/}"; done >> "$failed"
        echo "== $name: failed (exit status $status)"
    fi
    phase_status=$status
}

suite() {  # build folder, then ctest's arguments
    local dir=$1
    shift
    (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@")
}

package() {
    (cd "$glimfant_root/build" && cpack -G DEB >/dev/null)
    local deb
    deb=$(ls -t "$glimfant_root"/build/glimfant_*.deb | head -n 1)
    echo "$(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"
    if dpkg-deb -f "$deb" Depends | grep -q libav; then
        echo "the package depends on FFmpeg, which only --video loads (a Recommends)" >&2
        return 1
    fi
    if [ "$(id -u)" -eq 0 ]; then
        apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "$deb" >/dev/null
        /usr/bin/glimfant --version
        /usr/bin/glimfant --headless --frames 100 --dump /dev/null
        test -f /usr/share/man/man6/glimfant.6.gz
        dpkg -r glimfant >/dev/null
    else
        echo "(not root: the package is built but not installed)"
    fi
}

sanitizer_build() {  # -O1 and line tables: half the compile time of -O2 -g, the same reports
    glimfant_build "$glimfant_root/build-sanitize" -DGLIMFANT_SANITIZE=ON -DGLIMFANT_BENCH=OFF \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
}
clang_build() {  # GoogleTest built against libc++ from source
    CC=clang CXX=clang++ glimfant_build "$glimfant_root/build-clang" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG" \
        -DCMAKE_CXX_FLAGS=-stdlib=libc++ -DCMAKE_EXE_LINKER_FLAGS=-stdlib=libc++ \
        -DGLIMFANT_GTEST_SOURCE=/usr/src/googletest -DGLIMFANT_BENCH=OFF -DGLIMFANT_E2E_TESTS=OFF
}
windows_build() {
    "$glimfant_root/scripts/test-windows.sh" --build-only "$glimfant_root/build/glimfant"
}

sanitizer_suite() {
    # Tests build the demo's start-up many times in one process, so its
    # never-freed banners are expected leaks there; the whole shows (the
    # next phase) keep leak checking on.
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        suite "$glimfant_root/build-sanitize" --timeout 600 -LE timing
}
sanitizer_shows() {  # each show runs, and each that fails is named
    local args bad=0
    for args in "--seed 1" "--seed 4242 --step 997" "--start-tick 123456 --step 61" "--seed 7 --step 3"; do
        echo "glimfant --headless $args"
        # shellcheck disable=SC2086
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
            "$glimfant_root/build-sanitize/glimfant" --headless $args --dump /dev/null ||
            { echo "FAILED glimfant --headless $args"; bad=1; }
    done
    return $bad
}

# The sanitizers in one lane; clang and the Windows build, then their tests
# and the fuzz runs, in another: both beside the suite, each a process group
# of its own (to end it all on Ctrl-C), its output kept in a log and shown
# when it is done. A lane builds at a lower priority and tests once the
# suite and the page's test are done, whatever became of them.
lane() {  # name, then the function that runs its phases
    local log=$logs/$1.log
    set -m
    ( trap - EXIT; lane_name=$1; "$2" ) > "$log" 2>&1 &
    set +m
    lanes+=("$!" "$log")
}
suite_done=$run/suite-done
politely() {  # a command, at a lower priority while the suite runs
    ( [ -e "$suite_done" ] || renice -n 10 -p $BASHPID >/dev/null; "$@" )
}
wait_for_the_suite() {
    until [ -e "$suite_done" ]; do sleep 1; done
}
# A lane's phases: the tests of a build that failed are skipped (its failure
# is on the list already); everything else runs.
sanitizer_lane() {
    phase "sanitizers: build" politely sanitizer_build
    [ "$phase_status" = 0 ] || return 0
    wait_for_the_suite
    phase "sanitizers: suite" sanitizer_suite
    phase "sanitizers: the whole show" sanitizer_shows
}
other_lane() {
    local clang windows
    phase "clang and libc++: build" politely clang_build
    clang=$phase_status
    phase "windows: build" politely windows_build
    windows=$phase_status
    wait_for_the_suite
    if [ "$clang" = 0 ]; then
        phase "clang and libc++: unit tests and hashes" suite "$glimfant_root/build-clang" --timeout 300 -L 'unit|golden'
    fi
    if [ "$windows" = 0 ]; then
        phase "windows: tests under wine" "$glimfant_root/scripts/test-windows.sh" "$glimfant_root/build/glimfant"
    fi
    phase "fuzz" bash "$glimfant_root/scripts/test-fuzz.sh"  # wants only CPU time
}

phase "build" glimfant_build "$glimfant_root/build"
built=$phase_status
lane sanitizers sanitizer_lane
lane clang-and-windows other_lane
if [ "$built" = 0 ]; then
    phase "tests" suite "$glimfant_root/build" --timeout 300
    phase "the Debian package, installed and run" package
    # The page keeps real time too: its test runs while the lanes still build.
    phase "web" bash "$glimfant_root/scripts/test-web.sh"
fi
touch "$suite_done"
# A build still running need not give way any more (only root may raise a
# priority again; without, it goes on at the lower one).
for ((i = 0; i < ${#lanes[@]}; i += 2)); do renice -n 0 -g "${lanes[i]}" >/dev/null 2>&1 || true; done
while [ ${#lanes[@]} -gt 0 ]; do
    echo "== waiting for ${lanes[1]}"
    status=0
    wait "${lanes[0]}" || status=$?
    grep -Ev '^\[[0-9]+/[0-9]+\] ' "${lanes[1]}" || true  # all but the build's progress
    # A lane that ended without recording why (killed, or a slip in this script).
    name=$(basename "${lanes[1]}" .log)
    [ $status = 0 ] || grep -q "^$name"$'\t' "$failed" ||
        printf '%s\t%s\t%s\n' "$name" "the lane (exit status $status)" "${lanes[1]#"$glimfant_root"/}" >> "$failed"
    lanes=("${lanes[@]:2}")
done
time_table
if [ -s "$failed" ]; then
    failures
    reported=1
    exit 1
fi
echo "all tests passed"
