#!/usr/bin/env bash
# Runs a command the way a screen reader's user runs the program: on its own
# X display (Xvfb), in a D-Bus session with the AT-SPI accessibility bus, with
# Qt's accessibility bridge on.
#   tests/with_atspi.sh COMMAND [ARG...]
set -euo pipefail
display=:$((90 + RANDOM % 100))
while [ -e "/tmp/.X11-unix/X${display#:}" ] || [ -e "/tmp/.X${display#:}-lock" ]; do display=:$((90 + RANDOM % 100)); done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

export DISPLAY=$display QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 PESOLANE_ATSPI=1
export NO_AT_BRIDGE=0 GTK_MODULES=
dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  for _ in $(seq 50); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.1
  done
  "$@"' bash "$@" 2> >(grep -v -e "Failed to set fd limit" -e "XDG_RUNTIME_DIR" >&2)
