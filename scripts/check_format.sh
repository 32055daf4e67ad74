#!/usr/bin/env bash
# Fails when a C++ source of the project's own differs from what .clang-format makes of it.
# Generated data (*.inc) is not checked.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find src tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
clang-format --dry-run --Werror --style=file "${files[@]}"
echo "formatting: ${#files[@]} files as .clang-format wants"
