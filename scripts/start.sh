#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program on the
# built-in simulated sensor (extra arguments are passed on).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
if [ -x build/bin/kdtrelva ]; then
  exec build/bin/kdtrelva -port SIM -connect "$@"
fi
exec build/bin/kdctl "${@:---help}"
