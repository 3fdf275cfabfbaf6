#!/bin/bash
# A C program chooses who answers (tests/c_program/operator.c). With nobody
# to answer, each of the 21 exports returns, refuses what it would ask,
# changes no medium and keeps the trace small; with answers set it backs up
# onto three floppies, and its asker sets up from them inserted 1, 3, 2.
source "$(dirname "$0")/support/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
c_toolchain
program=$work/operator
$cc -std=c99 -pedantic -Wall -Wextra -Werror $sanitize -I"$here/../include" \
  "$here/c_program/operator.c" -o "$program" "$LIBTALVER" -Wl,-rpath,"$(dirname "$LIBTALVER")" 2>&1 ||
  fail "cannot build the C program"

# Every file and folder of the world's media, with its bytes.
media_hash() {
  (cd "$1/drives" && find a d e -print | sort && find a d e -type f -print0 | sort -z |
    xargs -0 -r sha256sum) | sha256sum
}

# Nobody answers: the export, what it gives back (result and word).
sample_world "$work/sample"
before=$(media_hash "$work/sample")
while read -r export expected; do
  out=$(timeout 30 "$program" call "$export" </dev/null 2>&1)
  rc=$?
  [ $rc -eq 0 ] || fail "$export: exit $rc (124: it did not return): $out"
  echo "$out" | grep -qx "$export $expected" || fail "$export gave '$out', not '$expected'"
done <<'TABLE'
dsvp_TalverRancher result=1 word=0x0000
dsvp_TalverBackup result=2 word=0x0000
dsvp_TalverIsUncompressed result=0 word=0x0000
dsvCnf_ConfigIsUpdate result=1 word=0x0000
dsvCnf_ConfigIsHddBackup result=1 word=0x0000
dsvCnf_ConfigUpdateTo2ndSVP result=1 word=0x0000
dsvCnf_SetupConfigInSVP result=2 word=0x0000
dsvCnf_CheckConfigFile result=0 word=0x2000
dsvp_TalverIsCompressed result=1 word=0x0000
talver_ReadConfig4 result=1 word=0x0000
dsvCnf_GetStrConfigType result=1 word=0x0000
_WEP_4 result=1 word=0x0000
Talver_CloseMemoryMapFile result=1 word=0x0000
Talver_CreateMemoryMapFile result=1 word=0x0000
Talver_OpenMemoryMapFile result=1 word=0x0000
Talver_ReadMemoryMapFile result=0 word=0x0000
Talver_WriteMemoryMapFile result=0 word=0x0000
WEP result=[0-9]* word=0x0000
dsvCnf_OffSvpAllConf result=2 word=0x0000
dsvCnf_RestoreConf result=0 word=0x4000
dsvCnf_RestoreConf2 result=0 word=0x4000
TABLE
[ "$(media_hash "$work/sample")" = "$before" ] || fail "a medium changed with nobody to answer"
trace=$work/sample/trace.log
[ "$(stat -c %s "$trace")" -lt 1048576 ] || fail "the trace grew to $(stat -c %s "$trace") bytes"
[ "$(grep -c '^.* ERR No answer: ' "$trace")" -eq 5 ] ||
  fail "not five questions refused: $(grep 'ERR No answer' "$trace")"

# Three floppies: about 3 MB of incompressible tables on a sample world
# whose drive A holds three blank media.
world=$work/floppies
sample_world "$world"
for i in 1 2 3 4 5 6; do
  head -c 500000 /dev/urandom >"$world/drives/c/PLAXON/CONFIG/CNFDATA/random$i.dat"
done
rmdir "$world/drives/a"
mkdir -p "$world/f1" "$world/f2" "$world/f3" "$world/drives/t/SVP/TMP"
sed -i 's|^path = drives/a$|media = f1;f2;f3|' "$world/svp.ini"
printf '[drive.T]\npath = drives/t\ntype = fixed\n' >>"$world/svp.ini"
out=$(timeout 120 "$program" backup </dev/null 2>&1) || fail "backup: $out"
echo "$out" | grep -qx 'dsvp_TalverBackup result=1' || fail "backup: $out"
for m in f1 f2 f3; do
  [ -s "$world/$m/PLAXON/CONFIG/412345/svp_conf.tgz" ] || fail "no volume on $m: $out"
done

# The asker answers the requests for the next volume with OK only: the
# operator takes the next medium of the drive's list, here out of order.
sed -i 's|^media = f1;f2;f3$|media = f1;f3;f2|' "$world/svp.ini"
out=$(timeout 120 "$program" setup 'A:\' 'T:\SVP\' </dev/null 2>&1) || fail "setup: $out"
echo "$out" | grep -qx 'dsvCnf_SetupConfigInSVP result=1' || fail "setup: $out"
for asked in 'dialog 114 (setup-source) \[cdr|backup\]: backup' 'dialog 106 (drive) .*: A' \
  'message 3836 (3836) \[ok|cancel\]: ok'; do
  echo "$out" | grep -q "^asked $asked$" || fail "not asked '$asked': $out"
done
echo "$out" | grep -q '^refused' && fail "setup refused a question: $out"
# Names match ignoring case, as on the SVP: the tree may have made "config".
set_up=$(find "$world/drives/t/SVP" -maxdepth 1 -iname config | head -1)
[ -n "$set_up" ] || fail "no CONFIG in the tree set up: $out"
# A backup leaves out the internal data files.
diff -r -x min500c.dat -x min500d.dat -x svphdev0.dat "$world/drives/c/PLAXON/CONFIG" "$set_up" \
  >/dev/null || fail "the tree set up differs: $(diff -rq "$world/drives/c/PLAXON/CONFIG" "$set_up")"
echo "C operator: ok"
