#!/usr/bin/env bash
# Installs what is missing, checks the formatting and that no include goes up a floor
# (scripts/check_layers.py), builds with warnings as errors (the fuzz targets' replay programs
# included), runs every test and packages that build as a .deb (listed,
# so a broken package fails here); then builds the core with AddressSanitizer +
# UndefinedBehaviorSanitizer and runs the core tests again.
# QUENDRA_SKIP_ASAN=1 skips the second pass.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/check_format.sh
python3 scripts/check_layers.py src
jobs=$(nproc)

cmake --preset ci >/dev/null
cmake --build --preset ci -j"$jobs"
ctest --preset ci -j"$jobs"
bash scripts/package.sh build/ci
apt-get install --simulate ./build/ci/quendra_*.deb >/dev/null  # its dependencies resolve

if [ "${QUENDRA_SKIP_ASAN:-0}" != 1 ]; then
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j"$jobs"
fi
