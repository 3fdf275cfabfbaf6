#!/usr/bin/env bash
# Runs a Windows program of the Windows build under wine64:
#
#   wine_run.sh PROGRAM.exe [ARGS...]
#
# The Wine prefix is private to the build folder (WINEPREFIX=BUILD/wineprefix,
# made on first use) and TALVER_WINE_DRIVES="x=/host/dir y=/other" maps drive
# letters to test folders, as a world's drives do on Linux. Without a display
# the program runs under Xvfb (xvfb-run), so its dialogs are real windows.
# The build folder is the program folder's parent unless TALVER_WINE_BUILD
# names it, and the prefix is BUILD/wineprefix unless TALVER_WINEPREFIX names
# another. Skipped (77) without wine unless TALVER_REQUIRE_WINE is set.
#
#   wine_run.sh --group talver_tests.exe --gtest_filter=...
#
# runs a group of the behaviour tests on a prefix of its own (BUILD/
# wineprefix-b0, -b1, ...: whichever is free), since a test world's drive
# letters and C:\PLAXON belong to the prefix. A group that outlives its
# bound is stopped and tried once more.
set -euo pipefail
group=
if [ "$1" = --group ]; then group=1 && shift; fi
program=$(realpath "$1")
shift
build=${TALVER_WINE_BUILD:-$(dirname "$(dirname "$program")")}
# A group takes well under a minute here; one that takes this long is Wine's
# own server or devices no longer answering (the tests bound each of their
# runs and end the process themselves): stopped and run once more on a fresh
# Wine server (ctest's bound is 900 s).
bound=${TALVER_WINE_GROUP_SECONDS:-400}
while [ -n "$group" ]; do
  for ((slot = 0; slot < ${TALVER_WINE_SLOTS:-2}; ++slot)); do
    exec 8>"$build/wineprefix-b$slot.slot"
    flock -n 8 || continue
    export TALVER_WINEPREFIX=$build/wineprefix-b$slot
    for try in 1 2; do
      status=0
      timeout -k 10 "$bound" "$0" "$program" "$@" || status=$?
      if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "wine_run: try $try did not end within $bound s; Wine's processes:"
        ps -eo pid,stat,etime,args | grep -i -E '[w]ine|[X]vfb' || true
      else
        try= # ended
      fi
      # The prefix's own server goes with the group.
      WINEPREFIX=$TALVER_WINEPREFIX wineserver -k 2>/dev/null || true
      [ -n "$try" ] || break
    done
    exit $status
  done
  sleep 1
done

if ! command -v wine >/dev/null || ! command -v xvfb-run >/dev/null; then
  echo "wine_run: wine or xvfb-run is missing (packages wine, wine64, xvfb)"
  [ -n "${TALVER_REQUIRE_WINE:-}" ] && exit 1
  exit 77
fi
export WINEPREFIX=${TALVER_WINEPREFIX:-$build/wineprefix} WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: the programs need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

display() {  # runs a command on the display, or on a private Xvfb one
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1024x768x24" "$@"; fi
}

# One prefix for every test of the build; the first one makes it.
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.talver-ready" ]; then
  display wineboot -i >/dev/null 2>&1
  # Xvfb has no window manager: Wine draws the windows' frames and captions.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # A crash ends the program with its backtrace, never a crash window that
  # nobody closes.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.talver-ready"
fi
for mapping in ${TALVER_WINE_DRIVES:-}; do
  letter=${mapping%%=*}
  mkdir -p "${mapping#*=}"
  ln -sfn "$(realpath "${mapping#*=}")" "$WINEPREFIX/dosdevices/${letter,,}:"
done
flock -u 9

display wine "$program" "$@"
