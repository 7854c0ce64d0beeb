#!/usr/bin/env bash
# Renders the README's gallery: one picture of each scene of the show, made
# with glimfant's own renderer (--headless --png) into docs/gallery/.
# Usage: scripts/gallery.sh [path/to/glimfant]   (default: build/glimfant)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
glimfant=${1:-$root/build/glimfant}
out=$root/docs/gallery
mkdir -p "$out"
# name, music time in ms
while read -r name ms; do
    "$glimfant" --headless --seed 1 --png "$out/$name.png" --at "$ms"
done <<'SCENES'
01-title 9000
02-fountain 14860
03-plasma 28000
04-cascade 38000
05-bars 55000
06-credits 74000
07-greetings 110000
08-flare 155500
SCENES
echo "glimfant: the gallery is in $out"
