#!/bin/bash
# svpconf end to end through the archiver: an HDD backup packs the sample
# configuration, GNU tar reads that archive, `svpconf unpack` restores it
# under the progress dialog (plain progress lines with --progress), and a missing archive fails without a dialog,
# saying why; update-2nd reports whether the second SVP was updated.
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
# The archiver's own dialog (mode 2) stays silent without a terminal.
sleep 1  # a backup folder of its own
out=$(timeout 60 "$SVPCONF" hdd-backup --mode 2 </dev/null 2>&1)
[ "$(grep -v '^backup' <<<"$out")" = "result=1 word=0x0000" ] ||
  fail "hdd-backup --mode 2 without a terminal: $out"
archive="$c/PLAXON/DIFF/svp_conf.tgz"
tar tzf "$archive" >"$work/listing" || fail "GNU tar cannot list our archive"
grep -qx 'CONFIG/config.inf' "$work/listing" || fail "config.inf not in the archive"
for name in "$latin1" "$utf8"; do
  LC_ALL=C tar --quoting-style=literal -tzf "$archive" 2>/dev/null | grep -qxF "CONFIG/$name" ||
    fail "a non-ASCII name is not in the archive as it was"
done
grep -q 'min500c.dat' "$work/listing" && fail "an internal data file was packed"

mkdir -p "$c/UNPACKED"
out=$(timeout 60 "$SVPCONF" unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\UNPACKED\' </dev/null 2>"$work/err")
echo "$out" | grep -q '^result=1' || fail "unpack: $out"
[ -s "$work/err" ] && fail "a successful unpack wrote to stderr: $(cat "$work/err")"
mkdir -p "$work/gnu"
tar xzf "$archive" -C "$work/gnu" || fail "GNU tar cannot extract our archive"
diff -r "$work/gnu/CONFIG" "$c/UNPACKED/config" -x 'min500*' >/dev/null || fail "unpacked tree differs"
[ "$(cat "$c/UNPACKED/config/$latin1")$(cat "$c/UNPACKED/config/$utf8")" = "latin-1utf-8" ] ||
  fail "a non-ASCII name was not restored as it was"
# --progress without a terminal: plain lines on stderr, the last one whole.
timeout 60 "$SVPCONF" --progress unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\UNPACKED\' \
  </dev/null >/dev/null 2>"$work/err" || fail "unpack --progress"
tail -1 "$work/err" | grep -Eq '^progress: \[[^]]+\]  \[#+\]  100% ([0-9]+)/\1  .*done in ' ||
  fail "unpack --progress: $(cat "$work/err")"
grep -v '^progress: ' "$work/err" && fail "unpack --progress wrote more than progress lines"

out=$(timeout 60 "$SVPCONF" unpack 'C:\PLAXON\DIFF\none.tgz' 'C:\UNPACKED\' </dev/null 2>"$work/err")
rc=$?
echo "$out" | grep -q '^result=0' || fail "unpack of a missing archive: $out"
[ $rc -eq 1 ] || fail "unpack of a missing archive: exit $rc"
"$SVPCONF" trace | grep -Fq 'ERR INVALID_HANDLE_VALUE' || fail "no trace of the missing archive"
# Why it failed, from the call's own trace lines, without --trace.
grep -Eq '^  Talver\.cpp\([0-9]+\) ERR INVALID_HANDLE_VALUE$' "$work/err" ||
  fail "no reason on stderr: $(cat "$work/err")"

# The second SVP's update: six failed attempts without an archive are a
# failure; with the archive in HOME\DIFF the update is made.
out=$(timeout 60 "$SVPCONF" update-2nd </dev/null 2>"$work/err")
rc=$?
[ "$out" = "result=0 word=0x4004" ] || fail "update-2nd without an archive: $out"
[ $rc -eq 1 ] || fail "update-2nd without an archive: exit $rc"
grep -Eq '^  CnfProcess\.cpp\([0-9]+\) ERR CompressDialog \(6 times\)$' "$work/err" ||
  fail "update-2nd without an archive: no reason on stderr: $(cat "$work/err")"
mkdir -p "$c/PLAXON/HOME/DIFF"
cp "$archive" "$c/PLAXON/HOME/DIFF/svp_conf.tgz"
out=$(timeout 60 "$SVPCONF" update-2nd </dev/null 2>"$work/err")
rc=$?
[ "$out" = "result=1 word=0x0000" ] && [ $rc -eq 0 ] || fail "update-2nd: exit $rc, $out"
[ -s "$work/err" ] && fail "a successful update wrote to stderr: $(cat "$work/err")"
echo "PASS"
