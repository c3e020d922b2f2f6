#!/usr/bin/env bash
# Formats every C and C++ source with the project's .clang-format; --check only reports.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
  echo "formatting: ok (${#files[@]} files)"
else
  clang-format -i "${files[@]}"
fi
