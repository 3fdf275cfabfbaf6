#!/usr/bin/env bash
# talver.dll exports exactly the names and ordinals of exports/talver.def
# (the decorated WEP under its own name), read from the DLL's export table.
#   exports_objdump.sh TALVER_DLL
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
objdump=$(command -v x86_64-w64-mingw32-objdump) || { echo "exports_objdump: no objdump"; exit 1; }

# Expected: "ORDINAL NAME" from the module-definition file.
expected=$(sed -nE 's/^[[:space:]]+([^=[:space:]]+)(=[^[:space:]]+)?[[:space:]]+@([0-9]+).*/\3 \1/p' \
  "$repo/exports/talver.def" | sort)
# Actual: the ordinal base and the name table's "[index] name" lines.
dump=$("$objdump" -p "$1")
base=$(sed -nE 's/.*Ordinal Base ([0-9]+).*/\1/p' <<<"$dump" | head -1)
actual=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
  sed -nE "s/^[[:space:]]*\[ *([0-9]+)\] (.+)$/\1 \2/p" |
  while read -r index name; do echo "$((base + index)) $name"; done | sort)

if [ "$expected" != "$actual" ]; then
  echo "exports_objdump: the export table differs from exports/talver.def"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports_objdump: $(wc -l <<<"$actual") exports at their ordinals (base $base)"
