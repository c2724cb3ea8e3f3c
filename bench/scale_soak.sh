#!/usr/bin/env bash
# Memory of the window under a scale that never stops sending: a simulated
# scale floods its pseudo-terminal as fast as the line takes it, the window
# reads it with F9 every 10 s, and its resident memory is printed every minute.
#   bench/scale_soak.sh [minutes]   (needs xvfb, xdotool and python3; build the release preset first)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
display=:94
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids=$!
trap 'kill $pids 2>/dev/null || true' EXIT
until DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1; do sleep 0.05; done
export DISPLAY=$display

fifo=$(mktemp -u)
python3 - >"$fifo.port" <<'PY' &
import os, pty, sys, time, tty
master, slave = pty.openpty()
tty.setraw(slave)
print(os.ttyname(slave), flush=True)
block = b"ST,GS,+  100.25 g\r\nUS,GS,+  100.20 g\r\n" * 1000
while True:
    try:
        os.write(master, block)
    except OSError:
        time.sleep(0.01)
PY
pids="$pids $!"
until [ -s "$fifo.port" ]; do sleep 0.05; done
port=$(cat "$fifo.port")
LC_ALL=fr_FR.UTF-8 build/pesolane --port "$port" --protocole continu --delai 5 >/dev/null 2>&1 &
app=$!
pids="$pids $app"
until xdotool search --onlyvisible --pid "$app" >/dev/null 2>&1; do sleep 0.05; done
rss() { awk '/VmRSS/ {print $2}' "/proc/$app/status"; }
cpu() { awk '{print ($14 + $15) / 100}' "/proc/$app/stat"; }  # seconds spent taking the flood
f9() { xdotool mousemove 168 61 click 1 key F9; }
f9
sleep 2
echo "minute 0: resident $(rss) KiB, processor $(cpu) s"
for ((m = 1; m <= minutes; m++)); do
  for _ in 1 2 3 4 5 6; do sleep 10; f9; done
  echo "minute $m: resident $(rss) KiB, processor $(cpu) s"
done
rm -f "$fifo.port"
