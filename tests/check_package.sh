#!/usr/bin/env bash
# The Debian package: built twice from the same sources in two folders at two
# moments, byte-identical; lintian finds no error and no warning; it holds
# what a desktop needs; its program is stripped and hardened.
set -euo pipefail
src=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch/one" "$scratch/elsewhere/two"
fail() { echo "FAIL: $*" >&2; exit 1; }

deb=$("$src/tools/build-deb.sh" "$scratch/one" "$scratch/one/out")
sleep 2  # another clock for the second build
again=$("$src/tools/build-deb.sh" "$scratch/elsewhere/two" "$scratch/elsewhere/two/out")
cmp "$deb" "$again" || fail "two builds of the same sources differ: $deb $again"
echo "reproducible: $(sha256sum <"$deb" | cut -c1-16)"
[ "$(basename "$deb")" = pesolane_1.0_amd64.deb ] || fail "unexpected file name $(basename "$deb")"

lintian -i -EvIL +pedantic "$deb" >"$scratch/lintian.txt" 2>&1 || true
cat "$scratch/lintian.txt"
if grep -E '^[EW]: ' "$scratch/lintian.txt"; then fail "lintian reports errors or warnings"; fi

contents=$(dpkg-deb -c "$deb")
for path in \
    ./usr/bin/pesolane \
    ./usr/share/applications/org.pesolane.Pesolane.desktop \
    ./usr/share/icons/hicolor/scalable/apps/org.pesolane.Pesolane.svg \
    ./usr/share/icons/hicolor/64x64/apps/org.pesolane.Pesolane.png \
    ./usr/share/metainfo/org.pesolane.Pesolane.metainfo.xml \
    ./usr/share/man/man1/pesolane.1.gz \
    ./usr/share/man/fr/man1/pesolane.1.gz \
    ./usr/share/doc/pesolane/copyright \
    ./usr/share/doc/pesolane/changelog.gz \
    ./lib/udev/rules.d/60-pesolane.rules; do
  grep -q " $path\$" <<<"$contents" || fail "$path is missing from the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6serialport6 libqt6printsupport6 libsqlite3-0 libzint2.11 libcups2 qt6-qpa-plugins qt6-translations-l10n fonts-liberation; do
  grep -q "$dep" <<<"$depends" || fail "the package does not depend on $dep: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "qt6-wayland, cups-client" ] || fail "the package does not recommend qt6-wayland and cups-client"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
# Access for USB weighing devices by their ids only, never for every hidraw node.
! grep -v '^#' "$root/lib/udev/rules.d/60-pesolane.rules" | grep -v -e '^$' -e 'SUBSYSTEM=="hidraw", ATTRS{idVendor}=="[0-9a-f]\{4\}", ATTRS{idProduct}=="[0-9a-f]\{4\}", TAG+="uaccess"$' ||
  fail "the udev rule gives access beyond USB weighing devices listed by their ids"
file "$root/usr/bin/pesolane" | grep -q ', stripped' || fail "the program is not stripped"
# It exits non-zero for features Debian 12's flags do not give (stack clash
# protection, control-flow integrity); the five asked for are checked below.
hardening-check "$root/usr/bin/pesolane" >"$scratch/hardening.txt" || true
cat "$scratch/hardening.txt"
for feature in "Position Independent Executable" "Stack protected" "Read-only relocations" "Immediate binding"; do
  grep -q "$feature: yes" "$scratch/hardening.txt" || fail "the program lacks: $feature"
done
# Fortify guards only the C library calls it can check, and the program makes
# none (Qt does its own work), so the flag itself is checked on every compile.
compiles=$(grep -c -E ' -o [^ ]+\.o -c ' "$scratch/one/build.log")
fortified=$(grep -E ' -o [^ ]+\.o -c ' "$scratch/one/build.log" | grep -c -- '-D_FORTIFY_SOURCE=2')
[ "$compiles" -gt 0 ] && [ "$compiles" = "$fortified" ] || fail "only $fortified of $compiles compiles use _FORTIFY_SOURCE"
# The record's export runs from the package: a record it did not write is
# refused, named, and left as it was.
printf 'numéro;date\r\n' >"$scratch/not-a-record.db"
said=$(LC_ALL=C.UTF-8 "$root/usr/bin/pesolane" --exporter --journal "$scratch/not-a-record.db" 2>&1 >/dev/null) && fail "--exporter read a file that is not a record"
[ "$said" = "pesolane : le journal $scratch/not-a-record.db ne peut être lu : ce fichier n'est pas un journal de comptage de Pesolane." ] ||
  fail "--exporter from the package says: $said"
[ "$(cat "$scratch/not-a-record.db")" = $'numéro;date\r' ] || fail "--exporter changed a file that is not a record"
# The manual pages read without a warning from the formatter.
for page in man1/pesolane.1.gz fr/man1/pesolane.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
echo "package: $deb"
