#!/usr/bin/env bash
# Fails on an include that points up the layers, and on a circle: two
# modules (a .h and its .cpp) that include each other, however far round, or
# two rooms that do. The rooms and what each may include come from
# cmake/layers.txt, which the build reads too.
set -u
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root/src" || exit 1
declare -A allowed=()
while IFS=: read -r room uses; do
    room=${room// /}
    [ -z "$room" ] || [ "${room:0:1}" = "#" ] && continue
    allowed[$room]=$(echo $uses)
done < "$root/cmake/layers.txt"

bad=0
modules=$(mktemp)
rooms=$(mktemp)
trap 'rm -f "$modules" "$rooms"' EXIT
while read -r dir; do
    dir=${dir#./}
    if [ -z "${allowed[$dir]+set}" ]; then
        echo "src/$dir: a folder without a place in the layers (add it to cmake/layers.txt)"
        bad=1
        continue
    fi
    while IFS=: read -r file line target; do
        up=${target%/*}
        from=${file%.*}
        to=${target%.h}
        [ "$from" != "$to" ] && echo "$from $to" >> "$modules"
        [ "$up" = "$dir" ] && continue
        echo "$dir $up" >> "$rooms"
        case " ${allowed[$dir]} " in *" $up "*) continue ;; esac
        echo "src/$file:$line includes \"$target\", which points up from $dir/"
        bad=1
    done < <(grep -nE '^#include "[a-z_0-9/]+\.h"' "$dir"/*.h "$dir"/*.cpp 2>/dev/null |
             sed -E 's/:#include "/:/; s/"$//')
done < <(find . -name '*.h' -o -name '*.cpp' | xargs -n1 dirname | sort -u)

# tsort names the members of each circle it finds on standard error.
for graph in "$modules" "$rooms"; do
    if ! loops=$(tsort "$graph" 2>&1 >/dev/null) || [ -n "$loops" ]; then
        [ "$graph" = "$modules" ] && what=modules || what=rooms
        echo "a circle between $what:"
        echo "$loops" | grep -v 'input contains a loop' | sed 's/^tsort: /  /'
        bad=1
    fi
done
[ $bad = 0 ] && echo "includes point down, no circles: ${#allowed[@]} rooms checked"
exit $bad
