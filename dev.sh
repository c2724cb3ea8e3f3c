#!/usr/bin/env bash
# Pesolane on Debian 12: installs what is missing, builds, then opens the
# window (./dev.sh open) or runs the whole test suite (./dev.sh test).
# Run as root or as a user who may sudo. Safe to run again: it only installs
# and rebuilds what is missing or changed.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake make g++ qt6-base-dev libqt6serialport6-dev libsqlite3-dev qt6-qpa-plugins qt6-translations-l10n fonts-liberation
          locales libzint-dev libcups2-dev libpq-dev)
# fuzzers, benchmarks; the .deb: Debian's build tooling, its checker, hardening-check, man
# what a screen reader receives: an X server, the accessibility bus and its Python binding, xdotool;
# a Wayland-only session: a headless compositor and Qt's Wayland plugin; what the record asks of the disk: strace;
# labels: a CUPS scheduler of the tests' own, and the tools that read a PDF and a barcode back; the site's server: a PostgreSQL of their own
TEST_PACKAGES=(clang-14 libclang-rt-14-dev libbenchmark-dev dpkg-dev debhelper lintian devscripts man-db file
               xvfb xdotool dbus at-spi2-core python3-pyatspi weston qt6-wayland strace cups-daemon cups-client
               poppler-utils zbar-tools postgresql-15)
FUZZ_SECONDS=${PESOLANE_FUZZ_SECONDS:-60}
LOCALES=(fr_FR de_DE en_US)   # the tests run under French; step 1 also under German and English

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

install_missing() {
  local missing=() p
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "dev.sh: installing ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  local generate=0 l
  for l in "${LOCALES[@]}"; do
    locale -a 2>/dev/null | grep -qix "$l.utf8" && continue
    grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "$l.UTF-8 UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
    generate=1
  done
  if [ $generate -eq 1 ]; then as_root locale-gen >/dev/null; fi
}

build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

# Each conversion's fuzzer for a bounded time, from the seed corpus kept in
# fuzz/corpus; any finding fails the run and leaves its input in build-fuzz/.
fuzz() {
  local target work log
  for target in leading_number masked_text locale_text scale_line hid_report scale_model; do
    work=build-fuzz/corpus/$target
    mkdir -p "$work"
    echo "fuzz_$target: ${FUZZ_SECONDS}s"
    log=build-fuzz/fuzz_$target.log
    if ! ./build-fuzz/fuzz_$target -max_total_time="$FUZZ_SECONDS" -max_len=65536 -timeout=10 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/ "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
      tail -n 40 "$log"
      echo "dev.sh: fuzz_$target found a failing input (kept in build-fuzz/)" >&2
      return 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$log"
  done
}

case "${1:-}" in
  open)
    install_missing
    build release
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
      echo "dev.sh: no graphical display (DISPLAY and WAYLAND_DISPLAY are unset): the window cannot open here." >&2
      exit 1
    fi
    exec ./build/pesolane
    ;;
  test)
    install_missing "${TEST_PACKAGES[@]}"
    build fuzz
    fuzz
    build asan
    ctest --preset asan
    build release
    ctest --preset release
    ;;
  *)
    echo "usage: ./dev.sh open | ./dev.sh test" >&2
    exit 2
    ;;
esac
