#!/usr/bin/env bash
# Remakes the README's pictures: each main page of kdtrelva on the built-in
# simulated sensor, offscreen, into docs/images/. Run after building.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/images
mkdir -p "$out"
shot() {  # NAME PAGE [ACTIONS]
  local args=(-port SIM -connect -loc en -page "$2" -screenshot "$out/$1.png" -wait 2500)
  [ -n "${3:-}" ] && args+=(-action "$3")
  QT_QPA_PLATFORM=offscreen timeout 60 build/bin/kdtrelva "${args[@]}" 2>/dev/null
  echo "$out/$1.png"
}
shot measure 0x10 RefRepeat
shot trigger 0x21
shot camera 0x22 "${KD_CAMERA_ACTION:-CamRefresh}" || shot camera 0x22
shot profile 0x23 RecvProf
shot area 0x24
shot output 0x26
shot common 0x90
