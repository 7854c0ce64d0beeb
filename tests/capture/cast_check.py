#!/usr/bin/python3
"""Checks a glimfant recording (asciicast v2) with Python's own JSON reader.

    cast_check.py FILE [--size COLSxROWS] [--virtual FRAMES] [--ansi STREAM]
                  [--stops N] [--resized COLSxROWS]

Every line is JSON: the header (version 2, the size, timestamp,
idle_time_limit, title, env, a theme of 16 colours), then [seconds, "o", text]
in time order from the take-over to the restore, and no status request (CSI c)
among them: a player that writes them to a terminal would make it answer.
--virtual: a headless run of FRAMES frames: frame k at exactly k x 0.02 s.
--ansi: the texts together are these bytes. --stops: N suspends (a restore,
then a take-over). --resized: the last "r" event.
"""
import argparse
import json
import re
import sys
from decimal import Decimal

TAKEOVER = "\x1b[?1049h\x1b[?25l\x1b[?7l"
RESTORE = "\x1b[?2026l\x1b[0m\x1b[H\x1b[2J\x1b[?7h\x1b[?25h\x1b[?1049l"
FRAME = "\x1b[?2026h"
HEADER = {"timestamp": int, "idle_time_limit": (int, float), "title": str, "env": dict, "theme": dict}
COLOUR = re.compile(r"#[0-9a-f]{6}$")


def check(args):
    with open(args.file, "rb") as f:
        lines = f.read().decode("utf-8").split("\n")
    if lines.pop() != "":
        return "the last line does not end"
    header = json.loads(lines[0])
    cols, rows = (int(v) for v in args.size.split("x"))
    if [header.get(k) for k in ("version", "width", "height")] != [2, cols, rows]:
        return "header: %r" % header
    if not all(isinstance(header.get(k), kind) for k, kind in HEADER.items()):
        return "header fields missing or of the wrong type: %r" % header
    theme = header["theme"]
    colours = [theme.get("fg"), theme.get("bg")] + str(theme.get("palette")).split(":")
    if len(colours) != 18 or not all(isinstance(c, str) and COLOUR.match(c) for c in colours):
        return "theme: %r" % theme

    times, texts, sizes = [], [], []
    for n, line in enumerate(lines[1:], 2):
        # Times as written: a float would hide 0.060000000000000005.
        t, kind, text = json.loads(line, parse_float=Decimal, parse_int=Decimal)
        if (times and t < times[-1]) or kind not in ("o", "r") or not isinstance(text, str):
            return "line %d: %s" % (n, line[:80])
        (texts if kind == "o" else sizes).append(text)
        if kind == "o":
            times.append(t)
    if any("\x1b[c" in x for x in texts):
        return "a status request (CSI c) in the recording"
    # A live take-over may ask for the terminal's size in the same write.
    if not texts or not texts[0].startswith(TAKEOVER) or not texts[-1].endswith(RESTORE):
        return "not from the take-over to the restore"
    stops = sum(1 for a, b in zip(texts, texts[1:]) if a.endswith(RESTORE) and b.startswith(TAKEOVER))
    if args.stops is not None and stops != args.stops:
        return "%d stops, not %d" % (stops, args.stops)
    if sizes[-1:] != ([args.resized] if args.resized else []):
        return "resized to %r" % sizes

    if args.virtual is not None:
        # The take-over, the start picture and frame 0 at 0 s; the restore after the last frame.
        frames = [t for t, x in zip(times, texts) if x.startswith(FRAME)][1:]
        want = [k * Decimal("0.02") for k in range(args.virtual)]
        if times[0] != 0 or frames != want or times[-1] != args.virtual * Decimal("0.02"):
            return "frames are not at k x 0.02 s"
    if args.ansi:
        with open(args.ansi, "rb") as f:
            if "".join(texts).encode("utf-8") != f.read():
                return "the events are not the byte stream of %s" % args.ansi
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("file")
    ap.add_argument("--size", default="80x25")
    ap.add_argument("--virtual", type=int)
    ap.add_argument("--ansi")
    ap.add_argument("--stops", type=int)
    ap.add_argument("--resized")
    try:
        problem = check(ap.parse_args())
    except (OSError, ValueError, TypeError) as e:  # a line that is not [time, kind, text], bad JSON or UTF-8
        problem = str(e)
    if problem:
        print("cast_check: " + problem)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
