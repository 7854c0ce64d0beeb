#!/usr/bin/env bash
# Makes the MP3 files the Windows decoder tests read (they run under wine,
# where there is no sox or lame): folder given as $1.
set -euo pipefail
dir=$1
rm -rf "$dir" && mkdir -p "$dir/dir.mp3"
cd "$dir"
sox="sox -R -n -r 44100 -c 2 -b 16"
# A click track: a 10 ms tone at the start of each 338 ms beat, 2.704 s.
$sox click.wav synth 0.01 sine 1000 vol 0.5 pad 0 0.328 repeat 7
lame --quiet -b 128 click.wav click.mp3
lame --quiet -b 128 -t click.wav click_no_tag.mp3
sox -R -n -r 22050 -c 1 -b 16 mono.wav synth 1.5 sine 440 vol 0.5
lame --quiet -b 64 mono.wav mono.mp3
$sox quiet.wav trim 0 3  # dithered silence: false frame headers
cp quiet.wav quiet_wav.mp3
cp click.wav click_wav.mp3
head -c $(( $(stat -c %s click.mp3) / 2 + 77 )) click.mp3 > truncated.mp3
: > empty.mp3
printf '\377\373\220\144' > four_bytes.mp3  # a frame header and no frame
