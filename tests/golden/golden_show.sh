#!/usr/bin/env bash
# The whole show, headless, for several seeds, clock steps and start ticks, and
# the built-in score's WAV, against the hashes in show.sha256 beside this
# script. Each dump there was checked frame by frame against an independent
# model of the rules: a mismatch is a regression to fix, never a hash to update.
# Usage: golden_show.sh GLIMFANT_BINARY
set -u
binary=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
checked=0 failed=0
while read -r sum args; do
    case "$sum" in ''|'#'*) continue ;; esac
    # The listed arguments end in the output option; the file name follows it
    # (the score's ends in .wav).
    out=$work/out
    case "$args" in *--write-score) out=$work/out.wav ;; esac
    # shellcheck disable=SC2086
    if ! "$binary" $args "$out" >/dev/null 2>"$work/err"; then
        echo "FAILED to run: glimfant $args FILE: $(head -n 1 "$work/err")"
        failed=$((failed + 1))
        continue
    fi
    got=$(sha256sum "$out" | cut -d' ' -f1)
    if [ "$got" = "$sum" ]; then
        echo "ok      glimfant $args FILE"
    else
        echo "CHANGED glimfant $args FILE: sha256 $got, expected $sum"
        failed=$((failed + 1))
    fi
    checked=$((checked + 1))
    rm -f "$out"
done < "$here/show.sha256"
[ $checked -gt 0 ] || { echo "no hashes read from $here/show.sha256"; exit 1; }
[ $failed = 0 ]
