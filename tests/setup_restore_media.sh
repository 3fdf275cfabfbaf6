#!/bin/bash
# svpconf setup and restore-media without a terminal: the CD-R by --key, a
# backup over three media held in the order 1, 3, 2 (below), and the restore
# from the software medium of the world's model index.
source "$(dirname "$0")/support/lib.sh"
mkdir -p "$work/c/PLAXON/CONFIG" "$work/c/PLAXON/TMP" "$work/c/TARGET/TMP" "$work/c/TARGET/CONFIG" \
  "$work/d/PLAXON/CONFIG/8360" "$work/d/software/R_C2/647060" "$work/src/CONFIG" \
  "$work/1/PLAXON/CONFIG/412345" "$work/2/PLAXON/CONFIG/412345" "$work/3/PLAXON/CONFIG/412345"
config4 '\x60\x83' '\x01' '\x00' >"$work/c/PLAXON/CONFIG/config4"
echo 'VERSION=01020360' >"$work/c/PLAXON/CONFIG/config.inf"
head -c 20000 /dev/urandom | od -An -tx1 >"$work/src/CONFIG/data.txt"
echo 'VERSION=01020461' >"$work/src/CONFIG/config.inf"
tar czf "$work/archive.tgz" -C "$work/src" CONFIG || fail "tar"
cp "$work/archive.tgz" "$work/d/PLAXON/CONFIG/8360/svp_conf.tgz"
cp "$work/archive.tgz" "$work/d/software/R_C2/647060/svp_conf.tgz"
config4 '\xff\xff' '\x01' '\x00' >"$work/d/software/R_C2/647060/config4"
# The archive in three volumes, the folder named by the volume's number.
third=$(($(stat -c %s "$work/archive.tgz") / 3 + 1))
for n in 1 2 3; do
  dd if="$work/archive.tgz" of="$work/$n/PLAXON/CONFIG/412345/svp_conf.tgz" bs="$third" \
    skip=$((n - 1)) count=1 status=none
  config4 '\x60\x83' '\x03' "$(printf '\\x%02x' $((n - 1)))" | tee "$work/$n/PLAXON/CONFIG/config4" \
    >"$work/$n/PLAXON/CONFIG/412345/config4"
done
{ world_ini C=c:fixed D=d:cdrom 'E=:removable:media=1;3;2' && printf '[send]\nmodel_index = 2\n'; } \
  >"$work/svp.ini"
export TALVER_WORLD="$work/svp.ini"

# The CD-R: the archive of the key code's type.
check 0 'result=1 word=0x0000' -- --setup-source cdr --key XBKZNRTQ --answer 4053=ok setup 'D:\' 'C:\TARGET\'
cmp -s "$work/src/CONFIG/data.txt" "$work/c/TARGET/CONFIG/data.txt" || fail "CD-R not unpacked"

# A backup over three media inserted 1, 3, 2: each next one goes in on OK to
# message 3836; a wrong volume is refused and the next of the list goes in.
rm -rf "$work/c/TARGET/CONFIG/"*
run --setup-source backup --drive E --answer 3836=ok setup 'D:\' 'C:\TARGET\'
expect 0 'result=1 word=0x0000' '\[message 3836\] .*2.*' '\[message 3836\] .*3.*' '\[message 4037\].*'
# Medium 3 for volume 2, medium 1 for volume 3: each refused once.
[ "$(grep -c '^\[message 3835\]' <<<"$out")" -eq 2 ] || fail "not two wrong volumes: $out"
cmp -s "$work/archive.tgz" "$work/c/TARGET/TMP/svp_conf.tgz" || fail "volumes not joined"
cmp -s "$work/src/CONFIG/data.txt" "$work/c/TARGET/CONFIG/data.txt" || fail "backup not unpacked"
ls "$work/c/TARGET/TMP" | grep -q 'svp_conf\.[0-9]$' && fail "pieces left behind"

# The restore from the software medium of model index 2.
check 0 'kind=0x5000.*' '\[message 3188\].*' -- --drive D restore-media
grep -q 'VERSION=01020461' "$work/c/PLAXON/CONFIG/config.inf" || fail "restore not unpacked"
check 0 '.*01-02-04/61.*' -- audit
echo "setup and restore-media: ok"
