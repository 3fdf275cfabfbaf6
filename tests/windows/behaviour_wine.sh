#!/usr/bin/env bash
# Runs a group of the behaviour tests under Wine:
#
#   behaviour_wine.sh talver_tests.exe --gtest_filter=...
#
# Each running group takes a Wine prefix of its own (BUILD/wineprefix-b0,
# -b1, ...: whichever is free), since a test world's drive letters and C:\PLAXON
# belong to the prefix; the first group on a prefix makes it.
set -euo pipefail
program=$(realpath "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
build=$(dirname "$(dirname "$program")")
slots=${TALVER_WINE_SLOTS:-2}
while :; do
  for ((slot = 0; slot < slots; ++slot)); do
    exec 8>"$build/wineprefix-b$slot.slot"
    if flock -n 8; then
      export TALVER_WINEPREFIX=$build/wineprefix-b$slot
      status=0
      "$here/wine_run.sh" "$program" "$@" || status=$?
      # The prefix's own server goes with the group.
      WINEPREFIX=$TALVER_WINEPREFIX wineserver -k 2>/dev/null || true
      exit $status
    fi
  done
  sleep 1
done
