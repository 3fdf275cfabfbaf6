#!/bin/bash
# Every question a command asks is in its table (svpconf questions COMMAND).
# Each row runs on the sample world without a terminal; every question
# refused (trace line "ERR No answer: ...") is looked up in the table, then
# answered and the row run again, until none is (or the same one comes back).
# The JSON of a table: tests/json_output.sh.
source "$(dirname "$0")/support/lib.sh"
sample_world "$work/w"

# A backup file whose DKCF carries the default serial number: the restore
# asks for the confirmation.
mkdir -p "$c/OUT"
dkcf_table "$work/tables"
timeout 60 "$SVPCONF" gpfm make "$c/OUT/b.gpfm" --from "$work/tables" >/dev/null 2>&1 || fail "gpfm make"

# The answer to a refused question: its first choice; a drive or a backup:
# the last one (the removable drive, the newest backup).
answer_for() { # KIND ID CHOICES
  case "$1 $2" in
    "dialog 106") echo "--drive ${3##*|}" ;;
    "dialog 112") echo "--backup ${3##*|}" ;;
    "dialog 113") echo "--key XBKZNRTQ" ;;
    "dialog 114") echo "--setup-source cdr" ;;
    "dialog 115") echo "--file C:\\OUT\\b.gpfm" ;;
    "dialog 117") echo "--confirm" ;;
    message*) echo "--answer $2=${3%%|*}" ;;
  esac
}

walk() { # COMMAND ARGS...
  local table answers=() seen=" " out line kind id choices
  table=$(timeout 60 "$SVPCONF" questions "$1") || fail "questions $1"
  for _ in 1 2 3 4 5 6 7 8; do
    : >"$work/w/trace.log"
    out=$(timeout 60 "$SVPCONF" "${answers[@]}" "$@" </dev/null 2>&1)
    # Every refusal of the run, as its trace line tells it.
    grep -oE 'ERR No answer: (message|dialog) [0-9]+' "$work/w/trace.log" | while read -r _ _ _ k i; do
      grep -q "^$k $i " <<<"$table" || fail "$*: $k $i is asked but not in its table"
    done || exit 1
    line=$(grep -E '^svpconf: (message|dialog) [0-9]+ ' <<<"$out" | head -1)
    [ -n "$line" ] || return 0
    read -r _ kind id _ <<<"$line"
    case "$seen" in *" $kind$id "*) return 0 ;; esac
    seen="$seen$kind$id "
    if [ "$kind" = message ]; then
      choices=$(grep -oE -- "--answer $id=[a-z|]+" <<<"$line" | head -1)
      choices=${choices#*=}
    else
      choices=$(grep -oE '\([^()]*\)$' <<<"$line" | tr -d '()')
      choices=${choices#the choices: }
    fi
    # shellcheck disable=SC2207
    answers+=($(answer_for "$kind" "$id" "$choices"))
  done
}

# The rows: each command that runs the system, as a script would call it.
walk backup-media
walk backup-media --drive E
walk backup-media --drive E
walk restore-media
walk restore-media --drive E
walk install-model --selector 7 --mode 0
walk install-model --selector 7 --mode 2
walk setup 'D:\' 'E:\SVP\'
walk setup 'D:\' 'E:\SVP\' --setup-source backup
walk restore-gpfm
walk select-media --request-kind 5
walk select-media --request-kind 5 --volume 1 --in 'E:\'
walk select-media --request-kind 8
walk try-dialogs --steps 2 --pause 1
for cmd in rancher compressed hdd-backup update-2nd config-type; do walk "$cmd"; done
walk check 'C:\PLAXON\CONFIG\config4'
walk unpack 'C:\none.tgz' 'C:\PLAXON\TMP\X\'

echo "questions: ok"
