#!/bin/bash
# The round trip of a backup to media: a configuration of about 3 MB
# (incompressible table files) backed up with svpconf backup-media onto a
# 1.44 MB floppy drive holding three blank media, then set up again with
# svpconf setup from those media into a fresh target tree, which must hold
# the same CONFIG tree byte for byte, less the files a backup leaves out.
# Then the CD-R path: install-model with a key code from a software medium.
# Usage: media_round_trip.sh SVPCONF LIBTALVER
source "$(dirname "$0")/support/lib.sh"
config="$work/c/PLAXON/CONFIG"
svp_config "$config"
printf 'SVPCONF 01020360\r\nLINE2\r\n' >"$config/CONFIG.INF"
mkdir -p "$work/c/PLAXON/TMP" "$work/c/PLAXON/MP/PC" "$work/f1" "$work/f2" "$work/f3" \
  "$work/t/SVP/TMP" "$work/d"
# Table files: random bytes do not compress, so the archive stays near 3 MB.
for i in 1 2 3 4 5 6; do
  head -c 500000 /dev/urandom >"$config/CNFDATA/tbl$i.dat"
done
head -c 1000 /dev/urandom >"$config/min500c.dat"  # left out of every backup
world_ini C=c:fixed 'A=:removable:size=1457664:media=f1;f2;f3' D=d:cdrom T=t:fixed >"$work/svp.ini"
export TALVER_WORLD="$work/svp.ini"

# Backup: the split question answered Yes, each next medium with OK.
run -t 120 backup-media --drive A --answer 4034=yes --answer 4036=ok
expect 0 'result=1 .*'
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
run -t 120 setup 'A:\' 'T:\SVP\' --setup-source backup --drive A --backup 412345 --answer 3836=ok
expect 0 'result=1 .*'
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
run -t 120 install-model --selector 2 --mode 0 --drive D --key XBKZNRTQ --answer 4053=ok
expect 0 'result=1 .*'
diff -r -x min500c.dat "$setup_config/CNFDATA" "$config/CNFDATA" >/dev/null ||
  fail "install-model did not bring the tables back"
echo "media round trip: ok"
