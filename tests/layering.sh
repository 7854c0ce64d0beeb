#!/usr/bin/env bash
# Fails on an include that points up the layers. Each folder of src/ may
# include its own headers and those of the folders listed for it, nothing else.
set -u
cd "$(dirname "${BASH_SOURCE[0]}")/../src" || exit 1
declare -A allowed=(
    [base]=""
    [timeline]=""
    [render]="base"
    [math]="base"
    [score]="timeline base"
    [effects]="render math base"
    [text]="effects render math base"
    [wire]="render math base"
    [capture]="render base"
    [platform]="capture score render base"
    [core]="platform capture text effects wire score render math timeline base"
)
bad=0
for dir in */; do
    dir=${dir%/}
    if [ -z "${allowed[$dir]+set}" ]; then
        echo "src/$dir: a folder without a place in the layers (add it to tests/layering.sh)"
        bad=1
        continue
    fi
    while IFS=: read -r file line target; do
        up=${target%%/*}
        case " $dir ${allowed[$dir]} " in *" $up "*) continue ;; esac
        echo "src/$file:$line includes \"$target\", which points up from $dir/"
        bad=1
    done < <(grep -rnoE '^#include "[a-z_]+/[^"]+"' "$dir" | sed -E 's/:#include "/:/; s/"$//')
done
[ $bad = 0 ] && echo "includes point down: $(ls -d */ | wc -l) folders checked"
exit $bad
