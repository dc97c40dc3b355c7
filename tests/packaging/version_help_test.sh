#!/usr/bin/env bash
# version_help_test.sh VERSION KDCTL KDSIM [KDTRELVA]
set -u
want="$1"; shift
kdctl="$1"; fail=0
check() { echo "$2" | grep -q -- "$3" || { echo "FAIL: $1: got '$2', wanted '$3'"; fail=1; }; }
for p in "$@"; do
  out="$(QT_QPA_PLATFORM=offscreen timeout 10 "$p" --version 2>&1)"; rc=$?
  check "$(basename "$p") --version (rc $rc)" "$out rc=$rc" "(KD Trelva) $want rc=0"
done
# kdsim --version with a value still sets the simulated sensor's version words
exec 3< <(exec "$2" --version 53:6D:51 --no-pace)
sim=$!
read -r -t 5 out <&3
kill "$sim" 2>/dev/null
check "kdsim --version FF:BB:SS starts the sensor" "$out" "^/dev/pts/"
out="$("$kdctl" help get 2>&1)"; rc=$?
check "kdctl help get" "$out rc=$rc" "get KEY"
check "kdctl help get shows the options" "$out" "--port NAME"
# every command that --help lists explains itself with an example of its own
for c in $("$kdctl" --help | awk '/^  [a-z]/ {print $1}'); do
  out="$("$kdctl" help "$c" 2>&1)"
  check "kdctl help $c has an example" "$out" "^  kdctl \\(.* \\)\\?$c\\( \\|$\\)"
  check "kdctl help $c explains" "$(wc -l <<<"$out")" "^[1-9][0-9]$"
done
out="$("$kdctl" help nosuch 2>&1)"; rc=$?
check "kdctl help nosuch" "rc=$rc $out" "rc=2 kdctl: unknown command 'nosuch'"
exit $fail
