#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each for a short
# time (FUZZ_SECONDS, default 20). A crash or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
secs="${FUZZ_SECONDS:-20}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKD_FUZZ=ON -DKD_SANITIZE=ON \
  -DKD_GUI=OFF -DKD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzzers -j"$(nproc)"
mkdir -p build-fuzz/artifacts
for f in build-fuzz/fuzz/*; do
  [ -f "$f" ] && [ -x "$f" ] || continue
  echo "fuzzing $(basename "$f") for ${secs}s"
  "$f" -max_total_time="$secs" -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=0 \
    >"build-fuzz/$(basename "$f").log" 2>&1 || { tail -40 "build-fuzz/$(basename "$f").log"; exit 1; }
done
echo "fuzz targets ran clean"
