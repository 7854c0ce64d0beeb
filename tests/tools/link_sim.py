#!/usr/bin/python3
"""Runs glimfant in a pseudo-terminal whose output reaches a simulated
terminal over a simulated link, as over ssh, and reports how old the picture
on that terminal is.

    link_sim.py [--rate BITS] [--rtt MS] [--window BYTES] [--seconds S]
                [--size COLSxROWS] [--refuse-resize] [--json] -- GLIMFANT [ARGS...]

The link: the pseudo-terminal is read into a window of --window bytes (sshd's
is 2 MB) that is carried at --rate bits a second; each byte reaches the
terminal half a round trip after it was sent. The terminal answers status
requests (CSI c, CSI 5 n) and window-size requests (CSI 8;rows;cols t: the
pseudo-terminal takes that size, unless --refuse-resize); answers and keys
take half a round trip back. SPACE is pressed when the start picture has
arrived, ESC --seconds later. The program is given --stats; a frame's age is
the time since it was presented.

Prints, for the show from its first frame to the ESC: frames presented and
skipped, the picture's age (max, 99th percentile, sampled every ms), how
long after the ESC the terminal was given back, and the bytes left in the
terminal's input after the program ended (answers that came too late: the
shell would read them). Exit status 0 once the
program ended by itself and the terminal was given back.

The link and the terminal keep real time, and so does the program: a loaded
machine holds them up. The hold-ups of 5 ms and more are measured where they
happened: a frame's update read from the pseudo-terminal later than the
program presented it (on the way out), an answer or key written later than
it was due (on the way back), a frame presented later than the tick past its
deadline (the program's own). stall_ms is the longest; stalled_frames the
frames' worth (20 ms, a part counting whole) of each, added up, so that a
stall of the whole machine counts on every side it held up.
"""
import argparse
import fcntl
import heapq
import json
import math
import os
import pty
import select
import shutil
import struct
import sys
import tempfile
import termios
import time

SYNC_END = b"\x1b[?2026l"
RESTORE_END = b"\x1b[?1049l"
PACKET = 1400  # bytes the link carries as one piece
HELD_UP = 0.005  # s: a delay past the schedule that counts as the machine's
FRAME = 0.02     # s between frames


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--rate", type=float, default=1e6, help="link rate, bits a second")
    p.add_argument("--rtt", type=float, default=100.0, help="round trip, ms")
    p.add_argument("--window", type=int, default=2 * 1024 * 1024, help="bytes in flight at most")
    p.add_argument("--seconds", type=float, default=10.0, help="show time before ESC")
    p.add_argument("--size", default="80x25")
    p.add_argument("--refuse-resize", action="store_true")
    p.add_argument("--json", action="store_true", help="print the results as one JSON object")
    p.add_argument("--trace", help="write a line a presented frame: present and arrival time (s), bytes")
    p.add_argument("command", nargs=argparse.REMAINDER)
    a = p.parse_args()
    if a.command and a.command[0] == "--":
        a.command = a.command[1:]
    if not a.command:
        p.error("no program given")
    return a


def set_size(fd, cols, rows):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))


class Terminal:
    """What the simulated terminal does with the bytes that reach it, and its
    record of when it read them and answered."""

    def __init__(self, args, master):
        self.args, self.master = args, master
        self.tail = b""
        self.frame_times = []   # when each synchronized update ended, in order
        self.frame_reads = []   # when the piece that ended each was read from the pseudo-terminal
        self.restored_at = self.restore_read = None
        self.resizes = []       # (rows, cols) asked for

    def receive(self, data, now, read_at, answer):
        """data, read from the pseudo-terminal at read_at, arrives at now."""
        self.read_at = read_at
        seen = self.tail + data
        start = len(self.tail)
        i = 0
        while True:
            i = seen.find(b"\x1b[", i)
            if i < 0:
                break
            j = i + 2
            while j < len(seen) and 0x30 <= seen[j] <= 0x3F:
                j += 1
            if j >= len(seen):
                break  # cut off: completed by the next piece
            end = j + 1
            if end > start:
                self.control(seen[i + 2:j], seen[j:j + 1], now, answer)
            i = end
        cut = seen.rfind(b"\x1b")
        self.tail = seen[cut:] if cut >= 0 and len(seen) - cut < 24 else b""

    def control(self, params, final, now, answer):
        if final == b"c" and params == b"":
            answer(b"\x1b[?62;22c")
        elif final == b"n" and params == b"5":
            answer(b"\x1b[0n")
        elif final == b"l" and params == b"?2026":
            self.frame_times.append(now)
            self.frame_reads.append(self.read_at)
        elif final == b"l" and params == b"?1049":
            self.restored_at, self.restore_read = now, self.read_at
        elif final == b"t" and params.startswith(b"8;"):
            rows, cols = (int(x) for x in params.split(b";")[1:3])
            self.resizes.append((rows, cols))
            if not self.args.refuse_resize:
                set_size(self.master, cols, rows)


def run(args):
    cols, rows = (int(x) for x in args.size.split("x"))
    scratch = tempfile.mkdtemp(prefix="glimfant-link-")  # this run's own folder
    stats = os.path.join(scratch, "stats.txt")
    env = dict(os.environ, TERM="xterm-256color")
    env.pop("COLORTERM", None)
    # The pseudo-terminal stays open here after the program ends, as the
    # shell's would: what reaches it then waits for the shell.
    master, shell = pty.openpty()
    pid = os.fork()
    if pid == 0:
        os.setsid()
        os.close(master)
        fcntl.ioctl(shell, termios.TIOCSCTTY, 0)
        for fd in (0, 1, 2):
            os.dup2(shell, fd)
        set_size(0, cols, rows)
        os.execvpe(args.command[0], args.command + ["--stats", stats], env)
    os.set_blocking(master, False)

    half = args.rtt / 2000.0
    byte_time = 8.0 / args.rate
    term = Terminal(args, master)
    events = []        # (time, order, kind, data): deliveries to the terminal, bytes to the program
    order = 0
    link_free = time.monotonic()
    in_flight = 0      # bytes read from the pseudo-terminal, their window not yet given back
    space_at = esc_at = None
    late = []          # (due, done): answers and keys the machine held up
    program_done = False
    status = None

    def schedule(at, kind, data):
        nonlocal order
        order += 1
        heapq.heappush(events, (at, order, kind, data))

    def answer_at(now):
        return lambda data: schedule(now + half, "to_program", data)

    deadline = time.monotonic() + args.seconds + 60
    while time.monotonic() < deadline:
        now = time.monotonic()
        while events and events[0][0] <= now:
            at, _, kind, data = heapq.heappop(events)
            if kind == "to_terminal":
                piece, read_at = data
                term.receive(piece, at, read_at, answer_at(at))
                schedule(at + half, "window", len(piece))  # sshd learns of it half a trip later
            elif kind == "window":
                in_flight -= data
            elif kind == "to_program":
                try:
                    os.write(master, data)
                except OSError:
                    pass
                done = time.monotonic()
                if done - at >= HELD_UP:
                    late.append((at, done))
        if space_at is None and term.frame_times:
            space_at = now
            schedule(now + half, "to_program", b" ")
        if space_at is not None and esc_at is None and now >= space_at + args.seconds:
            esc_at = now
            schedule(now + half, "to_program", b"\x1b")
        if program_done and not events:
            break
        timeout = 0.05
        if events:
            timeout = max(0.0, min(timeout, events[0][0] - now))
        readable = []
        if not program_done and in_flight < args.window:
            readable, _, _ = select.select([master], [], [], timeout)
        else:
            time.sleep(timeout)
        if status is None:
            done, raw = os.waitpid(pid, os.WNOHANG)
            if done == pid:
                status = os.waitstatus_to_exitcode(raw)
        if status is not None and not program_done and in_flight < args.window and \
                not select.select([master], [], [], 0)[0]:
            program_done = True  # ended, and all it wrote is on the link
            continue
        if readable and not program_done:
            try:
                data = os.read(master, min(65536, args.window - in_flight))
            except OSError:
                data = b""
            if not data:
                continue
            now = time.monotonic()
            in_flight += len(data)
            for k in range(0, len(data), PACKET):
                piece = data[k:k + PACKET]
                link_free = max(link_free, now) + len(piece) * byte_time
                schedule(link_free + half, "to_terminal", (piece, now))
    if status is None:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
    # What the shell would read next: the input as the program left it.
    modes = termios.tcgetattr(shell)
    modes[3] &= ~(termios.ICANON | termios.ECHO)
    modes[6][termios.VMIN], modes[6][termios.VTIME] = 0, 0
    termios.tcsetattr(shell, termios.TCSANOW, modes)
    left = b""
    while True:
        try:
            piece = os.read(shell, 4096)
        except OSError:
            break
        if not piece:
            break
        left += piece
    os.close(master)
    os.close(shell)
    try:
        return report(args, term, stats, esc_at, late, status, left)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def merged(spans):
    """The spans (start, end) merged where they overlap, in order."""
    out = []
    for a, b in sorted(spans):
        if out and a <= out[-1][1]:
            out[-1][1] = max(out[-1][1], b)
        else:
            out.append([a, b])
    return out


def report(args, term, stats_path, esc_at, late, status, left):
    rows = []
    with open(stats_path) as f:
        for line in f:
            if not line.startswith("#"):
                rows.append(line.split())
    presented = [float(r[2]) / 1000.0 for r in rows if int(r[3]) > 0]
    sent = [int(r[3]) for r in rows if int(r[3]) > 0]
    # Frames after the ESC reached the program are not sent, by design.
    before_esc = [r for r in rows if esc_at is None or float(r[2]) / 1000.0 < esc_at + args.rtt / 2000.0]
    skipped = sum(1 for r in before_esc if int(r[3]) == 0)
    # Each frame presented ends one synchronized update; before them come the
    # start picture (and the size message), after them the restore's.
    first = max(0, len(term.frame_times) - (1 if term.restored_at else 0) - len(presented))
    arrived = term.frame_times[first:first + len(presented)]
    read = term.frame_reads[first:first + len(presented)]
    n = min(len(presented), len(arrived))

    # What held the run up, from the records of where it happened: the
    # terminal's reads later than the program's writes (on the way out), its
    # answers and keys written later than due (on the way back), the
    # program's frames presented later than the tick past their deadline.
    # A stall of the whole machine shows on each; each counts.
    held = [merged([(presented[k], read[k]) for k in range(n) if read[k] - presented[k] >= HELD_UP]),
            merged(late),
            merged([((int(r[1]) + 1) / 1000.0, float(r[2]) / 1000.0) for r in rows
                    if float(r[2]) - int(r[1]) - 1 >= HELD_UP * 1000])]
    stall = max([b - a for spans in held for a, b in spans], default=0.0)
    stalled_frames = sum(math.ceil((b - a) / FRAME) for spans in held for a, b in spans)

    if args.trace:
        with open(args.trace, "w") as f:
            for k in range(n):
                f.write(f"{presented[k]:.4f} {arrived[k]:.4f} {sent[k]}\n")
    ages = []
    max_age = 0.0
    worst_at = None
    if n and esc_at:
        end = min(esc_at, arrived[n - 1] + 1.0)
        k = 0
        t = arrived[0]
        while t < end:
            while k + 1 < n and arrived[k + 1] <= t:
                k += 1
            ages.append(t - presented[k])
            t += 0.001
        worst = max(range(len(ages)), key=ages.__getitem__)
        worst_at = worst * 0.001
        ages.sort()
        max_age = ages[-1]
    result = {
        "rate": args.rate, "rtt_ms": args.rtt, "seconds": args.seconds,
        "frames": len(rows), "presented": len(presented), "skipped": skipped,
        "first_skipped": [int(r[0]) for r in before_esc if int(r[3]) == 0][:5],
        "max_age_ms": round(max_age * 1000, 1),
        "worst_at_s": round(worst_at, 2) if worst_at is not None else None,
        "p99_age_ms": round(ages[len(ages) * 99 // 100] * 1000, 1) if ages else None,
        "median_age_ms": round(ages[len(ages) // 2] * 1000, 1) if ages else None,
        "restore_after_esc_ms": round((term.restored_at - esc_at) * 1000, 1)
        if term.restored_at and esc_at else None,
        "stall_ms": round(stall * 1000, 1), "stalled_frames": stalled_frames,
        "resizes": term.resizes, "exit_status": status, "shell_bytes": len(left),
    }
    if args.json:
        print(json.dumps(result))
    else:
        for key, value in result.items():
            print(f"{key}: {value}")
    return 0 if status == 0 and term.restored_at else 1


if __name__ == "__main__":
    sys.exit(run(parse_args()))
