#!/usr/bin/env bash
# Analyses this machine with the shipped analyzer modules and writes the results to an
# exchange file. Works without a display. Usage: scripts/run.sh [results-file]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF >/dev/null
cmake --build build-run -j2 >/dev/null
out="${1:-$PWD/results.kqx}"
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
build-run/bin/quillon "-A:$out" -P
