#!/usr/bin/env bash
# Runs a group of the behaviour tests under Wine:
#
#   behaviour_wine.sh talver_tests.exe --gtest_filter=...
#
# Each running group takes a Wine prefix of its own (BUILD/wineprefix-b0,
# -b1, ...: whichever is free), since a test world's drive letters and C:\PLAXON
# belong to the prefix; the first group on a prefix makes it. A group that
# outlives its bound is stopped and tried once more.
set -euo pipefail
program=$(realpath "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
build=$(dirname "$(dirname "$program")")
slots=${TALVER_WINE_SLOTS:-2}
# A group takes well under a minute here; one that takes this long is
# stopped and run once more on a fresh Wine server (ctest's bound is 900 s).
bound=${TALVER_WINE_GROUP_SECONDS:-400}
while :; do
  for ((slot = 0; slot < slots; ++slot)); do
    exec 8>"$build/wineprefix-b$slot.slot"
    if flock -n 8; then
      export TALVER_WINEPREFIX=$build/wineprefix-b$slot
      for try in 1 2; do
        status=0
        timeout -k 10 "$bound" "$here/wine_run.sh" "$program" "$@" || status=$?
        if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
          # The tests bound each of their runs and end the process
          # themselves; a group that outlives its bound is Wine's own
          # server or devices no longer answering.
          echo "behaviour_wine: try $try did not end within $bound s; Wine's processes:"
          ps -eo pid,stat,etime,args | grep -i -E '[w]ine|[X]vfb' || true
        fi
        # The prefix's own server goes with the group.
        WINEPREFIX=$TALVER_WINEPREFIX wineserver -k 2>/dev/null || true
        [ "$status" -eq 124 ] || [ "$status" -eq 137 ] || break
      done
      exit $status
    fi
  done
  sleep 1
done
