#!/bin/bash
# svpconf end to end through the archiver: an HDD backup packs the sample
# configuration, GNU tar reads that archive, `svpconf unpack` restores it
# under the progress dialog, and a missing archive fails without a dialog.
# Usage: archive_unpack.sh SVPCONF LIBTALVER
set -u
SVPCONF=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
"$SVPCONF" init "$work/world" >/dev/null || fail "svpconf init"
export TALVER_WORLD="$work/world/svp.ini"
c="$work/world/drives/c"
# Names are bytes: a Latin-1 and a UTF-8 name travel unchanged.
latin1="caf$(printf '\351').dat"
utf8="caf$(printf '\303\251').dat"
printf 'latin-1' >"$c/PLAXON/CONFIG/$latin1"
printf 'utf-8' >"$c/PLAXON/CONFIG/$utf8"

out=$(timeout 60 "$SVPCONF" hdd-backup </dev/null 2>&1)
echo "$out" | grep -q '^result=1' || fail "hdd-backup: $out"
archive="$c/PLAXON/DIFF/svp_conf.tgz"
tar tzf "$archive" >"$work/listing" || fail "GNU tar cannot list our archive"
grep -qx 'CONFIG/config.inf' "$work/listing" || fail "config.inf not in the archive"
for name in "$latin1" "$utf8"; do
  LC_ALL=C tar --quoting-style=literal -tzf "$archive" 2>/dev/null | grep -qxF "CONFIG/$name" ||
    fail "a non-ASCII name is not in the archive as it was"
done
grep -q 'min500c.dat' "$work/listing" && fail "an internal data file was packed"

mkdir -p "$c/UNPACKED"
out=$(timeout 60 "$SVPCONF" unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\UNPACKED\' </dev/null 2>&1)
echo "$out" | grep -q '^result=1' || fail "unpack: $out"
mkdir -p "$work/gnu"
tar xzf "$archive" -C "$work/gnu" || fail "GNU tar cannot extract our archive"
diff -r "$work/gnu/CONFIG" "$c/UNPACKED/config" -x 'min500*' >/dev/null || fail "unpacked tree differs"
[ "$(cat "$c/UNPACKED/config/$latin1")$(cat "$c/UNPACKED/config/$utf8")" = "latin-1utf-8" ] ||
  fail "a non-ASCII name was not restored as it was"

out=$(timeout 60 "$SVPCONF" unpack 'C:\PLAXON\DIFF\none.tgz' 'C:\UNPACKED\' </dev/null 2>&1)
echo "$out" | grep -q '^result=0' || fail "unpack of a missing archive: $out"
"$SVPCONF" trace | grep -Fq 'ERR INVALID_HANDLE_VALUE' || fail "no trace of the missing archive"
echo "PASS"
