#!/bin/bash
# svpconf backup-media onto floppies and restore-gpfm killed with SIGKILL at
# a random moment. After each kill every file of the SVP outside \PLAXON\TMP\
# holds its old bytes or a clean run's, a medium the selection accepts holds
# a whole volume, and the next run succeeds with the whole result.
# TALVER_KILLS=N: kills per command (2 by default); the delays are drawn
# from TALVER_KILL_SEED (random by default), printed for a rerun.
KILLS=${TALVER_KILLS:-2}
source "$(dirname "$0")/support/kill.sh"
svp_drive
mkdir -p "$c/OUT" "$work/f1" "$work/f2" "$work/f3"
# Random tables do not compress: the archive takes two floppies.
for i in 1 2 3 4; do head -c 500000 /dev/urandom >"$config/CNFDATA/tbl$i.dat"; done
world() { # the world with the media $@ in drive A
  local IFS=';'
  world_ini C=c:fixed "A=:removable:size=1457664:media=$*"
}
world f1 f2 f3 >"$work/svp.ini"
export TALVER_WORLD="$work/svp.ini"

# The files of the SVP outside its work folder, with their sums.
sums() { (cd "$c" && find . -type f ! -ipath './plaxon/tmp/*' -print0 | sort -z | xargs -0 md5sum); }

# Every file now holds its bytes of before ($1) or of a clean run ($2).
old_or_clean() {
  local what=$1 line
  while read -r line; do
    grep -qxF "$line" "$work/sums.before" "$work/sums.clean" ||
      fail "$what: ${line#*  } is neither old nor a clean run's"
  done < <(sums)
  while read -r line; do
    [ -e "$c/${line#*  }" ] || fail "$what: ${line#*  } is gone"
  done <"$work/sums.before"
}

# A medium the selection accepts holds a whole volume: its config4 beside
# the piece, and the piece as long as that volume of a clean run.
check_media() {
  local what=$1 m count number size
  for m in f1 f2 f3; do
    world "$m" >"$work/one.ini"
    TALVER_WORLD="$work/one.ini" run select-media --request-kind 5 --drive A --backup 412345
    grep -q '^result=1' <<<"$out" || continue
    count=$(sed -n 's/.* volume-count=\([0-9]*\) .*/\1/p' <<<"$out")
    number=$(sed -n 's/.* volume-number=\([0-9]*\) .*/\1/p' <<<"$out")
    size=$(stat -c %s "$work/$m/PLAXON/CONFIG/412345/svp_conf.tgz" 2>/dev/null || echo 0)
    cmp -s "$work/$m/PLAXON/CONFIG/config4" "$work/$m/PLAXON/CONFIG/412345/config4" ||
      fail "$what: the config4 records of $m differ"
    [ "$count" = 2 ] || fail "$what: $m taken as volume $number of $count"
    [ "$size" = "$(cat "$work/size.$number")" ] ||
      fail "$what: $m taken with volume $number of $size bytes"
  done
}

# The piece of volume N (its number in the config4 beside it) on f1 to f3.
volume() {
  local m
  for m in f1 f2 f3; do
    [ "$(od -An -tu1 -j13 -N1 "$work/$m/PLAXON/CONFIG/412345/config4" 2>/dev/null | tr -d ' ')" = "$1" ] &&
      echo "$work/$m/PLAXON/CONFIG/412345/svp_conf.tgz" && return
  done
}

# The volumes on the media, joined in order, are the archive of CONFIG.
check_joined() {
  local what=$1 m n
  rm -rf "$work/joined" && mkdir -p "$work/joined"
  cat "$(volume 0)" "$(volume 1)" >"$work/joined.tgz"
  tar xzf "$work/joined.tgz" --warning=no-unknown-keyword -C "$work/joined" 2>/dev/null ||
    fail "$what: the volumes are no archive"
  diff -r "$config" "$work/joined/CONFIG" >/dev/null || fail "$what: the volumes differ"
}

# backup-media: the split question answered Yes, each next medium with OK.
backup=("$SVPCONF" backup-media --drive A --answer 4034=yes --answer 4036=ok --answer 3351=yes)
sums >"$work/sums.before"
ms=$(timed "${backup[@]}") || exit 1
sums >"$work/sums.clean"
for n in 0 1; do stat -c %s "$(volume $n)" >"$work/size.$n" || fail "backup-media: no volume $n"; done
check_joined "backup-media"
for n in $(seq "$KILLS"); do
  kill_midway "$ms" "${backup[@]}"
  old_or_clean "backup-media killed after $delay ms"
  check_media "backup-media killed after $delay ms"
  timed "${backup[@]}" >/dev/null
  check_joined "backup-media after a kill"
  echo "backup-media killed after $delay of $ms ms: ok"
done

# restore-gpfm of a backup file with eight large tables; its DKCF carries the
# default serial number, so --confirm answers the serial number question.
dkcf_table "$work/tables"
for t in 1 2 3 4 5 6 7 8; do head -c 375000 /dev/urandom | base64 >"$work/tables/$t"; done
check 0 -- gpfm make "$c/OUT/b.gpfm" --from "$work/tables"
restore=("$SVPCONF" --confirm restore-gpfm 'C:\OUT\b.gpfm')
sums >"$work/sums.before"
ms=$(timed "${restore[@]}") || exit 1
sums >"$work/sums.clean"
for n in $(seq "$KILLS"); do
  kill_midway "$ms" "${restore[@]}"
  old_or_clean "restore-gpfm killed after $delay ms"
  timed "${restore[@]}" >/dev/null
  for t in 1 2 3 4 5 6 7 8; do
    cmp -s "$work/tables/$t" "$c/PLAXON/TMP/TABLES/$t" || fail "restore-gpfm after a kill: table $t"
  done
  echo "restore-gpfm killed after $delay of $ms ms: ok"
done
echo "killed media and gpfm (seed $SEED, $KILLS kills per command): ok"
