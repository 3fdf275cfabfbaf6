#!/usr/bin/env bash
# talver.dll under Wine as a maintenance program loads it. The SVP tree of
# the test is drive X: (tests/support/lib.sh's svp_drive, tables of random
# bytes, X:\PLAXON\TMP\sample.tgz an archive of its CONFIG by GNU tar), kept
# in BUILD/wine-tests/MODE for a look after a failure; the service stand-ins
# read X:\svpsvc.ini (root X:, the trace in X:, whose last lines a failure
# shows).
#   svp_wine.sh exports BIN_DIR    load_exports.exe calls the exports
#   svp_wine.sh dialogs BIN_DIR    dialog_operator.exe's scripted operator
#                                  answers the system's dialogs; with
#                                  TALVER_SHOTS=DIR each is saved there as a PNG
#   svp_wine.sh shots [BUILD_DIR]  those pictures into docs/screenshots
#                                  (default build-win); a progress dialog lasts
#                                  a moment: tried up to three times
here=$(cd "$(dirname "$0")" && pwd)
mode=$1
if [ "$mode" = shots ]; then
  set -euo pipefail
  out=$(realpath "$here/../../docs/screenshots")
  mkdir -p "$out"
  for attempt in 1 2 3; do
    TALVER_SHOTS=$out "$0" dialogs "$(realpath "${2:-$here/../../build-win}")/bin" >/dev/null
    missing=0
    for id in 101 106 112 113 114 115; do [ -f "$out/dialog-$id.png" ] || missing=1; done
    [ $missing -eq 0 ] && break
  done
  exec ls -l "$out"
fi
bin=$(realpath "$2")
source "$here/../support/lib.sh"
set -eo pipefail
rm -rf "$work"
trap - EXIT
work=$(dirname "$bin")/wine-tests/$mode
rm -rf "$work"
svp_drive "$work/x"
mkdir -p "$work/x/OUT"
# The dialogs' tables are incompressible, so the progress dialog stays up
# long enough to be seen (and, for its picture, longer).
tables=3 size=200000
[ "$mode" = dialogs ] && tables=4 size=1500000
[ -n "${TALVER_SHOTS:-}" ] && size=8000000
for ((i = 1; i <= tables; i++)); do head -c "$size" /dev/urandom >"$config/CNFDATA/tbl$i.dat"; done
tar czf "$work/x/PLAXON/TMP/sample.tgz" -C "$work/x/PLAXON" CONFIG

# A timed wait of 50 ms: the HDD backup gives its worker 60 of them, room
# enough for the archiver's dialog on a loaded machine (2 ms timed out).
wait_ms=50 lines=20 program=("$bin/load_exports.exe" 'X:\PLAXON\TMP\sample.tgz' 'X:\OUT\')
[ "$mode" = exports ] && mkdir -p "$work/x/PLAXON/OTHERS/BACKUP"
if [ "$mode" = dialogs ]; then
  wait_ms=2 lines=30 program=("$bin/dialog_operator.exe")
  # A: a blank backup medium, but for the backup of another controller, so
  # the setup's backup list offers two and the operator chooses; D: a CD-R
  # with the software of model 6470; T: the target of a setup.
  mkdir -p "$work/a/PLAXON/CONFIG/400123" "$work/t/SVP/TMP" "$work/d/software/R_D/647060"
  cp "$work/x/PLAXON/TMP/sample.tgz" "$work/d/software/R_D/647060/svp_conf.tgz"
  cp "$work/x/PLAXON/TMP/sample.tgz" "$work/a/PLAXON/CONFIG/400123/svp_conf.tgz"
  # A backup file whose DKCF carries the default serial number (stored as 1),
  # which the restore cannot compare and asks the confirmation about. The
  # native build's svpconf makes it; without one that scenario is left out.
  svpconf=${TALVER_SVPCONF:-$here/../../build/svpconf}
  if [ -x "$svpconf" ]; then
    dkcf_table "$work/tables"
    head -c 50000 /dev/urandom | base64 >"$work/tables/5"
    "$svpconf" gpfm make "$work/x/OUT/b.gpfm" --from "$work/tables" >/dev/null
  fi
  export TALVER_WINE_DRIVES="a=$work/a d=$work/d t=$work/t"
  if [ -n "${TALVER_SHOTS:-}" ]; then
    mkdir -p "$TALVER_SHOTS"
    shots=$(realpath "$TALVER_SHOTS")
    export TALVER_SHOTS="Z:${shots//\//\\}" # Wine's Z: is the host's /
  fi
fi
printf '[world]\r\nroot=X:\r\n[services]\r\nwait_ms=%s\r\ntrace_file=trace.log\r\n' $wait_ms \
  >"$work/x/svpsvc.ini"
export TALVER_WINE_DRIVES="x=$work/x ${TALVER_WINE_DRIVES:-}" TALVER_SVPSVC_INI='X:\svpsvc.ini'
status=0
"$here/wine_run.sh" "${program[@]}" || status=$?
if [ $status -ne 0 ] && [ -f "$work/x/trace.log" ]; then tail -$lines "$work/x/trace.log"; fi
exit $status
