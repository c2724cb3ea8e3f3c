#!/usr/bin/env bash
# Time from starting a program to its window mapped, and its peak memory
# (VmHWM) once mapped, for pesolane and for the bare form, in interleaved
# runs on a private Xvfb display. Prints the medians and their ratios.
#   bench/startup.sh [runs]        (needs xvfb and xdotool; build the release preset first)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-21}
display=:93
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
until DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1; do
  kill -0 "$xvfb" 2>/dev/null || { echo "startup.sh: Xvfb could not start on $display" >&2; exit 1; }
  sleep 0.05
done
export DISPLAY=$display LANG=fr_FR.UTF-8

measure() {  # prints "milliseconds kibibytes"
  local start end pid
  start=$(date +%s%N)
  LC_ALL=fr_FR.UTF-8 "$1" >/dev/null 2>/tmp/startup.stderr &
  pid=$!
  # xdotool's own --sync polls twice a second: poll every few milliseconds instead.
  until xdotool search --onlyvisible --pid "$pid" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "startup.sh: $1 ended before its window was mapped" >&2; exit 1; }
    sleep 0.002
  done
  end=$(date +%s%N)
  local hwm
  hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$(( (end - start) / 1000000 )) $hwm"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

: >/tmp/startup.pesolane
: >/tmp/startup.bare
for ((i = 0; i < runs; i++)); do
  measure build/pesolane >>/tmp/startup.pesolane
  measure build/bench/bare_form >>/tmp/startup.bare
done
pt=$(cut -d' ' -f1 /tmp/startup.pesolane | median); pm=$(cut -d' ' -f2 /tmp/startup.pesolane | median)
bt=$(cut -d' ' -f1 /tmp/startup.bare | median); bm=$(cut -d' ' -f2 /tmp/startup.bare | median)
echo "runs: $runs each, interleaved"
echo "pesolane:  window mapped after $pt ms (median), peak memory $((pm / 1024)) MiB ($pm KiB)"
echo "bare form: window mapped after $bt ms (median), peak memory $((bm / 1024)) MiB ($bm KiB)"
LC_ALL=C awk -v a="$pt" -v b="$bt" -v c="$pm" -v d="$bm" 'BEGIN {printf "ratio: time %.2fx, memory %.2fx\n", a / b, c / d}'
