#!/usr/bin/env bash
# The Windows build's headless show under wine gives the Linux build's frames,
# byte stream, recording and score: whole runs compared byte for byte. A
# recording to a path that cannot be written fails and leaves nothing behind.
# Usage: wine_show.sh glimfant.exe linux-glimfant   (WINEPREFIX set up by the caller)
set -euo pipefail
exe=$1 linux=$2
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0
compare() {  # what, then the arguments that end in the output file's name (ending in .$ext)
    local what=$1 out=${ext:-out}; shift
    "$linux" "$@" "$tmp/linux.$out" >/dev/null
    WINEDEBUG=-all "$wine" "$exe" "$@" "$tmp/windows.$out" >/dev/null
    if cmp -s "$tmp/linux.$out" "$tmp/windows.$out"; then
        echo "same: $what ($(( $(stat -c %s "$tmp/linux.$out") )) bytes)"
    else
        echo "DIFFERENT: $what: $(cmp "$tmp/linux.$out" "$tmp/windows.$out" 2>&1 | head -1)"
        fail=1
    fi
}
# The sine, cosine and exponential the show and the score use come with the
# program (mingw-w64's own, linked in), so any Windows gives these bytes.
compare "frames, seed 1, 7 ms a frame" --headless --seed 1 --step 7 --dump
compare "frames, seed 12345, 33 ms a frame" --headless --seed 12345 --step 33 --dump
compare "frames, seed 40961, 997 ms a frame" --headless --seed 40961 --step 997 --dump
compare "frames across the tick count's wrap" --headless --start-tick 4294967000 --step 20 --dump
compare "256-colour byte stream, seed 7" --headless --seed 7 --step 61 --color 256 --codepage 850 --ansi
ext=wav compare "the built-in score" --write-score
# The second recording is renamed over the first: rename() alone would refuse.
ext=cast compare "recording, seed 3, 256 colours" --headless --seed 3 --color 256 --record
ext=cast compare "recording, seed 9, code page 865" --headless --seed 9 --frames 500 --codepage 865 --record
mkdir "$tmp/folder.cast"
for bad in "$tmp/missing/x.cast" "$tmp/folder.cast"; do
    status=0
    WINEDEBUG=-all "$wine" "$exe" --headless --record "$bad" >/dev/null 2>&1 || status=$?
    left=$(cd "$tmp" && ls -A | grep -v -x -e "linux.*" -e "windows.*" -e folder.cast || true)
    if [ "$status" = 1 ] && [ -z "$left$(ls -A "$tmp/folder.cast")" ]; then
        echo "refused: $bad (exit 1, nothing left)"
    else
        echo "WRONG: --record $bad: exit $status, left: $left"
        fail=1
    fi
done
exit $fail
