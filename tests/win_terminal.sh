#!/bin/bash
# The terminal operator in a real pseudo-terminal (tmux): svpconf draws a
# progress dialog as a live bar with the entry being processed, draws the
# confirmation dialog with its caption, drawn message and controls, and takes
# the operator's typed answers; the archiver's own dialog of an HDD backup
# draws the same bar, and at 80 columns a long unpack redraws one line that
# fits; `svpconf rancher` shows message 4701 and logs the answer line.
if ! command -v tmux >/dev/null 2>&1; then
  echo "SKIP: tmux is not installed"
  exit 77
fi
source "$(dirname "$0")/support/lib.sh"
runs=0
socket="talver-win-$$-0"
# Each run has a tmux server of its own, the last one alive at the end.
trap 'tmux -L "$socket" kill-server >/dev/null 2>&1; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
shown() { tmux -L "$socket" capture-pane -p -S -"${1:-200}" -t t 2>/dev/null; }
fail() {
  printf 'FAIL: %s\n---- screen ----\n%s\n' "$*" "$(shown)" >&2
  exit 1
}
# wait_for [-t SECONDS] PATTERN...: waits (20 s each) until the screen, with
# its history, shows each pattern (grep -E) in turn.
wait_for() {
  local seconds=20 pattern i
  [ "$1" != -t ] || { seconds=$2 && shift 2; }
  for pattern; do
    for ((i = 0; i < seconds * 10; i++)); do
      shown | grep -Eq -- "$pattern" && break
      sleep 0.1
    done
    ((i < seconds * 10)) || fail "the screen never showed: $pattern"
  done
}
# type_in TEXT PATTERN...: types TEXT and Enter, then waits for each pattern.
type_in() {
  tmux -L "$socket" send-keys -t t "$1" Enter
  shift
  wait_for "$@"
}

sample_world "$work/world"
world=$TALVER_WORLD
# svpconf ARGS at a terminal of 120 columns (COLUMNS_OF_RUN).
on_screen() {
  tmux -L "$socket" kill-server >/dev/null 2>&1
  socket="talver-win-$$-$((++runs))"
  tmux -L "$socket" new-session -d -s t -x "${COLUMNS_OF_RUN:-120}" -y 50 \
    "env -u CI -u TALVER_NO_TERMINAL TALVER_WORLD='$world' '$SVPCONF' $*; echo EXIT=\$?; sleep 600" ||
    fail "tmux could not start"
}

# ---- progress bar, then the confirmation dialog --------------------------------
on_screen try-dialogs --steps 40 --pause 40
# The live bar shows part of the work with the entry name, then all of it.
wait_for '\[TALVER Wait\.\.\.[^]]*\]  \[#*\.+\]  [0-9]+% [0-9]+/40 .* CONFIG/sample0[0-9][0-9]\.dat' \
  '\[#+\]  100% 40/40  done in 0:[0-9]+  CONFIG/sample039\.dat' \
  '^\+== Confirm Configuration Information.*\(dialog 117\)' \
  '^\| Configuration backup and restore library of the SVP\.' '\[1038\] \[ \] Confirmed' \
  '\[1\] <OK> \(default\)  \(disabled\)'
# OK is disabled until "Confirmed" is ticked.
type_in "click 1" '^Not possible: click 1'
type_in "tick 1038" '\[1038\] \[x\] Confirmed' '\(Enter: OK\)'
type_in "" '^result=1 word=0x0000' '^EXIT=0'

# ---- cancel through the close box --------------------------------------------------
on_screen try-dialogs --steps 3 --pause 10
wait_for '\(dialog 117\)'
type_in "close" '^result=2 word=0x0000' '^EXIT=2'

# ---- the archiver's own dialog of an HDD backup in display mode 2 -------------------
on_screen hdd-backup --mode 2
wait_for '^\[Creating archive\]  \[#+\]  100% ([0-9]+)/\1 .*done in .*CONFIG/' \
  '^result=1 word=0x0000' '^EXIT=0'

# ---- at 80 columns, 1,200 entries with 60-character names redraw one line ---------
many="$work/world/drives/c/PLAXON/CONFIG/many"
mkdir -p "$many" "$work/world/drives/c/UNPACKED"
for ((i = 1000; i < 2200; i++)); do : >"$many/entry_${i}_$(printf 'n%.0s' {1..45}).dat"; done
check 0 -- hdd-backup
COLUMNS_OF_RUN=80 on_screen unpack "'C:\PLAXON\DIFF\svp_conf.tgz'" "'C:\UNPACKED\'"
wait_for -t 120 '^EXIT=0'
screen=$(shown 2000 | grep -v '^$')
echo "$screen" | head -1 | grep -Eq '^(\[TALVER Wait[^]]*\]  )?100% ([0-9]+)/\2  .*done in [0-9:]+  CONFIG/' ||
  fail "the unpack's last progress line"
[ "$(echo "$screen" | wc -l)" -eq 3 ] || fail "the progress line was not redrawn in place"
rm -rf "$many"

# ---- the rancher's message 4701 and its answer line --------------------------------
on_screen rancher
wait_for 'SVP Message 4701' 'Configuration backup and restore library of the SVP\.'
type_in "" '^result=1 word=0x0000'
"$SVPCONF" trace | grep -Fq '### [MSG] ID=4701,OK button was selected.' ||
  fail "the trace holds no answer line of message 4701"
# ---- Enter keeps the backup on the medium: 3351's default is No --------------------
check 0 -- --drive E backup-media
medium="$work/world/drives/e/PLAXON/CONFIG"
files_of_e() { find "$medium" -type f -exec md5sum {} + | sort; }
before=$(files_of_e)
on_screen --drive E backup-media
wait_for 'SVP Message 3351' '\[y/N\] >'
type_in "" '^result=2 word=0x4000' '^EXIT=2'
[ "$(files_of_e)" = "$before" ] || fail "Enter on 3351 changed the backup on the medium"

# ---- answers given as options are honoured at a terminal too, and questions
# ---- reach the terminal when stdout is a pipe ----------------------------------------
on_screen --drive E --answer 3351=no backup-media '|' cat
wait_for '^result=2 word=0x4000'
shown | grep -q 'dialog 106\|SVP Message 3351' && fail "an answered question was asked"
on_screen backup-media '|' cat
wait_for '^\+== Select Media.*\(dialog 106\)'
type_in "close" '^result=2 word=0x4000'
[ "$(files_of_e)" = "$before" ] || fail "a cancelled backup changed the medium"
echo "PASS"
