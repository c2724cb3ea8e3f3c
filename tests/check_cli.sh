#!/usr/bin/env bash
# The program's command line, run as a process: each row gives the
# environment, the arguments, the exit status and the first line printed.
set -uo pipefail
program=$1
failures=0

# A Wayland-only session: a headless compositor and no X display.
runtime=$(mktemp -d)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime
weston --backend=headless-backend.so --socket=pesolane-cli --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston=$!
trap 'kill $weston 2>/dev/null; rm -rf "$runtime"' EXIT
for _ in $(seq 50); do [ -e "$runtime/pesolane-cli" ] && break; sleep 0.1; done

# display|arguments|status|first line (stdout, then stderr; * for any)
# Status 124: still running after 3 s, the window is open.
rows=(
  "none|--help|0|Utilisation : pesolane [OPTION]..."
  "none|-h|0|Utilisation : pesolane [OPTION]..."
  "none|--version|0|pesolane 1.0"
  "none|-v|0|pesolane 1.0"
  "x11|--version|0|pesolane 1.0"
  "none|--bogus|2|pesolane : option inconnue : --bogus"
  "offscreen|--bogus|2|pesolane : option inconnue : --bogus"
  "offscreen|-x|2|pesolane : option inconnue : -x"
  "offscreen|surplus|2|pesolane : argument inattendu : surplus"
  "none|-platform|2|pesolane : il manque la valeur d'une option"
  "none|-style Fusion -platform offscreen --version|0|pesolane 1.0"
  "none|-platform offscreen -style Fusion -reverse|124|*"
  "wayland||124|*"
  "none||1|pesolane : aucun affichage graphique (ni DISPLAY ni WAYLAND_DISPLAY n'est défini) ; lancez le programme depuis une session de bureau."
)

for row in "${rows[@]}"; do
  IFS='|' read -r display args status first <<<"$row"
  env=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=fr_FR.UTF-8)
  case $display in
    offscreen) env+=(QT_QPA_PLATFORM=offscreen) ;;
    x11) env+=(DISPLAY=:97) ;;  # a display that does not exist: --version must not need it
    wayland) env+=(WAYLAND_DISPLAY=pesolane-cli) ;;
  esac
  # shellcheck disable=SC2086
  output=$("${env[@]}" timeout 3 "$program" $args 2>/tmp/pesolane_cli_err.$$)
  got=$?
  line=$( { printf '%s\n' "$output"; cat /tmp/pesolane_cli_err.$$; } | grep -m1 -v '^$')
  if [ "$got" != "$status" ] || { [ "$first" != "*" ] && [ "$line" != "$first" ]; }; then
    echo "FAIL [$display] pesolane $args: status $got (want $status), first line '$line' (want '$first')"
    failures=$((failures + 1))
  else
    echo "ok   [$display] pesolane $args: $got, $line"
  fi
  # An error is one line, then the usage.
  if [ "$status" = 2 ] && ! sed -n 2p /tmp/pesolane_cli_err.$$ | grep -q '^Utilisation : pesolane'; then
    echo "FAIL [$display] pesolane $args: the usage does not follow the error"
    failures=$((failures + 1))
  fi
done
rm -f /tmp/pesolane_cli_err.$$
exit $((failures > 0))
