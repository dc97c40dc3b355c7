#!/usr/bin/env bash
# Configures and builds into build/ (build-asan/ with --sanitize, build-tsan/ with --tsan).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build; extra=()
if [ "${1:-}" = "--sanitize" ]; then dir=build-asan; extra=(-DKD_SANITIZE=ON -DKD_BENCH=OFF); fi
# --tsan: the core without windows, with the thread sanitizer
if [ "${1:-}" = "--tsan" ]; then dir=build-tsan; extra=(-DKD_TSAN=ON -DKD_GUI=OFF -DKD_BENCH=OFF); fi
# configure every time: folders that appear later are picked up at configure time
cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
targets=()
# the thread-sanitized build runs the link, session and simulated-sensor tests only
[ "$dir" = build-tsan ] && targets=(--target threaded_tests)
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
