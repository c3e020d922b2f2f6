#!/bin/sh
# Builds the fuzz targets in a core-only clang configuration and runs each for a minute,
# seeded with the files the exchange and lookup tests write. Any crash, sanitizer report,
# leak or hang fails the run; crashing inputs are left in <builddir>/fuzz-artifacts.
# Usage: tests/fuzz/run-fuzzers.sh <builddir> [seconds]
set -eu
src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:?usage: run-fuzzers.sh <builddir> [seconds]}
seconds=${2:-60}
jobs=${QUILLON_JOBS:-2}

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$src" -B "$build" -G Ninja -DQUILLON_WITH_QT=OFF \
    -DQUILLON_FUZZ=ON -DQUILLON_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
ninja -C "$build" -j"$jobs" fuzz_exchange fuzz_record fuzz_directory exchange_tests lookup_tests

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
mkdir -p "$seeds/exchange" "$seeds/record" "$seeds/directory"
# The tests keep every file they write (and the record and directory streams) as seeds.
QUILLON_FUZZ_SEEDS="$seeds" ASAN_OPTIONS=detect_leaks=0 \
  "$build/tests/exchange/exchange_tests" --gtest_brief=1 >/dev/null
QUILLON_FUZZ_SEEDS="$seeds" ASAN_OPTIONS=detect_leaks=0 \
  "$build/tests/lookups/lookup_tests" --gtest_brief=1 >/dev/null
# Inputs that once broke a reader stay seeds for good.
for kind in exchange record directory; do
  if [ -d "$src/tests/fuzz/regressions/$kind" ]; then
    cp "$src/tests/fuzz/regressions/$kind"/* "$seeds/$kind/" 2>/dev/null || true
  fi
done

status=0
for kind in exchange record directory; do
  corpus="$build/fuzz-corpus/$kind"
  artifacts="$build/fuzz-artifacts/$kind/"
  mkdir -p "$corpus" "$artifacts"
  echo "fuzzing the $kind reader for ${seconds}s"
  if ! "$build/tests/fuzz/fuzz_$kind" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -timeout=20 -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts" \
      "$corpus" "$seeds/$kind" >"$build/fuzz-$kind.log" 2>&1; then
    echo "fuzz_$kind FAILED; see $build/fuzz-$kind.log and $artifacts"
    tail -n 40 "$build/fuzz-$kind.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/fuzz-$kind.log" || true
  fi
done
exit $status
