#!/usr/bin/env bash
# The system's dialogs under Wine, answered by dialog_operator.exe's scripted
# operator: the SVP is drive X: (a sample configuration), A: a blank backup
# medium (with a backup of another controller), D: a CD-R with the software of model 6470, T: the target of a setup.
# With TALVER_SHOTS=DIR (a host folder) each dialog is saved there as a PNG.
#   dialogs_wine.sh BIN_DIR
set -euo pipefail
bin=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(dirname "$bin")/wine-tests/dialogs
rm -rf "$work"
config=$work/x/PLAXON/CONFIG
mkdir -p "$config/CNFDATA" "$work/x/PLAXON/TMP" "$work/x/OUT" "$work/a" "$work/t/SVP/TMP" \
  "$work/d/software/R_D/647060"
printf 'SVPCONF 01020360\r\n' >"$config/CONFIG.INF"
printf 'SERIAL=412345\r\nMODEL=7\r\n' >"$config/DKCPRP.DAT"
printf 'PCMTYPE=3\r\n' >"$config/LMCPT.DAT"
printf '[SVP_MAIN]\r\nType=TQ520\r\nName=SVP1\r\n' >"$config/SVP_MAIN.INI"
{ printf 'HEADBYTES!\x60\x83\x01\x00'; head -c 18 /dev/zero; } >"$config/config4"
# Incompressible tables, so the progress dialog stays up long enough to be
# seen (and, for its picture, longer).
size=1500000
[ -n "${TALVER_SHOTS:-}" ] && size=8000000
for i in 1 2 3 4; do head -c $size /dev/urandom >"$config/CNFDATA/tbl$i.dat"; done
tar czf "$work/x/PLAXON/TMP/sample.tgz" -C "$work/x/PLAXON" CONFIG
cp "$work/x/PLAXON/TMP/sample.tgz" "$work/d/software/R_D/647060/svp_conf.tgz"
# The medium in A: holds the backup of another controller, so the setup's
# backup list offers two and the operator chooses.
mkdir -p "$work/a/PLAXON/CONFIG/400123"
cp "$work/x/PLAXON/TMP/sample.tgz" "$work/a/PLAXON/CONFIG/400123/svp_conf.tgz"
# A backup file whose DKCF carries the default serial number (stored as 1),
# which the restore cannot compare and asks the confirmation about. The
# native build's svpconf makes it; without one that scenario is left out.
svpconf=${TALVER_SVPCONF:-$here/../../build/svpconf}
if [ -x "$svpconf" ]; then
  mkdir -p "$work/tables"
  head -c 13160 /dev/zero >"$work/tables/63"
  put() { printf "$2" | dd of="$work/tables/63" bs=1 seek="$1" conv=notrunc status=none; }
  put 16 '\001'
  put 6484 '02030460'
  put 13088 'CFREV'
  head -c 50000 /dev/urandom | base64 >"$work/tables/5"
  "$svpconf" gpfm make "$work/x/OUT/b.gpfm" --from "$work/tables" >/dev/null
fi
printf '[world]\r\nroot=X:\r\n[services]\r\nwait_ms=2\r\ntrace_file=trace.log\r\n' >"$work/x/svpsvc.ini"

export TALVER_WINE_DRIVES="x=$work/x a=$work/a d=$work/d t=$work/t" TALVER_SVPSVC_INI='X:\svpsvc.ini'
if [ -n "${TALVER_SHOTS:-}" ]; then
  mkdir -p "$TALVER_SHOTS"
  shots=$(realpath "$TALVER_SHOTS")
  export TALVER_SHOTS="Z:${shots//\//\\}"  # Wine's Z: is the host's /
fi
status=0
"$here/wine_run.sh" "$bin/dialog_operator.exe" || status=$?
if [ $status -ne 0 ] && [ -f "$work/x/trace.log" ]; then tail -30 "$work/x/trace.log"; fi
exit $status
