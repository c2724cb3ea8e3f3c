#!/usr/bin/env bash
# How long `pesolane --chercher` takes: a scale at its maker's factory
# settings on the only port, one family after the other; then a silent port,
# every setting and every probe tried. Nothing set up beforehand.
#   bench/search_time.sh [PROGRAM]   (build/pesolane by default)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=${1:-$here/../build/pesolane}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

# family|the simulated scale at its maker's settings
scales=(
  "answer to S, SI|--speed 9600 --command SI\r\n --command S\r\n --answer S\x20S\x20\x20\x20\x20100.25\x20g"
  "ESC P, 1200 7O1|--speed 1200 --format 7O1 --command \x1bP --answer +\x20\x20\x20\x2050.20\x20g\x20\x20"
  "status header, 2400 7E1|--speed 2400 --format 7E1 --command SI\r\n --command S\r\n --answer ST,+00050.20\x20\x20g"
  "ENQ, 9600 8N1|--speed 9600 --command \x05 --answer ST,+00050.20\x20\x20g"
  "LF W CR, 9600 8N1|--speed 9600 --command \nW\r --answer \n0012.34lb\r\n00\r\x03 --end="
  "READ, 9600 8N1|--speed 9600 --command READ\r\n --answer ST,GS,\x20\x20\x20\x200.5,kg"
  "stream, 9600 8N1|--speed 9600 --stream ST,GS,+\x20\x20100.25\x20g --every 0.1"
  "bare stream, 19200 8N1|--speed 19200 --stream \x20\x20\x20100.25\x20g --every 0.1"
  "fixed-format frames, 19200 7E1|--speed 19200 --format 7E1 --stream \x02,0\x20001234000000 --end=\r --every 0.1"
  "silent port: every setting, every probe|"
)
printf '| Scale | Found | Seconds |\n|---|---|---:|\n'
for row in "${scales[@]}"; do
  IFS='|' read -r name options <<<"$row"
  read -ra options <<<"$options"
  rm -rf "$work/config" "$work/port"
  python3 "$here/../tests/fake_scale.py" "${options[@]}" --seconds 400 >"$work/port" &
  scale=$!
  while [ ! -s "$work/port" ]; do sleep 0.05; done
  start=$(date +%s.%N)
  found=$(XDG_CONFIG_HOME=$work/config LC_ALL=fr_FR.UTF-8 "$program" --chercher "$(cat "$work/port")" 2>/dev/null |
    sed -n 's/^vitesse=//p; s/^format=//p; s/^protocole=//p' | paste -sd' ' || true)
  end=$(date +%s.%N)
  kill $scale 2>/dev/null || true
  printf '| %s | %s | %s |\n' "$name" "${found:-nothing}" "$(awk "BEGIN { printf \"%.1f\", $end - $start }")"
done
