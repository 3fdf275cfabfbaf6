#!/bin/bash
# svpconf --dry-run of each command that writes the configuration leaves the
# world (every file's path, size, time and digest, the audit too) as it was;
# the real command then changes exactly the files the dry run listed, and
# does its work: restore-gpfm of a backup file whose DKCF carries the default
# serial number fails without --confirm and with it prints where the tables
# are and both versions; setup takes the CD-R by --key, and a backup over
# three media held in the order 1, 3, 2; restore-media takes the software
# medium of the world's model index.
source "$(dirname "$0")/support/lib.sh"
export LC_ALL=C
svp_drive && c="$c/PLAXON"
mkdir -p "$c/HOME/DIFF" "$c/IN" "$work/c/TARGET/TMP" "$work/c/SVP2/TMP" "$work/d/PLAXON/CONFIG/8360" \
  "$work/d/software/R_C2/647060" "$work/d/software/R_D/647060" "$work/src/CONFIG/SUB"
echo 'old' >"$c/CONFIG/data.txt"
head -c 20000 /dev/urandom | od -An -tx1 >"$work/src/CONFIG/data.txt"
echo 'new table' >"$work/src/CONFIG/SUB/t1.dat"
# The software medium's archive is of version 01020462, the others' 01020461.
printf 'SVPCONF 01020462\r\n' >"$work/src/CONFIG/CONFIG.INF"
tar czf "$work/d/software/R_C2/647060/svp_conf.tgz" -C "$work/src" CONFIG || fail "tar"
printf 'SVPCONF 01020461\r\n' >"$work/src/CONFIG/CONFIG.INF"
tar czf "$work/archive.tgz" -C "$work/src" CONFIG || fail "tar"
for to in "$c/IN" "$c/HOME/DIFF" "$work/d/PLAXON/CONFIG/8360" "$work/d/software/R_D/647060"; do
  cp "$work/archive.tgz" "$to/svp_conf.tgz"
done
config4 '\xff\xff' '\x01' '\x00' >"$work/d/software/R_C2/647060/config4"
# The archive in three volumes on the media 1 to 3, in the folder of the serial.
third=$(($(stat -c %s "$work/archive.tgz") / 3 + 1))
for n in 1 2 3; do
  mkdir -p "$work/$n/PLAXON/CONFIG/412345"
  dd if="$work/archive.tgz" of="$work/$n/PLAXON/CONFIG/412345/svp_conf.tgz" bs="$third" \
    skip=$((n - 1)) count=1 status=none
  config4 '\x60\x83' '\x03' "$(printf '\\x%02x' $((n - 1)))" | tee "$work/$n/PLAXON/CONFIG/config4" \
    >"$work/$n/PLAXON/CONFIG/412345/config4"
done
{ world_ini C=c:fixed D=d:cdrom 'E=:removable:media=1;3;2' && printf '[send]\nmodel_index = 2\n'; } \
  >"$work/svp.ini"
export TALVER_WORLD="$work/svp.ini"
check 0 -- gpfm make 'C:\b.gpfm' --sample --serial 400001
check '!' -- restore-gpfm 'C:\b.gpfm'

# Every entry of the world but the trace: path, type, size, time, digest.
snapshot() {
  (cd "$work" && find c d -printf '%y %p %s %T@\n' | sort | while read -r type path size time; do
    if [ "$type" = f ]; then
      echo "$path $size $time $(md5sum <"$path" | cut -c1-32)"
    else
      echo "$path/"
    fi
  done
    [ -e audit.log ] && echo "audit.log $(md5sum <audit.log | cut -c1-32)")
}
# The entries that differ between two snapshots (lower-case, as the system
# names files ignoring case).
changed() { diff <(echo "$1") <(echo "$2") | sed -n 's/^[<>] \([^ ]*\).*/\1/p' | sort -u; }
# The paths of a dry run's list, as lower-case world paths (C:\A\b -> c/a/b).
listed() {
  sed -n 's/^\(add\|replace\|keep\|delete\|add-folder\|delete-folder\) \([A-Z]\):\\\([^ ]*\).*/\2\/\3/p' |
    tr 'A-Z\\' 'a-z/' | sed 's,/$,,' | sort -u
}

# name|arguments
cases=(
  "restore-gpfm|--confirm restore-gpfm C:\\b.gpfm"
  "unpack|unpack C:\\PLAXON\\IN\\svp_conf.tgz C:\\PLAXON\\"
  "unpack again|unpack C:\\PLAXON\\IN\\svp_conf.tgz C:\\PLAXON\\"
  "update-2nd|update-2nd"
  "setup|--setup-source cdr --key XBKZNRTQ --answer 4053=ok setup D:\\ C:\\TARGET\\"
  "setup from media|--setup-source backup --drive E --answer 3836=ok setup D:\\ C:\\SVP2\\"
  "restore-media|--drive D restore-media"
  "install-model|install-model --selector 2 --mode 0 --drive D --key XBKZNRTQ --answer 4053=ok"
)
for row in "${cases[@]}"; do
  name=${row%%|*}
  read -r -a args <<<"${row#*|}"
  before=$(snapshot)
  check 0 'dry run: [0-9]* changes? listed, nothing written' -- -t 120 "${args[@]}" --dry-run
  dry=$out
  [ "$(snapshot)" = "$before" ] || fail "$name --dry-run changed the world: $(changed "$before" "$(snapshot)")"
  check 0 -- -t 120 "${args[@]}"
  after=$(snapshot)
  # Files and folders that came, went or changed; a folder's time aside.
  real=$(changed "$before" "$after" | grep -v '^audit.log$' | sed 's,/$,,' |
    while read -r p; do
      if [ -d "$work/$p" ] && grep -qx "$p/" <<<"$before"; then continue; fi
      echo "$p"
    done | tr A-Z a-z | sort -u)
  said=$(grep -v '^keep ' <<<"$dry" | listed)
  kept=$(grep '^keep ' <<<"$dry" | listed)
  # What changed is what was listed; a kept file may take a new time only.
  extra=$(comm -23 <(echo "$real") <(printf '%s\n' "$said" "$kept" | sort -u) | grep .)
  [ -z "$extra" ] || fail "$name: changed but not listed: $extra; list: $dry"
  missing=$(comm -13 <(echo "$real") <(echo "$said") | grep .)
  [ -z "$missing" ] || fail "$name: listed but not changed: $missing; list: $dry"
  [ -n "$said$kept" ] || fail "$name: an empty list: $dry"
  for p in $kept; do
    [ "$(grep -i "^$p " <<<"$before" | cut -d' ' -f2,4)" = "$(grep -i "^$p " <<<"$after" | cut -d' ' -f2,4)" ] ||
      fail "$name: $p listed as kept, but its bytes changed; list: $dry"
  done
  case $name in
    restore-gpfm)
      expect 0 'result=1 word=0x4011' '.*tables=C:\\PLAXON\\TMP\\TABLES\\.*' \
        'new_version=02-03-04/60' 'old_version=01-02-03/60' ;;
    setup) cmp -s "$work/src/CONFIG/data.txt" "$work"/c/TARGET/[Cc][Oo][Nn][Ff][Ii][Gg]/data.txt || fail "CD-R not unpacked" ;;
    setup*)
      # Each next medium goes in on OK to 3836; medium 3 for volume 2 and
      # medium 1 for volume 3 are refused (3835) and the next of the list goes in.
      expect 0 'result=1 word=0x0000' '\[message 3836\] .*2.*' '\[message 3836\] .*3.*' '\[message 4037\].*'
      [ "$(grep -c '^\[message 3835\]' <<<"$out")" -eq 2 ] || fail "not two wrong volumes: $out"
      cmp -s "$work/archive.tgz" "$work/c/SVP2/TMP/svp_conf.tgz" || fail "volumes not joined"
      cmp -s "$work/src/CONFIG/data.txt" "$work"/c/SVP2/[Cc][Oo][Nn][Ff][Ii][Gg]/data.txt || fail "backup not unpacked"
      ! ls "$work/c/SVP2/TMP" | grep 'svp_conf\.[0-9]$' || fail "pieces left behind" ;;
    restore-media)
      expect 0 'kind=0x5000.*' '\[message 3188\].*'
      grep -q 'SVPCONF 01020462' "$c/CONFIG/CONFIG.INF" || fail "restore not unpacked"
      check 0 '.*01-02-04/62.*' -- audit ;;
  esac
  [ -z "${SHOW:-}" ] || echo "$dry"
done
# The same archive again: every file keeps its bytes.
run unpack 'C:\PLAXON\IN\svp_conf.tgz' 'C:\PLAXON\' --dry-run
expect 0 'keep C:\\PLAXON\\CONFIG\\data.txt \(the same [0-9]* bytes\)'
echo "dry run: ok"
