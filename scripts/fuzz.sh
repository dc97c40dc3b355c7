#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each for a short
# time (FUZZ_SECONDS, default 10), starting from the seeds in fuzz/seeds/NAME
# (taken from the tests' inputs) and the corpus of earlier runs. A crash or
# sanitizer report fails the run. FUZZ_ONLY=NAME runs one target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
secs="${FUZZ_SECONDS:-10}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKD_FUZZ=ON -DKD_SANITIZE=ON \
  -DKD_GUI=OFF -DKD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzzers -j"$(nproc)"
mkdir -p build-fuzz/artifacts
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
for f in build-fuzz/fuzz/*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  name="$(basename "$f")"
  [ -n "${FUZZ_ONLY:-}" ] && [ "$FUZZ_ONLY" != "$name" ] && continue
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  dirs=("$corpus")
  [ -d "fuzz/seeds/$name" ] && dirs+=("fuzz/seeds/$name")
  echo "fuzzing $name for ${secs}s"
  "$f" "${dirs[@]}" -max_total_time="$secs" -artifact_prefix=build-fuzz/artifacts/ \
    -print_final_stats=1 >"build-fuzz/$name.log" 2>&1 || { tail -40 "build-fuzz/$name.log"; exit 1; }
  grep -E '^stat::number_of_executed_units' "build-fuzz/$name.log" | sed "s/^/  $name: /" || true
done
echo "fuzz targets ran clean"
