#!/bin/bash
# svpconf through the archiver: an HDD backup packs the sample configuration
# as GNU tar reads it, unpack restores it (plain progress lines with
# --progress), and a failure (a missing archive, the second SVP's update)
# says why.
source "$(dirname "$0")/support/lib.sh"
sample_world "$work/world"
# Names are bytes: a Latin-1, a UTF-8, a long name and one that ustar splits
# at a slash travel unchanged.
latin1="caf$(printf '\351').dat"
utf8="caf$(printf '\303\251').dat"
long="$(printf 'f%.0s' {1..110})/$(printf 'a%.0s' {1..110}).dat"
split="${long%/*}/short.dat"
mkdir -p "$c/PLAXON/CONFIG/${long%/*}"
for name in "$latin1" "$utf8" "$long" "$split"; do printf '%s' "$name" >"$c/PLAXON/CONFIG/$name"; done
# Packed bytes between table rows, across a block's end: members of their own.
{ yes 'row,0001,table' | head -c 700000; head -c 500000 /dev/urandom; yes 'row' | head -c 300000; } \
  >"$c/PLAXON/CONFIG/mixed.bin"

check 0 'result=1.*' -- hdd-backup
# The archiver's own dialog (mode 2) stays silent without a terminal.
sleep 1 # a backup folder of its own
run hdd-backup --mode 2
[ "$(grep -v '^backup' <<<"$out")" = "result=1 word=0x0000" ] || fail "hdd-backup --mode 2: $out"
archive="$c/PLAXON/DIFF/svp_conf.tgz"
LC_ALL=C tar --quoting-style=literal -tzf "$archive" >"$work/listing" || fail "GNU tar cannot list our archive"
for name in config.inf "$latin1" "$utf8" "$long" "$split"; do
  grep -qxF "CONFIG/$name" "$work/listing" || fail "$name is not in the archive as it was"
done
grep -q 'min500c.dat' "$work/listing" && fail "an internal data file was packed"

# unpack: nothing on stderr; GNU tar extracts the same tree.
mkdir -p "$c/UNPACKED" "$work/gnu"
timeout 60 "$SVPCONF" unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\UNPACKED\' </dev/null \
  2>"$work/err" | grep -q '^result=1' || fail "unpack: $(cat "$work/err")"
[ -s "$work/err" ] && fail "a successful unpack wrote to stderr: $(cat "$work/err")"
[ -z "$(tar xzf "$archive" -C "$work/gnu" 2>&1)" ] || fail "GNU tar extracts our archive with words"
[ -z "$(bsdtar tvzf "$archive" 2>&1 >/dev/null)" ] || fail "bsdtar lists our archive with words"
cmp -s "$c/PLAXON/CONFIG/mixed.bin" "$work/gnu/CONFIG/mixed.bin" || fail "packed bytes changed"
diff -r "$work/gnu/CONFIG" "$c/UNPACKED/config" -x 'min500*' >/dev/null || fail "unpacked tree differs"
for name in "$latin1" "$utf8" "$long" "$split"; do
  [ "$(cat "$c/UNPACKED/config/$name")" = "$name" ] || fail "$name was not restored as it was"
done
# --progress without a terminal: plain lines on stderr, the last one whole.
timeout 60 "$SVPCONF" --progress unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\UNPACKED\' \
  </dev/null >/dev/null 2>"$work/err" || fail "unpack --progress"
tail -1 "$work/err" | grep -Eq '^progress: \[[^]]+\]  \[#+\]  100% ([0-9]+)/\1  .*done in ' ||
  fail "unpack --progress: $(cat "$work/err")"
grep -v '^progress: ' "$work/err" && fail "unpack --progress wrote more than progress lines"

# Why a missing archive or folder failed, from the call's own trace lines,
# without --trace, and in words.
run unpack 'C:\PLAXON\DIFF\none.tgz' 'C:\UNPACKED\'
expect 1 'result=0.*' '  Talver\.cpp\([0-9]+\) ERR INVALID_HANDLE_VALUE' \
  'svpconf: C:\\PLAXON\\DIFF\\none\.tgz: no such archive'
timeout 60 "$SVPCONF" trace | grep -Fq 'ERR INVALID_HANDLE_VALUE' || fail "no trace of the missing archive"
check 1 'svpconf: C:\\NONE\\: no such folder; make it first' -- \
  unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\NONE\'
mkdir -p "$work/elsewhere" && ln -s "$work/elsewhere" "$c/LINKED"
check 1 'svpconf: C:\\LINKED\\: a link, which nothing is written through' -- \
  unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\LINKED\'
[ -z "$(ls -A "$work/elsewhere")" ] || fail "unpack wrote through a link"

# The second SVP's update without an archive: six failed attempts, their
# trace line said once with its count.
check 1 'result=0 word=0x4004' '  CnfProcess\.cpp\([0-9]+\) ERR CompressDialog \(6 times\)' -- update-2nd
echo "PASS"
