#!/usr/bin/env bash
# completion_test.sh COMPLETION-FILE KDCTL-DIR: the completion of kdctl, with
# stand-ins for the bash-completion helpers it uses.
set -u
PATH="$2:$PATH"
_init_completion() {
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD - 1]}"
}
_filedir() { COMPREPLY=(FILE); }
# shellcheck source=/dev/null
source "$1"

# The candidates for the last word of LINE (a trailing blank starts a new word), sorted.
candidates() {
    read -ra COMP_WORDS <<<"$1"
    [[ "$1" == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kdctl
    printf '%s\n' "${COMPREPLY[@]}" | sort | xargs
}

fail=0
while IFS='|' read -r line want; do
    got="$(candidates "$line")"
    [[ "$got" == "$want" ]] || { echo "FAIL: '$line' gave '$got', wanted '$want'"; fail=1; }
done <<'CASES'
kdctl sto|storage
kdctl --port SIM stor|storage
kdctl storage |fetch profiles start status stop
kdctl storage start |data profile
kdctl storage start d|data
kdctl storage fetch |FILE
kdctl storage stop |
kdctl diff a.kd --s|--sensor
kdctl diff --s|
kdctl apply f.kd --|--banks --keys
kdctl apply f.kd --keys A1.Lef|A1.Left
kdctl apply f.kd --keys Shutter,A1.Lef|Shutter,A1.Left
kdctl apply f.kd --banks 1,S|1,Sys
kdctl memread 0x100 16 --|--mode --wide
kdctl memread 0x100 16 --mode 0x12|0x121
kdctl set TrigActio|TrigAction=
kdctl get --l|--list
kdctl help stor|storage
kdctl --ba|--baud
CASES
exit $fail
