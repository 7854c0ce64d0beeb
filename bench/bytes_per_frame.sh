#!/usr/bin/env bash
# Bytes a frame that the terminal receives over the whole show, in each colour
# mode: runs glimfant headless through --ansi (the very bytes the terminal
# backend writes) and splits the stream where each frame's synchronized update
# begins. The start picture, a full redraw before the show, is reported apart.
#
#   bench/bytes_per_frame.sh [GLIMFANT_BINARY]    (default: build/glimfant)
#
# Targets: 16 colours at most 4096 bytes a frame on average and no frame over
# 12288; truecolor at most 2.5 x those.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
frames=7850
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for color in 16 256 truecolor; do
    "$glimfant" --headless --frames "$frames" --color "$color" --ansi "$work/$color.ansi" --dump /dev/null
done

python3 - "$work" "$frames" <<'EOF'
import sys

work, frames = sys.argv[1], int(sys.argv[2])
begin, end = b"\x1b[?2026h", b"\x1b[?2026l"
average, most = {}, {}
print(f"{'colours':>9} {'frames':>6} {'avg B/frame':>11} {'max B':>6} {'at frame':>8} "
      f"{'KB/s at 50 fps':>14} {'start picture B':>15}")
for color in ("16", "256", "truecolor"):
    stream = open(f"{work}/{color}.ansi", "rb").read()
    parts = stream.split(begin)[1:]  # before the first: the take-over
    # The last frame is followed by the restore sequence, which is no frame's.
    parts[-1] = parts[-1][: parts[-1].rindex(end) + len(end)]
    sizes = [len(begin) + len(p) for p in parts]
    start, show = sizes[0], sizes[1:]
    assert len(show) == frames, (color, len(show))
    average[color] = sum(show) / len(show)
    largest = most[color] = max(show)
    print(f"{color:>9} {len(show):>6} {average[color]:>11.0f} {largest:>6} {show.index(largest):>8} "
          f"{average[color] * 50 / 1000:>14.1f} {start:>15}")
print(f"16 colours: average {'within' if average['16'] <= 4096 else 'OVER'} 4096 bytes, "
      f"largest {'within' if most['16'] <= 12288 else 'OVER'} 12288; truecolor / 16: "
      f"average {average['truecolor'] / average['16']:.2f}, largest {most['truecolor'] / most['16']:.2f} "
      f"(at most 2.5)")
EOF
