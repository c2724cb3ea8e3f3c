#!/usr/bin/env python3
"""A scale on a pseudo-terminal, for the command-line checks and for trying
the program by hand: prints the port to open, then answers each command line
with the lines given (--answer), or sends them on its own (--stream).

    tests/fake_scale.py --answer 'S S      0100.250 g'
    tests/fake_scale.py --stream 'ST,GS,+  100.25 g' --every 0.1
    tests/fake_scale.py --burst --stream 'GROSS  1.500 kg' --stream 'NET    1.25 kg' --every 3
    tests/fake_scale.py --in-turn --answer 'S S 1000 g' --answer 'S S 10 g' --seconds 600
    tests/fake_scale.py --command '\x1bP' --answer '+    50.20 g  '

Lines and commands take Python's escapes (\x02, \x1b, \r...)."""
import argparse
import codecs
import os
import pty
import select
import sys
import time
import tty

parser = argparse.ArgumentParser()
parser.add_argument("--answer", action="append", default=[], help="a line answered to each command")
parser.add_argument("--stream", action="append", default=[], help="a line sent on its own, over and over")
parser.add_argument("--in-turn", action="store_true", help="one answer per command, in turn, instead of all")
parser.add_argument("--every", type=float, default=0.1, help="seconds between streamed lines")
parser.add_argument("--burst", action="store_true", help="all the streamed lines at once, each time: a print")
parser.add_argument("--seconds", type=float, default=30, help="how long the scale stays connected")
parser.add_argument("--command", help="what the program sends to ask; other bytes are answered ES "
                    "(by default: any line, ended by LF)")
parser.add_argument("--end", default="\\r\\n", help="what the scale puts after each line it sends")
args = parser.parse_args()


def raw(text):
    return codecs.decode(text, "unicode_escape").encode("latin-1")


command, line_end = raw(args.command or "\\n"), raw(args.end)

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
while time.monotonic() < end:
    ready, _, _ = select.select([master], [], [], 0.02)
    if ready:
        try:
            data = os.read(master, 4096)
        except OSError:  # no one has the port open yet
            time.sleep(0.02)
            continue
        pending += data
        while command in pending or (args.command and pending and not command.startswith(pending)):
            if command not in pending:  # bytes that are no command
                os.write(master, b"ES" + line_end)
                pending = b""
                break
            before, pending = pending.split(command, 1)
            if args.command and before:
                os.write(master, b"ES" + line_end)
            answers = [args.answer[turn % len(args.answer)]] if args.in_turn and args.answer else args.answer
            turn += 1
            for line in answers:
                os.write(master, raw(line) + line_end)
    if args.stream and time.monotonic() >= next_line:
        lines = args.stream if args.burst else [args.stream[index % len(args.stream)]]
        try:
            os.write(master, b"".join(raw(line) + line_end for line in lines))
        except OSError:
            pass
        index += 1
        next_line = max(next_line + args.every, time.monotonic())  # a scale does not catch up
os.close(master)
