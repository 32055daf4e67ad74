#!/usr/bin/env bash
# Builds the Debian package: scripts/package.sh [BUILD_DIR]
# Without BUILD_DIR it configures a release build of the programs alone in build/package.
# With one (CI passes its own), that build is packaged as it stands. Prints the package's path
# and lists its contents; fails when the package cannot be made or read.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-}
if [ -z "$build" ]; then
  build=build/package
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUENDRA_TESTS=OFF -DQUENDRA_BENCH=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi
rm -f "$build"/quendra_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/quendra_*.deb)
[ -f "${debs[0]}" ] || { echo "package.sh: no package was made" >&2; exit 1; }
dpkg-deb -f "${debs[0]}" Package Version Architecture Depends Recommends
dpkg-deb -c "${debs[0]}"
# Debian's own checks: errors fail the package, warnings are listed.
lintian --fail-on error --tag-display-limit 0 "${debs[0]}"
echo "${debs[0]}"
