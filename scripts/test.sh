#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. --sanitize runs them
# in a separate build with the address and undefined-behaviour sanitizers,
# --tsan the threaded ones (link, session, simulated sensor) with the thread
# sanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh "$@"
dir=build; labels=()
[ "${1:-}" = "--sanitize" ] && dir=build-asan
# the thread sanitizer watches the code with threads: the link, the session, the sensor
[ "${1:-}" = "--tsan" ] && { dir=build-tsan; labels=(-L 'link|session|sim'); }
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export TSAN_OPTIONS="halt_on_error=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600 "${labels[@]}"
