#!/usr/bin/env bash
# Remakes the README's pictures: each main page of kdtrelva, offscreen, into
# docs/images/. Run after building. The settings pages show the built-in
# simulated sensor; the storage pages show a kdsim on a pseudo-terminal that
# kdctl has made record values and profiles first, so that there is something
# to download. A private home keeps the operator's own settings out of it.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${SHOTS_DIR:-docs/images}"  # SHOTS_DIR: another folder, for trying
bin=build/bin
mkdir -p "$out"
tmp="$(mktemp -d)"
sim=""
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
mkdir -p "$HOME"

# The measurement page enables its buttons only after its first tick.
settle="wait:800,"

shot() {  # NAME PAGE [ACTIONS [PORT [WAIT]]]
  local args=(-port "${4:-SIM}" -connect -loc en -page "$2" -screenshot "$out/$1.png"
              -wait "${5:-2500}")
  [ -n "${3:-}" ] && args+=(-action "$3")
  if ! timeout 60 "$bin/kdtrelva" "${args[@]}" 2>"$tmp/err"; then
    echo "$out/$1.png FAILED: $(tr '\n' ' ' <"$tmp/err")" >&2
    return 1
  fi
  echo "$out/$1.png"
}
shot measure 0x10 "${settle}RefRepeat"
shot trigger 0x21
shot camera 0x22 "${KD_CAMERA_ACTION:-CamRefresh}" || shot camera 0x22
shot profile 0x23 RecvProf
shot area 0x24 RecvProf
shot operation 0x25
shot output 0x26
shot common 0x90

# The storage pages, after a recording on a kdsim that keeps it between runs.
link="$tmp/kd"
"$bin/kdsim" --pace --latency-us 100 --link "$link" >"$tmp/kdsim.out" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
kdctl() { "$bin/kdctl" --port "$link" "$@" >/dev/null; }
kdctl set StrBuf=1000 StrSmp=10 StrStt=0
kdctl storage start data
sleep 3
kdctl storage stop
shot storage_settings 0x31 "" "$link" 1000
shot storage_data 0x32 StrDisplRecv "$link" 3000
kdctl set StrBuf=200
kdctl storage start profile
sleep 3
kdctl storage stop
shot storage_profiles 0x33 StrProflRecv "$link" 4000
