#!/usr/bin/env bash
# talver.dll as a maintenance program loads it, under Wine: the SVP tree of
# the test is drive X: (a sample configuration and an archive of it made by
# GNU tar), the service stand-ins read X:\svpsvc.ini.
#   exports_wine.sh BIN_DIR
set -euo pipefail
bin=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(dirname "$bin")/wine-tests/exports
rm -rf "$work"
config=$work/x/PLAXON/CONFIG
mkdir -p "$config/CNFDATA" "$work/x/PLAXON/TMP" "$work/x/PLAXON/OTHERS/BACKUP" "$work/x/OUT"
printf 'SVPCONF 01020360\r\n' >"$config/CONFIG.INF"
printf 'SERIAL=412345\r\nMODEL=7\r\n' >"$config/DKCPRP.DAT"
printf 'PCMTYPE=3\r\n' >"$config/LMCPT.DAT"
printf '[SVP_MAIN]\r\nType=TQ520\r\nName=SVP1\r\n' >"$config/SVP_MAIN.INI"
{ printf 'HEADBYTES!\x60\x83\x01\x00'; head -c 18 /dev/zero; } >"$config/config4"
for i in 1 2 3; do head -c 200000 /dev/urandom >"$config/CNFDATA/tbl$i.dat"; done
tar czf "$work/x/PLAXON/TMP/sample.tgz" -C "$work/x/PLAXON" CONFIG
# A timed wait of 50 ms: the HDD backup gives its worker 60 of them, room
# enough for the archiver's dialog on a loaded machine (2 ms timed out).
printf '[world]\r\nroot=X:\r\n[services]\r\nwait_ms=50\r\ntrace_file=trace.log\r\n' >"$work/x/svpsvc.ini"

export TALVER_WINE_DRIVES="x=$work/x" TALVER_SVPSVC_INI='X:\svpsvc.ini'
status=0
"$here/wine_run.sh" "$bin/load_exports.exe" 'X:\PLAXON\TMP\sample.tgz' 'X:\OUT\' || status=$?
if [ $status -ne 0 ] && [ -f "$work/x/trace.log" ]; then tail -20 "$work/x/trace.log"; fi
exit $status
