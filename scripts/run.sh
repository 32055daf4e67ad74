#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer (on samples/ unless a path is given).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target quendra
exec ./build/default/src/quendra "${1:-samples}"
