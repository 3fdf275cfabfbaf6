# Sourced by the Wine scripts with BIN_DIR NAME TABLES SIZE: bin= BIN_DIR,
# work= BUILD/wine-tests/NAME made afresh, drive X: in it the drive of an SVP
# (tests/support/lib.sh's svp_drive, with TABLES tables of SIZE random bytes)
# and X:\PLAXON\TMP\sample.tgz, an archive of its CONFIG by GNU tar.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=$(realpath "$1")
source "$here/../support/lib.sh"
set -eo pipefail
rm -rf "$work"
trap - EXIT # the tree stays for a look after a failure
work=$(dirname "$bin")/wine-tests/$2
rm -rf "$work"
svp_drive "$work/x"
mkdir -p "$work/x/OUT"
for ((i = 1; i <= $3; i++)); do head -c "$4" /dev/urandom >"$config/CNFDATA/tbl$i.dat"; done
tar czf "$work/x/PLAXON/TMP/sample.tgz" -C "$work/x/PLAXON" CONFIG

# wine_on_x WAIT_MS LINES PROGRAM ARGS...: PROGRAM under Wine, the stand-ins
# reading X:\svpsvc.ini (root X:, a timed wait of WAIT_MS, the trace in X:),
# with drive X: and those of TALVER_WINE_DRIVES; exits with its status, after
# the trace's last LINES when it fails.
wine_on_x() {
  local status=0 lines=$2
  printf '[world]\r\nroot=X:\r\n[services]\r\nwait_ms=%s\r\ntrace_file=trace.log\r\n' "$1" \
    >"$work/x/svpsvc.ini"
  export TALVER_WINE_DRIVES="x=$work/x ${TALVER_WINE_DRIVES:-}" TALVER_SVPSVC_INI='X:\svpsvc.ini'
  shift 2
  "$here/wine_run.sh" "$@" || status=$?
  if [ $status -ne 0 ] && [ -f "$work/x/trace.log" ]; then tail -"$lines" "$work/x/trace.log"; fi
  exit $status
}
