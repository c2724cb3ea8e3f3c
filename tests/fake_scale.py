#!/usr/bin/env python3
"""A scale on a pseudo-terminal, for the command-line checks and for trying
the program by hand: prints the port to open, then answers each command line
with the lines given (--answer), or sends them on its own (--stream).

    tests/fake_scale.py --answer 'S S      0100.250 g'
    tests/fake_scale.py --stream 'ST,GS,+  100.25 g' --every 0.1
    tests/fake_scale.py --burst --stream 'GROSS  1.500 kg' --stream 'NET    1.25 kg' --every 3
    tests/fake_scale.py --in-turn --answer 'S S 1000 g' --answer 'S S 10 g' --seconds 600
    tests/fake_scale.py --command '\x1bP' --answer '+    50.20 g  '
    tests/fake_scale.py --speed 2400 --format 7E1 --answer 'S S 1 g' --record /tmp/heard
    tests/fake_scale.py --command '\x1bP' --answer '+    50.20 g  ' --delay 0.4

With --speed, it hears and answers only when the port is set to that speed
(a pseudo-terminal keeps the speed the program set); at another it answers
what it gets, and streams, with bytes that read as nothing.

Lines and commands take Python's escapes (\x02, \x1b, \r...)."""
import argparse
import codecs
import os
import pty
import select
import sys
import time
import termios
import tty

parser = argparse.ArgumentParser()
parser.add_argument("--answer", action="append", default=[], help="a line answered to each command")
parser.add_argument("--stream", action="append", default=[], help="a line sent on its own, over and over")
parser.add_argument("--reply", nargs=2, action="append", default=[], metavar=("COMMAND", "LINE"),
                    help="a line answered to that command only (which it then knows)")
parser.add_argument("--once", action="store_true", help="answers the first command only: a print, sent unasked")
parser.add_argument("--in-turn", action="store_true", help="one answer per command, in turn, instead of all")
parser.add_argument("--every", type=float, default=0.1, help="seconds between streamed lines")
parser.add_argument("--burst", action="store_true", help="all the streamed lines at once, each time: a print")
parser.add_argument("--seconds", type=float, default=30, help="how long the scale stays connected")
parser.add_argument("--command", action="append", help="what the program sends to ask; other bytes are answered ES "
                    "(by default: any line, ended by LF); several may be given")
parser.add_argument("--speed", type=int, help="the only speed it talks at")
parser.add_argument("--format", default="8N1", help="its data format: with parity, the parity bit goes in bit 7")
parser.add_argument("--record", help="a file that gets every byte it receives")
parser.add_argument("--echo", action="store_true", help="sends back every byte it receives, and nothing else")
parser.add_argument("--end", default="\\r\\n", help="what the scale puts after each line it sends")
parser.add_argument("--delay", type=float, default=0, help="seconds before each answer (a scale that answers late)")
args = parser.parse_args()


def raw(text):
    return codecs.decode(text, "unicode_escape").encode("latin-1")


replies = {raw(c): line for c, line in args.reply}
commands, line_end = [raw(c) for c in args.command or ([] if replies else ["\\n"])] + list(replies), raw(args.end)
knows = bool(args.command or replies)  # what it does not know is answered ES


def on_wire(data):
    """The bytes as a port with 8 data bits reads them: the parity in bit 7."""
    if args.format[1] not in "EO":
        return data
    odd = args.format[1] == "O"
    return bytes(b | (0x80 if (bin(b).count("1") % 2 == 0) == odd else 0) for b in data)


def speed_ok():
    if not args.speed:
        return True
    try:
        return termios.tcgetattr(master)[4] == getattr(termios, "B%d" % args.speed)
    except termios.error:
        return False


def send(data):
    """What the program reads: at a wrong speed, bytes that no shape reads."""
    if not speed_ok():
        data = bytes(0xF0 | (b & 0x0F) for b in data)
    try:
        os.write(master, on_wire(data))
    except OSError:
        pass

master, slave = pty.openpty()
tty.setraw(slave)
print(os.ttyname(slave), flush=True)
os.close(slave)  # the program opens it by name
os.set_blocking(master, False)  # a scale sends whether or not anyone listens

end = time.monotonic() + args.seconds
pending = b""
next_line = time.monotonic()
index = 0
turn = 0
later = []  # answers on their way: when, bytes
while time.monotonic() < end:
    while later and later[0][0] <= time.monotonic():
        send(later.pop(0)[1])
    ready, _, _ = select.select([master], [], [], 0.02)
    if ready:
        try:
            data = os.read(master, 4096)
        except OSError:  # no one has the port open yet
            time.sleep(0.02)
            continue
        if args.record:
            with open(args.record, "ab") as record:
                record.write(data)
        if args.echo:
            send(data)
            continue
        if not speed_ok():  # what it hears is not what was sent: it answers nothing it knows
            send(b"?" * len(data) + line_end)
            pending = b""
            continue
        pending += data
        while True:
            # A line end alone asks nothing.
            while knows and pending[:1] in (b"\r", b"\n") and not any(
                    pending.startswith(c) or c.startswith(pending) for c in commands):
                pending = pending[1:]
            found = [(pending.find(c), c) for c in commands if c in pending]
            if not found:
                if knows and pending and not any(c.startswith(pending) for c in commands):
                    send(b"ES" + line_end)  # bytes that are no command
                    pending = b""
                break
            at, asked = min(found)
            if knows and at > 0:
                send(b"ES" + line_end)
            pending = pending[at + len(asked):]
            answers = [args.answer[turn % len(args.answer)]] if args.in_turn and args.answer else args.answer
            if asked in replies:
                answers = [replies[asked]]
            turn += 1
            if args.once and turn > 1:
                answers = []
            for line in answers:
                later.append((time.monotonic() + args.delay, raw(line) + line_end))
    if args.stream and time.monotonic() >= next_line:
        lines = args.stream if args.burst else [args.stream[index % len(args.stream)]]
        send(b"".join(raw(line) + line_end for line in lines))
        index += 1
        next_line = max(next_line + args.every, time.monotonic())  # a scale does not catch up
os.close(master)
