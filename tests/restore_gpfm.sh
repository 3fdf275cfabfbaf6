#!/bin/bash
# svpconf restore-gpfm without a terminal: a sample backup file made by
# svpconf gpfm make --sample whose DKCF carries the default serial number is
# restored after --confirm; the command prints where the tables are and both versions, and
# the configuration folder is left as it was. Without --confirm it fails.
# Usage: restore_gpfm.sh SVPCONF LIBTALVER
set -u
SVPCONF=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
mkdir -p "$work/c/PLAXON/CONFIG" "$work/c/PLAXON/TMP" "$work/c/OUT"
printf 'SVPCONF 01020360\r\n' >"$work/c/PLAXON/CONFIG/CONFIG.INF"
printf 'SERIAL=412345\r\nMODEL=7\r\n' >"$work/c/PLAXON/CONFIG/DKCPRP.DAT"
cat >"$work/svp.ini" <<INI
[world]
root = C:
[drive.C]
path = c
type = fixed
INI
export TALVER_WORLD="$work/svp.ini"

# The sample file with the default serial number (400001), version 02030460.
timeout 60 "$SVPCONF" gpfm make 'C:\OUT\b.gpfm' --sample --serial 400001 >/dev/null 2>&1 ||
  fail "gpfm make --sample"
"$SVPCONF" gpfm extract 'C:\OUT\b.gpfm' "$work/lz4" --tables "$work/tables" >/dev/null 2>&1 ||
  fail "gpfm extract"
before=$(cd "$work/c/PLAXON/CONFIG" && ls -la --time-style=full-iso && md5sum *)

out=$(timeout 60 "$SVPCONF" restore-gpfm 'C:\OUT\b.gpfm' </dev/null 2>&1)
[ $? -ne 0 ] || fail "without --confirm the restore must not succeed: $out"

out=$(timeout 60 "$SVPCONF" --confirm restore-gpfm 'C:\OUT\b.gpfm' </dev/null 2>&1) ||
  fail "restore-gpfm: $out"
grep -q '^result=1 word=0x4011$' <<<"$out" || fail "result: $out"
grep -qF 'tables=C:\PLAXON\TMP\TABLES\' <<<"$out" || fail "tables: $out"
grep -q '^new_version=02-03-04/60$' <<<"$out" || fail "new version: $out"
grep -q '^old_version=01-02-03/60$' <<<"$out" || fail "old version: $out"
cmp -s "$work/tables/5" "$work/c/PLAXON/TMP/TABLES/5" || fail "table 5 not converted"
[ "$(stat -c %s "$work/c/PLAXON/TMP/TABLES/DKCF.TIF")" = 13088 ] || fail "DKCF size"
[ "$(stat -c %s "$work/c/PLAXON/TMP/TABLES/CFREV.TIF")" = 32 ] || fail "CFREV size"
[ ! -e "$work/c/PLAXON/TMP/LZ4/63.lz4" ] || fail "63.lz4 left behind"
after=$(cd "$work/c/PLAXON/CONFIG" && ls -la --time-style=full-iso && md5sum *)
[ "$before" = "$after" ] || fail "the configuration folder changed"
echo "ok"
