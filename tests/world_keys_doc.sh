#!/usr/bin/env bash
# docs/world.md lists the keys of a world file as svpconf prints them from
# the loader's own table: the two never drift apart.
set -uo pipefail
cd "$(dirname "$0")/.."
SVPCONF=$1
listed=$(sed -n '/^| section | key | value | meaning |$/,/^$/p' docs/world.md | sed '/^$/d')
printed=$(timeout 60 "$SVPCONF" init --keys)
if [ "$listed" != "$printed" ]; then
  echo "FAIL: docs/world.md's key list differs from 'svpconf init --keys':"
  diff <(echo "$listed") <(echo "$printed")
  exit 1
fi
echo "world_keys_doc: $(echo "$printed" | wc -l) lines agree"
