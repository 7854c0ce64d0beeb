#!/usr/bin/python3
"""Checks a glimfant recording (asciicast v2) with Python's own JSON reader.

    cast_check.py FILE [--size COLSxROWS] [--virtual FRAMES] [--ansi STREAM] [--stops N]
                  [--resized COLSxROWS]

Every line must be JSON: a header with version 2, the size, timestamp,
idle_time_limit, title and env; then events [seconds, "o", text] in time
order, the first one the take-over and the last one the restore. --virtual:
a headless run of FRAMES frames, so the take-over, the start picture and
frame 0 are at 0 s, frame k at exactly k x 0.02 s and the restore after the
last frame. --ansi: the texts together are exactly these bytes. --stops: the
show was suspended N times, each a restore followed by a take-over.
--resized: the terminal changed size, last to this one ([seconds, "r", size]).
Exit status 0 when all holds.
"""
import argparse
import json
import sys
from decimal import Decimal

TAKEOVER = "\x1b[?1049h\x1b[?25l\x1b[?7l"
RESTORE = "\x1b[?2026l\x1b[0m\x1b[H\x1b[2J\x1b[?7h\x1b[?25h\x1b[?1049l"
SYNC_BEGIN = "\x1b[?2026h"


def check(args):
    with open(args.file, "rb") as f:
        lines = f.read().decode("utf-8").split("\n")
    if lines[-1] != "":
        return "the last line does not end"
    lines.pop()
    header = json.loads(lines[0])
    cols, rows = (int(v) for v in args.size.split("x"))
    want = {"version": 2, "width": cols, "height": rows}
    for key, value in want.items():
        if header.get(key) != value:
            return "header %s is %r, not %r" % (key, header.get(key), value)
    for key, kind in (("timestamp", int), ("idle_time_limit", (int, float)), ("title", str), ("env", dict)):
        if not isinstance(header.get(key), kind):
            return "header %s missing or of the wrong type: %r" % (key, header.get(key))

    times, texts, sizes = [], [], []
    for n, line in enumerate(lines[1:], 2):
        # Times are compared as written: a float would hide 0.060000000000000005.
        event = json.loads(line, parse_float=Decimal, parse_int=Decimal)
        if isinstance(event, list) and len(event) == 3 and event[1] == "r":
            sizes.append(event[2])
            continue
        if not (isinstance(event, list) and len(event) == 3 and event[1] == "o" and isinstance(event[2], str)):
            return "line %d is not an output event: %s" % (n, line[:80])
        if times and event[0] < times[-1]:
            return "line %d goes back in time" % n
        times.append(event[0])
        texts.append(event[2])
    if not texts or texts[0] != TAKEOVER:
        return "the first event is not the take-over"
    # After a signal the restore may follow a cancel (CAN) in an event of its own.
    if not texts[-1].endswith(RESTORE):
        return "the last event is not the restore: %r" % texts[-1][-60:]
    stops = sum(1 for a, b in zip(texts, texts[1:]) if a.endswith(RESTORE) and b == TAKEOVER)
    if args.stops is not None and stops != args.stops:
        return "%d stops and resumes, not %d" % (stops, args.stops)

    if sizes[-1:] != ([args.resized] if args.resized else []):
        return "resized to %r" % sizes

    if args.virtual is not None:
        frames = [t for t, x in zip(times, texts) if x.startswith(SYNC_BEGIN)]
        if len(frames) != args.virtual + 1:
            return "%d frames after the start picture, not %d" % (len(frames) - 1, args.virtual)
        if times[0] != 0 or frames[0] != 0:
            return "the take-over or the start picture is not at 0 s"
        for k, t in enumerate(frames[1:]):
            if t != k * Decimal("0.02"):
                return "frame %d is at %s s, not %s" % (k, t, k * Decimal("0.02"))
        if times[-1] != args.virtual * Decimal("0.02"):
            return "the restore is at %s s" % times[-1]

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
    except (OSError, ValueError) as e:  # JSONDecodeError and UnicodeDecodeError are ValueErrors
        problem = str(e)
    if problem:
        print("cast_check: " + problem)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
