#!/bin/bash
# svpconf drives and select-media without a terminal: the drive lists by
# class, a selection answered by --drive, a drive that fails once and is not
# chosen again, and a drive that holds a list of media.
# Usage: media_options.sh SVPCONF LIBTALVER
set -u
SVPCONF=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
mkdir -p "$work/c/PLAXON/CONFIG" "$work/d/software/L/R700xx" "$work/e" "$work/vol1/PLAXON/CONFIG" \
  "$work/vol2"
printf 'HEADBYTES!\x60\x83\xff\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  >"$work/vol1/PLAXON/CONFIG/config4"
cat >"$work/svp.ini" <<INI
[world]
root = C:
[drive.C]
path = c
type = fixed
[drive.D]
path = d
type = cdrom
[drive.E]
path = e
type = removable
not_ready = true
[drive.F]
type = removable
media = vol1;vol2
[client.1]
remote = \\\\tsclient\\E
path = e
INI
export TALVER_WORLD="$work/svp.ini"

out=$(timeout 20 "$SVPCONF" drives </dev/null 2>&1) || fail "drives: $out"
echo "$out" | grep -Eq '^class 1 .* C: D: E: F:$' || fail "class 1: $out"
echo "$out" | grep -Eq '^class 2 .* E: F:$' || fail "class 2: $out"
echo "$out" | grep -Eq '^class 3 .* C: D:$' || fail "class 3: $out"
echo "$out" | grep -q '^client PC E$' || fail "client PC: $out"
out=$(timeout 20 "$SVPCONF" drives --class 3 </dev/null 2>&1)
[ "$(echo "$out" | grep -c '^class')" -eq 1 ] || fail "--class 3: $out"

# An installation from the CD-ROM is taken unread.
out=$(timeout 20 "$SVPCONF" select-media --request-kind 8 --drive D --model R700 --size-code L \
  </dev/null 2>&1) || fail "kind 8 on D: $out"
echo "$out" | grep -qF 'archive=D:\software\L\R700xx\svp_conf.tgz' || fail "kind 8 path: $out"
echo "$out" | grep -q '^result=1 word=0x0000' || fail "kind 8 result: $out"

# A drive that is not ready: message 3677 once, then the dialog is cancelled.
out=$(timeout 20 "$SVPCONF" select-media --request-kind 5 --drive E </dev/null 2>&1)
rc=$?
[ $rc -eq 1 ] || fail "not-ready drive: exit $rc ($out)"
[ "$(echo "$out" | grep -c '^\[message 3677\]')" -eq 1 ] || fail "3677 not shown once: $out"
echo "$out" | grep -q 'the medium in drive E: was not taken (message 3677' ||
  fail "no account of the failed medium: $out"
echo "$out" | grep -q '^result=0 word=0x4000' || fail "not-ready result: $out"

# A flat medium for the setup, then the next volume asked for in the same
# drive: OK puts the next medium in, which carries no config4.
out=$(timeout 20 "$SVPCONF" select-media --request-kind 5 --drive F </dev/null 2>&1) ||
  fail "flat medium: $out"
echo "$out" | grep -q 'media-kind=2 (flat)' || fail "flat medium kind: $out"
out=$(timeout 20 "$SVPCONF" select-media --request-kind 5 --volume 1 --in 'F:\' --answer 3836=ok \
  </dev/null 2>&1)
echo "$out" | grep -q '^\[message 3836\] Insert volume 2' || fail "volume request: $out"
echo "$out" | grep -q '^\[message 3676\]' || fail "second medium not in the drive: $out"
# The options operator moves on along the drive's list after the refused
# medium: the first medium goes in again and is taken.
[ "$(echo "$out" | grep -c '^\[message 3836\]')" -eq 2 ] || fail "no second request: $out"
echo "$out" | grep -q '^result=1' || fail "the list was not tried on: $out"
echo "media options: ok"
