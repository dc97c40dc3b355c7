#!/usr/bin/env bash
# Configures and builds into build/ (or build-asan/ with --sanitize).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build; extra=()
if [ "${1:-}" = "--sanitize" ]; then dir=build-asan; extra=(-DKD_SANITIZE=ON -DKD_BENCH=OFF); fi
# configure every time: folders that appear later are picked up at configure time
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
