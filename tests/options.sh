#!/bin/bash
# svpconf's command line without a terminal: a bad option value or command
# is refused with 64 naming the valid values; letters and answers take any
# spelling a person would type; a question no option answers fails at once
# (1) naming the option; a value the world lacks is refused with its choices.
# Then drives and select-media on a world of their own: the drive lists by
# class, a selection answered by --drive, a drive that fails once and is not
# chosen again, and a drive that holds a list of media.
source "$(dirname "$0")/support/lib.sh"
sample_world "$work/w"
# A backup on E for the selections below.
timeout 60 "$SVPCONF" backup-media --drive E </dev/null >/dev/null 2>&1 || fail "backup-media"

# exit | text the output holds (grep -E) | the command line (shell words)
while IFS='#' read -r want text args; do
  eval "set -- $args"
  check "$want" -- "$@"
  grep -Eq -- "$text" <<<"$out" || fail "svpconf $args: no '$text' in: $out"
done <<'TABLE'
64#the commands: .*backup-media#bogus
64#unknown command 'bogus'#--env x --answer 3351=yes bogus
64#subcommand is required#
64#not expected: --nope#rancher --nope
64#Could not convert: --selector#install-model --selector x --mode 0
64#modes that install are 0 and 2.*svpconf backup-media#install-model --selector 7 --mode 1
64#message 3351 takes yes\|no, not 'ok'#--answer 3351=ok backup-media
64#no command asks message 9999; .*3193, 3351#--answer 9999=ok backup-media
64#takes MSGID=BUTTON#--answer yes backup-media
64#letter A to Z#--drive 1 select-media --request-kind 5
64#letter A to Z#select-media --request-kind 5 --drive 'E:x'
64#six digits#--backup x select-media --request-kind 5
64#cdr or backup, not 'dvd'#--setup-source dvd setup 'D:\' 'E:\SVP\'
0#Usage: .*install-model#install-model --help
0#Questions: none#trace --help
0#dialog 117 +--confirm#try-dialogs --help
0#^dialog 106 +--drive LETTER#questions backup-media
64#unknown command 'bogus'#questions bogus
1#dialog 117 .*asks for a confirmation and there is no terminal; answer it with --confirm#try-dialogs --steps 2 --pause 1
0#^result=1 word=0x0000#try-dialogs --steps 2 --pause 1 --confirm
0#^result=1 word=0x0000#--confirm try-dialogs --steps 2 --pause 1
1#dialog 106 .*answer it with --drive LETTER \(A\|C\|D\|E\)#select-media --request-kind 5
0#drive=E:#select-media --request-kind 5 --drive e
0#drive=E:#select-media --request-kind 5 --drive E:
0#drive=E:#select-media --request-kind 5 --drive 'e:\'
0#drive=E:#select-media --request-kind 5 --drive 'E:/'
1#cannot take the answer Z \(the choices: A\|C\|D\|E\)#select-media --request-kind 5 --drive z
1#message 3351 asks a question \(yes\|no\).*--answer 3351=yes\|no#backup-media --drive E
0#^result=1#backup-media --drive E --answer 3351=YES
0#^result=1#backup-media --drive E --answer 3351=y
2#^result=2 word=0x4000#backup-media --drive E --answer 3351=No
TABLE

# A notice needs no answer; its answer line is logged.
check 0 -- rancher
check 0 '.*### \[MSG\] ID=4701,OK button was selected\..*' -- trace
# The sample world's config4, named in any case.
check 0 'type=0x8360' 'serial=412345' 'volume_count=255.*' -- read-config4 'C:\Plaxon\Config\config4'

# The world of the drives and select-media.
mkdir -p "$work/c/PLAXON/CONFIG" "$work/d/software/L/R700xx" "$work/e" "$work/vol1/PLAXON/CONFIG" \
  "$work/vol2"
config4 '\x60\x83' '\xff' '\x00' >"$work/vol1/PLAXON/CONFIG/config4"
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
echo "options: ok"
