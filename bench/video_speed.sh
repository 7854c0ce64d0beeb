#!/usr/bin/env bash
# How long the whole-show video takes to make, at each --video-size: wall time
# and processor time of `glimfant --headless --score --video`, the file's
# size, and how many times faster than the show (157 s) it was made.
#
#   bench/video_speed.sh [GLIMFANT_BINARY [SIZE...]]   (default: build/glimfant large small)
#
# Target: well under 60 s of wall time on two cores, for either size.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
shift || true
[ $# -gt 0 ] || set -- large small
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
TIMEFORMAT='%R %U %S'
for size in "$@"; do
    times=$( { time "$glimfant" --headless --score --video-size "$size" --video "$dir/show.mp4" 2>/dev/null; } 2>&1 )
    read -r wall user sys <<<"$times"
    bytes=$(stat -c %s "$dir/show.mp4")
    awk -v size="$size" -v w="$wall" -v u="$user" -v s="$sys" -v b="$bytes" -v n="$(nproc)" 'BEGIN {
        printf "video (%s): %.1f s wall, %.1f s user + %.1f s system on %d cores, %.0f MB, %.1f x faster than the show\n",
               size, w, u, s, n, b / 1e6, 157 / w }'
done
