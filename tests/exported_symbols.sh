#!/usr/bin/env bash
# The dynamic symbol table of libtalver holds exactly the exports and the
# host API, and the public header declares them.
set -euo pipefail
lib=$2
expected="dsvp_TalverRancher dsvp_TalverBackup dsvp_TalverIsUncompressed dsvCnf_ConfigIsUpdate
dsvCnf_ConfigIsHddBackup dsvCnf_ConfigUpdateTo2ndSVP dsvCnf_SetupConfigInSVP dsvCnf_CheckConfigFile
dsvp_TalverIsCompressed talver_ReadConfig4 dsvCnf_GetStrConfigType _WEP_4 Talver_CloseMemoryMapFile
Talver_CreateMemoryMapFile Talver_OpenMemoryMapFile Talver_ReadMemoryMapFile Talver_WriteMemoryMapFile
WEP dsvCnf_OffSvpAllConf dsvCnf_RestoreConf dsvCnf_RestoreConf2"
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBVRi]$/ {print $3}' | sort)
# The host API: TalverHost_* and, for C++ hosts, the classes of namespace host.
exports=$(echo "$actual" | grep -v -e '^TalverHost_' -e '^_ZN4host' -e '^_ZT[VIS]N4host' || true)
want=$(echo $expected | tr ' ' '\n' | sort)
if [ "$exports" != "$want" ]; then
  echo "exported symbols differ from the export list:"
  diff <(echo "$want") <(echo "$exports") || true
  exit 1
fi
# The public header declares exactly these exports, and only host API
# functions that the library has.
header=$(dirname "$0")/../include/talver.h
declared=$(sed -n 's/^TALVER_API .*[ *]\([A-Za-z_][A-Za-z0-9_]*\)(.*/\1/p' "$header" | sort)
declared_exports=$(echo "$declared" | grep -v '^TalverHost_' || true)
if [ "$declared_exports" != "$want" ]; then
  echo "talver.h declares other exports than the export list:"
  diff <(echo "$want") <(echo "$declared_exports") || true
  exit 1
fi
for name in $(echo "$declared" | grep '^TalverHost_'); do
  grep -qx "$name" <<<"$actual" || { echo "talver.h declares $name, which the library lacks"; exit 1; }
done
# Every exported ordinal of the Windows build names one of them.
def=$(dirname "$0")/../exports/talver.def
[ "$(grep -c '@1[0-4][0-9]' "$def")" -eq 21 ] || { echo "talver.def does not list 21 ordinals"; exit 1; }
echo "exports: $(echo "$exports" | wc -l), host API: $(echo "$actual" | grep -c '^TalverHost_')"
