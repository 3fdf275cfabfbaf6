#!/usr/bin/env bash
# talver.dll as a maintenance program loads it, under Wine: the SVP tree of
# the test is drive X: (a sample configuration and an archive of it made by
# GNU tar), the service stand-ins read X:\svpsvc.ini.
#   exports_wine.sh BIN_DIR
source "$(dirname "$0")/svp_on_x.sh" "$1" exports 3 200000
mkdir -p "$work/x/PLAXON/OTHERS/BACKUP"
# A timed wait of 50 ms: the HDD backup gives its worker 60 of them, room
# enough for the archiver's dialog on a loaded machine (2 ms timed out).
wine_on_x 50 20 "$bin/load_exports.exe" 'X:\PLAXON\TMP\sample.tgz' 'X:\OUT\'
