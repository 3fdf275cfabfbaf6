#!/bin/bash
# svpconf setup and restore-media without a terminal: the CD-R by --key, a
# backup split over three media that the drive holds in the order 1, 3, 2,
# each next one asked for by message 3836 and answered by --answer 3836=ok
# (the wrong volume refused, the next of the list tried), the restore from
# the software medium of the model the world's controller names, and a model
# index the restore refuses.
# Usage: setup_restore_media.sh SVPCONF LIBTALVER
set -u
SVPCONF=$1
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
# config4 TYPE_LE COUNT NUMBER: a 32-byte record (serial 412345).
config4() {
  printf "HEADBYTES!$1$2$3\xb9\x4a\x06\x00\x01\x00\x00\x00\x02\x00\x00\x00TAIL!!"
}
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
  number=$(printf '\\x%02x' $((n - 1)))
  config4 '\x60\x83' '\x03' "$number" >"$work/$n/PLAXON/CONFIG/config4"
  config4 '\x60\x83' '\x03' "$number" >"$work/$n/PLAXON/CONFIG/412345/config4"
done
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
type = removable
media = 1;3;2
[send]
model_index = 2
INI
export TALVER_WORLD="$work/svp.ini"

# The CD-R: the archive of the key code's type.
out=$(timeout 60 "$SVPCONF" --setup-source cdr --key XBKZNRTQ --answer 4053=ok \
  setup 'D:\' 'C:\TARGET\' </dev/null 2>&1) || fail "setup from the CD-R: $out"
echo "$out" | grep -q '^result=1 word=0x0000' || fail "setup from the CD-R: $out"
cmp -s "$work/src/CONFIG/data.txt" "$work/c/TARGET/CONFIG/data.txt" || fail "CD-R not unpacked"

# A backup over three media inserted 1, 3, 2: each next one goes in on OK to
# message 3836; a wrong volume is refused and the next of the list goes in.
rm -rf "$work/c/TARGET/CONFIG/"*
out=$(timeout 60 "$SVPCONF" --setup-source backup --drive E --answer 3836=ok \
  setup 'D:\' 'C:\TARGET\' </dev/null 2>&1) || fail "setup from three media: $out"
echo "$out" | grep -q '^result=1 word=0x0000' || fail "setup from three media: $out"
for n in 2 3; do
  echo "$out" | grep -q "^\[message 3836\] .*$n" || fail "volume $n not asked for: $out"
done
# Medium 3 for volume 2, medium 1 for volume 3: each refused once.
[ "$(echo "$out" | grep -c '^\[message 3835\]')" -eq 2 ] || fail "not two wrong volumes: $out"
echo "$out" | grep -q '^\[message 4037\]' || fail "no closing message: $out"
cmp -s "$work/archive.tgz" "$work/c/TARGET/TMP/svp_conf.tgz" || fail "volumes not joined"
cmp -s "$work/src/CONFIG/data.txt" "$work/c/TARGET/CONFIG/data.txt" || fail "backup not unpacked"
ls "$work/c/TARGET/TMP" | grep -q 'svp_conf\.[0-9]$' && fail "pieces left behind"

# The restore from the software medium of model index 2.
out=$(timeout 60 "$SVPCONF" --drive D restore-media </dev/null 2>&1) || fail "restore-media: $out"
echo "$out" | grep -q '^kind=0x5000' || fail "restore kind: $out"
echo "$out" | grep -q '^\[message 3188\]' || fail "no message 3188: $out"
grep -q 'VERSION=01020461' "$work/c/PLAXON/CONFIG/config.inf" || fail "restore not unpacked"
out=$(timeout 20 "$SVPCONF" audit </dev/null 2>&1)
echo "$out" | grep -q '01-02-04/61' || fail "audit record: $out"

# A model index outside the table: refused before any dialog.
sed -i 's/^model_index = 2/model_index = 4/' "$work/svp.ini"
out=$(timeout 60 "$SVPCONF" restore-media </dev/null 2>&1)
[ $? -eq 1 ] || fail "model index 4: $out"
echo "$out" | grep -q '^result=0 word=0x2000' || fail "model index 4: $out"
echo "$out" | grep -q 'asks for a drive' && fail "a dialog after a refused model: $out"
echo "setup and restore-media: ok"
