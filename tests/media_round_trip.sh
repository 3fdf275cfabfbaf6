#!/bin/bash
# The round trip of a backup to media: a configuration of about 3 MB
# (incompressible table files) backed up with svpconf backup-media onto a
# 1.44 MB floppy drive holding three blank media, then set up again with
# svpconf setup from those media into a fresh target tree, which must hold
# the same CONFIG tree byte for byte, less the files a backup leaves out.
# Then the CD-R path: install-model with a key code from a software medium.
# Usage: media_round_trip.sh SVPCONF LIBTALVER
set -u
SVPCONF=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
config="$work/c/PLAXON/CONFIG"
mkdir -p "$config/CNFDATA" "$work/c/PLAXON/TMP" "$work/c/PLAXON/MP/PC" "$work/f1" "$work/f2" \
  "$work/f3" "$work/t/SVP/TMP" "$work/d"
printf 'SVPCONF 01020360\r\nLINE2\r\n' >"$config/CONFIG.INF"
printf '[SVP_MAIN]\r\nType=TQ520\r\n' >"$config/SVP_MAIN.INI"
printf 'SERIAL=412345\r\nMODEL=7\r\n' >"$config/DKCPRP.DAT"
printf 'PCMTYPE=3\r\n' >"$config/LMCPT.DAT"
{
  printf 'HEADBYTES!\x60\x83\x01\x00'
  head -c 18 /dev/zero
} >"$config/config4"
# Table files: random bytes do not compress, so the archive stays near 3 MB.
for i in 1 2 3 4 5 6; do
  head -c 500000 /dev/urandom >"$config/CNFDATA/tbl$i.dat"
done
head -c 1000 /dev/urandom >"$config/min500c.dat"  # left out of every backup
cat >"$work/svp.ini" <<INI
[world]
root = C:
[drive.C]
path = c
type = fixed
[drive.A]
type = removable
size = 1457664
media = f1;f2;f3
[drive.D]
path = d
type = cdrom
[drive.T]
path = t
type = fixed
INI
export TALVER_WORLD="$work/svp.ini"

# Backup: the split question answered Yes, each next medium with OK.
out=$(timeout 120 "$SVPCONF" backup-media --drive A --answer 4034=yes --answer 4036=ok \
  </dev/null 2>&1) || fail "backup-media: $out"
echo "$out" | grep -q '^result=1' || fail "backup-media result: $out"
for m in f1 f2 f3; do
  [ -s "$work/$m/PLAXON/CONFIG/412345/svp_conf.tgz" ] || fail "no volume on $m: $out"
  cmp -s "$work/$m/PLAXON/CONFIG/config4" "$work/$m/PLAXON/CONFIG/412345/config4" ||
    fail "config4 records of $m differ"
done
[ "$(stat -c %s "$work/f1/PLAXON/CONFIG/412345/svp_conf.tgz")" -eq 1400000 ] ||
  fail "first volume is not 1,400,000 bytes"

# The three volumes, joined in order, are the archive of the tree.
mkdir -p "$work/joined"
cat "$work"/f{1,2,3}/PLAXON/CONFIG/412345/svp_conf.tgz | tar xzf - --warning=no-unknown-keyword -C "$work/joined" ||
  fail "the joined volumes are no archive"
diff -r -x min500c.dat "$config" "$work/joined/CONFIG" >/dev/null ||
  fail "the joined volumes differ: $(diff -rq -x min500c.dat "$config" "$work/joined/CONFIG")"
[ ! -e "$work/joined/CONFIG/min500c.dat" ] || fail "min500c.dat was backed up"

# Verified from the three media in turn: one line a volume, then the verdict.
out=$(timeout 120 "$SVPCONF" backups --verify --drive A --answer 3836=ok </dev/null 2>&1) ||
  fail "backups --verify --drive A: $out"
[ "$(echo "$out" | grep -c '^volume [123] of 3 ')" -eq 3 ] && echo "$out" | grep -q ' sound$' ||
  fail "media verify: $out"

# Setup from the three media into a fresh tree T:\SVP\.
out=$(timeout 120 "$SVPCONF" setup 'A:\' 'T:\SVP\' --setup-source backup --drive A \
  --backup 412345 --answer 3836=ok </dev/null 2>&1)
echo "$out" | grep -q '^result=1' || fail "setup: $out"
# Names match ignoring case, as on the SVP: the tree may have made "config".
setup_config=$(find "$work/t/SVP" -maxdepth 1 -iname config | head -1)
[ -n "$setup_config" ] || fail "no CONFIG in the tree set up: $out"
diff -r -x min500c.dat "$config" "$setup_config" >/dev/null ||
  fail "the tree set up differs: $(diff -rq -x min500c.dat "$config" "$setup_config")"
[ ! -e "$setup_config/min500c.dat" ] || fail "min500c.dat was backed up"

# The CD-R path: the archive on a software medium for model 6470 (R_D),
# type 0x8360, opened with its key code; unpacked over C:\PLAXON\.
mkdir -p "$work/d/software/R_D/647060"
cp "$work/c/PLAXON/TMP/svp_conf.tgz" "$work/d/software/R_D/647060/svp_conf.tgz"
rm -rf "$config/CNFDATA"
out=$(timeout 120 "$SVPCONF" install-model --selector 2 --mode 0 --drive D --key XBKZNRTQ --answer 4053=ok \
  </dev/null 2>&1) || fail "install-model: $out"
echo "$out" | grep -q '^result=1' || fail "install-model result: $out"
diff -r -x min500c.dat "$setup_config/CNFDATA" "$config/CNFDATA" >/dev/null ||
  fail "install-model did not bring the tables back"
echo "media round trip: ok"
