#!/usr/bin/env bash
# Every export command prints the call's true result and word, and exits by
# it: 0 for a success, 1 for a failure or a question nothing answered, 2 for
# a cancel; a failure says what failed and what to do. One row per case, run
# in order on one sample world.
# Usage: export_words.sh SVPCONF LIBTALVER
set -u
SVPCONF=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$SVPCONF" init "$work/w" >/dev/null || { echo "FAIL: init"; exit 1; }
export TALVER_WORLD="$work/w/svp.ini"
c="$work/w/drives/c/PLAXON"
status=0
while IFS='|' read -r expected args; do
  [ -z "${expected// /}" ] && continue
  case "$expected" in \#*) continue ;; esac
  read -r result word code <<<"$expected"
  [ "$args" = " update-2nd" ] && [ "$result" = 1 ] && mkdir -p "$c/HOME/DIFF" &&
    cp "$c/DIFF/svp_conf.tgz" "$c/HOME/DIFF/"
  eval "set -- $args"
  out=$(timeout 60 "$SVPCONF" "$@" </dev/null 2>&1)
  rc=$?
  line=$(echo "$out" | grep '^result=' | tail -n 1)
  # A failure says in one sentence what failed and what to do.
  said=yes
  if [ "$result" = 0 ] && [ "$word" != 0x4000 ]; then
    echo "$out" | grep -q "^svpconf: failed ($word).*To do: ." || said=no
  fi
  if [ "$line" != "result=$result word=$word" ] || [ $rc -ne "$code" ] || [ $said = no ]; then
    echo "FAIL:$args: want result=$result word=$word exit $code, got '$line' exit $rc"
    echo "$out" | sed 's/^/    /'
    status=1
  fi
done <<'ROWS'
# result word   exit | arguments
1 0x0000 0 | hdd-backup
1 0x0000 0 | rancher
1 0x0000 0 | config-type
0 0x2000 1 | unpack 'C:\nothing.tgz' 'C:\PLAXON\TMP\'
1 0x0000 0 | unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\PLAXON\TMP\'
0 0x4004 1 | update-2nd
1 0x0000 0 | update-2nd
1 0x0000 0 | check 'C:\PLAXON\DIFF\svp_conf.tgz'
0 0x2000 1 | check 'C:\nothing.tgz'
2 0x4000 1 | backup-media
1 0x0000 0 | --drive E backup-media
2 0x4000 2 | --drive E --answer 3351=no backup-media
0 0x2000 1 | install-model --selector 3 --mode 0
2 0x4000 1 | setup 'D:\' 'C:\PLAXON\'
0 0x2000 1 | --setup-source backup --drive E setup 'E:\' 'C:\'
0 0x4000 1 | restore-media
0 0x4000 1 | restore-gpfm /etc/passwd
0 0x400B 1 | --setup-source cdr --key XBKZNRTQ --answer 4053=ok setup 'D:\' 'C:\PLAXON\'
ROWS
[ $status -eq 0 ] && echo "export words: ok"
exit $status
