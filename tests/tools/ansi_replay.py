#!/usr/bin/python3
"""Replays glimfant's terminal byte stream in a terminal emulator (pyte) and
checks, after every frame, that the emulated screen shows exactly the cells
of that frame.

    ansi_replay.py --ansi STREAM --dump CELLS [--codepage 437|850|865]
                   [--color 16|256|24] [--size COLSxROWS] [--pictures N] [--no-bce]
    ansi_replay.py --cast RECORDING --dump CELLS ...

STREAM is what the terminal would receive from take-over to restore, or the
output events of an asciicast v2 RECORDING of it (--record); CELLS
holds the frames as little-endian 16-bit cells, 4000 bytes a frame. The
stream's first N frames (default 1: the start picture) have no cells and are
replayed without a comparison. Exit status 0 when every frame matches.
With --no-bce the terminal erases to its default colours, not to the current
background (GNU screen as configured by default), and the margin around the
grid may be left in them.

A cell is compared by how it looks: a blank byte (0, space, no-break space)
or a glyph in its own background colour is a space in its background; a full
block is a space in its foreground colour.
"""
import argparse
import json
import sys

import pyte
from pyte import graphics

GRID_W, GRID_H = 80, 25
SYNC_BEGIN = b"\x1b[?2026h"
SYNC_END = b"\x1b[?2026l"

# The console's picture glyphs for bytes 1-31 and 127, the same in every code page.
CONTROL_GLYPHS = " ☺☻♥♦♣♠•◘○◙♂♀♪♫☼►◄↕‼¶§▬↨↑↓→←∟↔▲▼"

# Console colour numbers run blue-green-red; the ANSI names run red-green-blue.
CONSOLE_TO_ANSI_NAME = ["black", "blue", "green", "cyan", "red", "magenta", "brown", "white"]
CLASSIC_RGB = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]


def glyph_table(codepage):
    table = []
    for b in range(256):
        if b < 32:
            table.append(CONTROL_GLYPHS[b])
        elif b == 127:
            table.append("\u2302")
        else:
            table.append(bytes([b]).decode("cp%d" % codepage))
    return table


def xterm256_rgb(index):
    if index < 232:
        levels = (0, 95, 135, 175, 215, 255)
        i = index - 16
        return levels[i // 36], levels[i // 6 % 6], levels[i % 6]
    v = 8 + 10 * (index - 232)
    return v, v, v


def colour_names(mode):
    """What pyte reports for each console colour in the given mode."""
    names = []
    for c in range(16):
        if mode == 16:
            base = CONSOLE_TO_ANSI_NAME[c & 7]
            names.append(("bright" + base) if c >= 8 else base)
        elif mode == 256:
            target = CLASSIC_RGB[c]
            best = min(range(16, 256),
                       key=lambda i: (sum((a - b) ** 2 for a, b in zip(xterm256_rgb(i), target)), i))
            names.append("%02x%02x%02x" % xterm256_rgb(best))
        else:
            names.append("%02x%02x%02x" % CLASSIC_RGB[c])
    return names


class StrictScreen(pyte.Screen):
    """A screen that tells bright colours from bold, as a real terminal's palette
    does, erases the whole display as terminals do, and refuses any SGR the
    encoder has no business sending."""

    def select_graphic_rendition(self, *attrs, **kwargs):
        attrs = list(attrs) or [0]
        replace = {}
        while attrs:
            a = attrs.pop(0)
            if a == 0:
                replace.update(self.default_char._asdict())
                del replace["data"]
            elif 30 <= a <= 37:
                replace["fg"] = graphics.FG_ANSI[a]
            elif 40 <= a <= 47:
                replace["bg"] = graphics.BG_ANSI[a]
            elif 90 <= a <= 97:
                replace["fg"] = "bright" + graphics.FG_AIXTERM[a]
            elif 100 <= a <= 107:
                replace["bg"] = "bright" + graphics.BG_AIXTERM[a]
            elif a in (38, 48) and attrs and attrs[0] == 5 and len(attrs) >= 2:
                replace["fg" if a == 38 else "bg"] = graphics.FG_BG_256[attrs[1]]
                del attrs[:2]
            elif a in (38, 48) and attrs and attrs[0] == 2 and len(attrs) >= 4:
                replace["fg" if a == 38 else "bg"] = "%02x%02x%02x" % tuple(attrs[1:4])
                del attrs[:4]
            else:
                raise ValueError("unexpected SGR parameter %r" % a)
        self.cursor.attrs = self.cursor.attrs._replace(**replace)

    bce = True

    def erased(self, erase, *args, **kwargs):
        if self.bce:
            return erase(*args, **kwargs)
        saved = self.cursor.attrs
        self.cursor.attrs = self.default_char
        try:
            return erase(*args, **kwargs)
        finally:
            self.cursor.attrs = saved

    def erase_in_line(self, *args, **kwargs):
        self.erased(super().erase_in_line, *args, **kwargs)

    def erase_characters(self, *args, **kwargs):
        self.erased(super().erase_characters, *args, **kwargs)

    def erase_in_display(self, *args, **kwargs):
        self.erased(self.erase_all, *args, **kwargs)

    def erase_all(self, how=0, *args, **kwargs):
        # pyte erases only cells written before; a terminal erases them all.
        super().erase_in_display(how, *args, **kwargs)
        if how in (2, 3):
            for y in range(self.lines):
                line = self.buffer[y]
                for x in range(self.columns):
                    line[x] = self.cursor.attrs


def expected_look(value, glyphs, names):
    ch, fg, bg = value & 0xFF, (value >> 8) & 15, value >> 12
    glyph = glyphs[ch]
    if ch == 0 or glyph in (" ", "\xa0") or fg == bg:
        return None, names[bg]
    if glyph == "\u2588":
        return None, names[fg]
    return (glyph, names[fg]), names[bg]


def emulated_look(char):
    if char.data in (" ", "\xa0", ""):
        return None, char.bg
    return (char.data, char.fg), char.bg


def split_stream(data):
    """Take-over bytes, the frames (each one synchronized update), restore bytes."""
    frames = []
    pos = data.find(SYNC_BEGIN)
    if pos < 0:
        raise ValueError("no frame in the stream")
    takeover = data[:pos]
    while True:
        end = data.find(SYNC_END, pos)
        if end < 0:
            raise ValueError("a frame at byte %d has no end" % pos)
        end += len(SYNC_END)
        body = data[pos + len(SYNC_BEGIN):end - len(SYNC_END)]
        if SYNC_BEGIN in body:
            raise ValueError("frames nest at byte %d" % pos)
        frames.append(data[pos:end])
        if not data.startswith(SYNC_BEGIN, end):
            return takeover, frames, data[end:]
        pos = end


def check_controls(chunk, where):
    for i, b in enumerate(chunk):
        if b < 0x20 and b not in (0x1B, 0x0D, 0x08):
            raise ValueError("control byte 0x%02x in %s at %d" % (b, where, i))


def main():
    ap = argparse.ArgumentParser()
    source = ap.add_mutually_exclusive_group(required=True)
    source.add_argument("--ansi")
    source.add_argument("--cast")
    ap.add_argument("--dump", required=True)
    ap.add_argument("--codepage", type=int, default=437)
    ap.add_argument("--color", type=int, default=16)
    ap.add_argument("--size", default="80x25")
    ap.add_argument("--pictures", type=int, default=1)
    ap.add_argument("--no-bce", action="store_true")
    args = ap.parse_args()

    cols, rows = (int(v) for v in args.size.split("x"))
    left, top = (cols - GRID_W) // 2, (rows - GRID_H) // 2
    glyphs = glyph_table(args.codepage)
    names = colour_names(args.color)
    if args.ansi:
        with open(args.ansi, "rb") as f:
            data = f.read()
    else:
        with open(args.cast, encoding="utf-8", newline="\n") as f:
            events = [json.loads(line) for line in f.readlines()[1:]]
        data = "".join(e[2] for e in events if e[1] == "o").encode("utf-8")
    with open(args.dump, "rb") as f:
        cells = f.read()
    frame_bytes = GRID_W * GRID_H * 2
    if len(cells) % frame_bytes:
        print("the cell dump is not whole frames")
        return 1

    takeover, frames, restore = split_stream(data)
    if len(frames) != args.pictures + len(cells) // frame_bytes:
        print("%d frames in the stream, %d pictures and %d cell frames expected"
              % (len(frames), args.pictures, len(cells) // frame_bytes))
        return 1

    screen = StrictScreen(cols, rows)
    screen.bce = not args.no_bce
    stream = pyte.ByteStream(screen)
    check_controls(takeover, "the take-over")
    stream.feed(takeover)
    if not screen.cursor.hidden or pyte.modes.DECAWM in screen.mode or (1049 << 5) not in screen.mode:
        print("the take-over leaves the cursor shown, auto-wrap on or the main screen")
        return 1

    sizes = []
    for n, frame in enumerate(frames):
        check_controls(frame, "frame %d" % n)
        stream.feed(frame)
        sizes.append(len(frame))
        k = n - args.pictures
        if k < 0:
            continue
        base = k * frame_bytes
        for y in range(rows):
            line = screen.buffer[y]
            for x in range(cols):
                got = emulated_look(line[x])
                gy, gx = y - top, x - left
                if 0 <= gy < GRID_H and 0 <= gx < GRID_W:
                    i = base + 2 * (gy * GRID_W + gx)
                    want = expected_look(cells[i] | cells[i + 1] << 8, glyphs, names)
                else:
                    want = (None, names[0])  # the margin around the grid is black
                    if args.no_bce and got == (None, "default"):
                        want = got
                if got != want:
                    print("frame %d (cells %d), row %d, column %d: screen shows %r, the frame has %r"
                          % (n, k, y, x, got, want))
                    return 1
        attrs = [line[x] for line in screen.buffer.values() for x in range(cols)]
        if any(c.bold or c.italics or c.underscore or c.reverse or c.strikethrough for c in attrs):
            print("frame %d: a cell has an attribute other than colour" % n)
            return 1

    check_controls(restore, "the restore")
    stream.feed(restore)
    if screen.cursor.hidden or pyte.modes.DECAWM not in screen.mode or (1049 << 5) in screen.mode:
        print("the restore leaves the cursor hidden, auto-wrap off or the alternate screen")
        return 1

    shown = sizes[args.pictures:] or sizes
    print("frames %d, bytes %d, per frame: mean %.0f, largest %d"
          % (len(frames), len(data), sum(shown) / len(shown), max(shown)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
