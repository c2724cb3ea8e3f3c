#!/usr/bin/env bash
# Builds pesolane_1.0_amd64.deb with Debian's own tooling (debhelper), from a
# copy of this source tree in WORKDIR (default build-deb/), and copies it to
# OUTDIR (default build/). The build is reproducible: the same commit gives
# the same bytes whatever the folder and the clock.
#   tools/build-deb.sh [WORKDIR [OUTDIR]]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mkdir -p "${1:-$src/build-deb}" && cd "${1:-$src/build-deb}" && pwd)
out=$(mkdir -p "${2:-$src/build}" && cd "${2:-$src/build}" && pwd)
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)

tree=$work/pesolane-$version
rm -rf "$tree" "$work"/pesolane_"$version"_*
mkdir -p "$tree"
# The sources only: no build folder, no version-control data.
tar -C "$src" --exclude='./build*' --exclude='./.git' --exclude='./out' -cf - . | tar -C "$tree" -xf -

(cd "$tree" && dpkg-buildpackage -b -us -uc -j2) >"$work/build.log" 2>&1 || {
  tail -n 60 "$work/build.log" >&2
  echo "build-deb: dpkg-buildpackage failed (whole log: $work/build.log)" >&2
  exit 1
}
deb=$(dpkg-architecture -qDEB_HOST_ARCH)
cp "$work/pesolane_${version}_$deb.deb" "$out/"
echo "$out/pesolane_${version}_$deb.deb"
