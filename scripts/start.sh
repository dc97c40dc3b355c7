#!/usr/bin/env bash
# Installs what is missing, builds, and starts the desktop program on the
# built-in simulated sensor (extra arguments are passed on).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
if [ -x build/bin/kdtrelva ]; then
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "start.sh: no display found (DISPLAY is not set). Run it in a desktop session, or" >&2
    echo "  QT_QPA_PLATFORM=offscreen build/bin/kdtrelva -port SIM -connect -screenshot shot.png -wait 2000" >&2
    echo "  saves a picture of the main window without one." >&2
    exit 1
  fi
  exec build/bin/kdtrelva -port SIM -connect "$@"
fi
exec build/bin/kdctl "${@:---help}"
