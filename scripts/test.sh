#!/usr/bin/env bash
# Builds everything with warnings as errors (the "dev" preset, into build/) and runs the whole
# test suite, with a throwaway PostgreSQL cluster for the team database's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# A cluster and state file of its own, so that a cluster started by hand is left alone.
unset QUILLON_PG_DIR QUILLON_TEST_PG
QUILLON_PG_STATE="$(mktemp)"
export QUILLON_PG_STATE
trap 'scripts/team-server.sh stop; rm -f "$QUILLON_PG_STATE"' EXIT
pg_env="$(scripts/team-server.sh start)"
eval "$pg_env"
cmake --preset dev
cmake --build --preset dev
ctest --preset dev
