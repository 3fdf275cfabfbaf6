#!/usr/bin/env bash
# The system's dialogs under Wine, answered by dialog_operator.exe's scripted
# operator: the SVP is drive X: (a sample configuration), A: a blank backup
# medium (with a backup of another controller), D: a CD-R with the software of model 6470, T: the target of a setup.
# With TALVER_SHOTS=DIR (a host folder) each dialog is saved there as a PNG.
#   dialogs_wine.sh BIN_DIR
# Incompressible tables, so the progress dialog stays up long enough to be
# seen (and, for its picture, longer).
size=1500000
[ -n "${TALVER_SHOTS:-}" ] && size=8000000
source "$(dirname "$0")/svp_on_x.sh" "$1" dialogs 4 $size
mkdir -p "$work/a" "$work/t/SVP/TMP" "$work/d/software/R_D/647060"
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
  dkcf_table "$work/tables"
  head -c 50000 /dev/urandom | base64 >"$work/tables/5"
  "$svpconf" gpfm make "$work/x/OUT/b.gpfm" --from "$work/tables" >/dev/null
fi
export TALVER_WINE_DRIVES="a=$work/a d=$work/d t=$work/t"
if [ -n "${TALVER_SHOTS:-}" ]; then
  mkdir -p "$TALVER_SHOTS"
  shots=$(realpath "$TALVER_SHOTS")
  export TALVER_SHOTS="Z:${shots//\//\\}"  # Wine's Z: is the host's /
fi
wine_on_x 2 30 "$bin/dialog_operator.exe"
