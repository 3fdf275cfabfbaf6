#!/usr/bin/env bash
# The dynamic symbol table of libtalver holds exactly the 21 exports of the
# Windows build's list (exports/talver.def) and the host API, and the public
# header declares them.
set -euo pipefail
lib=$2
differ() { # WHAT WANT GOT
  [ "$2" = "$3" ] && return
  echo "$1 differ from the export list:"
  diff <(echo "$2") <(echo "$3") || true
  exit 1
}
def=$(dirname "$0")/../exports/talver.def
want=$(sed -n 's/^ *\([A-Za-z_][A-Za-z0-9_@=]*\) *@1[0-4][0-9]$/\1/p' "$def" | sed 's/.*=//' | sort)
[ "$(echo "$want" | wc -l)" -eq 21 ] || { echo "talver.def does not list 21 ordinals"; exit 1; }
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBVRi]$/ {print $3}' | sort)
# The host API: TalverHost_* and, for C++ hosts, the classes of namespace host.
exports=$(echo "$actual" | grep -v -e '^TalverHost_' -e '^_ZN4host' -e '^_ZT[VIS]N4host' || true)
differ "exported symbols" "$want" "$exports"
# The header declares exactly these exports, and only host API functions
# that the library has.
header=$(dirname "$0")/../include/talver.h
declared=$(sed -n 's/^TALVER_API .*[ *]\([A-Za-z_][A-Za-z0-9_]*\)(.*/\1/p' "$header" | sort)
differ "talver.h's exports" "$want" "$(echo "$declared" | grep -v '^TalverHost_' || true)"
for name in $(echo "$declared" | grep '^TalverHost_'); do
  grep -qx "$name" <<<"$actual" || { echo "talver.h declares $name, which the library lacks"; exit 1; }
done
echo "exports: $(echo "$exports" | wc -l), host API: $(echo "$actual" | grep -c '^TalverHost_')"
