#!/usr/bin/env bash
# The picture's age over slow links, through the whole show: runs glimfant in
# tests/tools/link_sim.py (a pseudo-terminal whose output reaches an
# answering terminal at a set rate and round trip, through sshd's 2 MB
# window) at 1 Mbit/s and 256 kbit/s with 100 ms round trips, and on a fast
# link; SPACE when the start picture arrives, ESC SECONDS later.
#
#   bench/slow_link.sh [GLIMFANT_BINARY [SECONDS]]   (default: build/glimfant 157)
#
# Targets: at 1 Mbit/s the picture at most 300 ms old (99th percentile 250 ms)
# and the terminal given back within 500 ms of ESC; at 256 kbit/s at most
# 600 ms old; on the fast link no frame skipped.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
seconds=${2:-157}

for link in "1000000 100" "256000 100" "100000000 1"; do
    set -- $link
    echo "== $(($1 / 1000)) kbit/s, round trip $2 ms"
    /usr/bin/python3 "$root/tests/tools/link_sim.py" --rate "$1" --rtt "$2" --seconds "$seconds" \
        -- "$glimfant" --mute
done
