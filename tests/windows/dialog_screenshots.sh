#!/usr/bin/env bash
# Pictures of the system's dialogs as the real dialog manager draws them under
# Wine and Xvfb: runs the scripted operator (dialogs_wine.sh) with
# TALVER_SHOTS and keeps docs/screenshots/dialog-ID.png. A progress dialog
# lasts a moment: the run is repeated (up to three times) until it is caught.
#   tests/windows/dialog_screenshots.sh [BUILD_DIR]     (default build-win)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$repo/build-win}")
out=$repo/docs/screenshots
mkdir -p "$out"
for attempt in 1 2 3; do
  TALVER_SHOTS=$out "$repo/tests/windows/dialogs_wine.sh" "$build/bin" >/dev/null
  missing=0
  for id in 101 106 112 113 114 115; do [ -f "$out/dialog-$id.png" ] || missing=1; done
  [ $missing -eq 0 ] && break
done
ls -l "$out"
