#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite.
# Usage: scripts/test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build="${1:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WERROR=ON
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600
