#!/bin/bash
# svpconf drives and select-media without a terminal: the drive lists by
# class, a selection answered by --drive, a drive that fails once and is not
# chosen again, and a drive that holds a list of media.
source "$(dirname "$0")/support/lib.sh"
mkdir -p "$work/c/PLAXON/CONFIG" "$work/d/software/L/R700xx" "$work/e" "$work/vol1/PLAXON/CONFIG" \
  "$work/vol2"
printf 'HEADBYTES!\x60\x83\xff\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
  >"$work/vol1/PLAXON/CONFIG/config4"
{
  world_ini C=c:fixed D=d:cdrom E=e:removable:not_ready=true 'F=:removable:media=vol1;vol2'
  printf '[client.1]\nremote = \\\\tsclient\\E\npath = e\n'
} >"$work/svp.ini"
export TALVER_WORLD="$work/svp.ini"

check 0 'class 1 .* C: D: E: F:' 'class 2 .* E: F:' 'class 3 .* C: D:' 'client PC E' -- drives
run drives --class 3
[ "$(grep -c '^class' <<<"$out")" -eq 1 ] || fail "--class 3: $out"

# An installation from the CD-ROM is taken unread.
run select-media --request-kind 8 --drive D --model R700 --size-code L
expect 0 'archive=D:\\software\\L\\R700xx\\svp_conf\.tgz' 'result=1 word=0x0000'

# A drive that is not ready: message 3677 once, then the dialog is cancelled.
run select-media --request-kind 5 --drive E
expect 1 '.*the medium in drive E: was not taken \(message 3677.*' 'result=0 word=0x4000'
[ "$(grep -c '^\[message 3677\]' <<<"$out")" -eq 1 ] || fail "3677 not shown once: $out"

# A flat medium for the setup, then the next volume asked for in the same
# drive: OK puts the next medium in, which carries no config4.
check 0 '.*media-kind=2 \(flat\).*' -- select-media --request-kind 5 --drive F
run select-media --request-kind 5 --volume 1 --in 'F:\' --answer 3836=ok
expect 0 '\[message 3836\] Insert volume 2.*' '\[message 3676\].*' 'result=1.*'
# The options operator moves on along the drive's list after the refused
# medium: the first medium goes in again and is taken.
[ "$(grep -c '^\[message 3836\]' <<<"$out")" -eq 2 ] || fail "no second request: $out"
echo "media options: ok"
