#!/usr/bin/env bash
# Builds everything with warnings as errors (the "dev" preset, into build/) and runs the whole
# test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset dev
cmake --build --preset dev
ctest --preset dev
