#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and the sanitizers (in
# build-fuzz) and runs each for a few seconds over its seed corpus
# (tests/fuzz/corpus/NAME); any crash, sanitizer report, leak or timeout fails.
# Usage: scripts/test-fuzz.sh [seconds-per-target]   (default 8)
# What a run finds is kept in build-fuzz/findings/NAME/ to replay:
#   build-fuzz/fuzz_NAME build-fuzz/findings/NAME/crash-...
set -euo pipefail
glimfant_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$glimfant_root/scripts/deps.sh"
glimfant_install_missing
glimfant_install_missing "${glimfant_fuzz_packages[@]}"

seconds=${1:-8}
dir=$glimfant_root/build-fuzz
CC=clang CXX=clang++ cmake -S "$glimfant_root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGLIMFANT_FUZZ=ON -DGLIMFANT_TESTS=OFF -DGLIMFANT_BENCH=OFF >/dev/null
targets=$(sed -n 's/^ *glim_fuzz(\([a-z0-9_]*\) .*/\1/p' "$glimfant_root/CMakeLists.txt")
# shellcheck disable=SC2046
cmake --build "$dir" --target $(printf 'fuzz_%s ' $targets)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=""
for name in $targets; do
    mkdir -p "$work/$name" "$dir/findings/$name"
    seeds=$glimfant_root/tests/fuzz/corpus/$name
    [ -d "$seeds" ] || seeds=""
    # New inputs go to the scratch folder: the seeds in the repository stay as they are.
    if TMPDIR="$work" "$dir/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
           -artifact_prefix="$dir/findings/$name/" "$work/$name" ${seeds:+"$seeds"} \
           >"$work/$name.log" 2>&1; then
        echo "ok      fuzz_$name: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$') runs, $(grep -c . <(ls "$work/$name")) new inputs"
    else
        echo "FAILED  fuzz_$name (findings in $dir/findings/$name):"
        grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$work/$name.log" | head -n 8
        failed="$failed $name"
    fi
done
[ -z "$failed" ] || { echo "fuzz targets with findings:$failed"; exit 1; }
