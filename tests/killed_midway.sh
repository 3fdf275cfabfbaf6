#!/bin/bash
# svpconf hdd-backup, unpack and setup killed with SIGKILL at a random
# moment. After each kill no target file stands truncated under its final
# name, the next run succeeds, the HDD backups that count are exactly the
# whole ones, and an unpack into CONFIG leaves nothing the next backup packs.
# TALVER_KILLS=N: kills per command (3 by default); the delays are drawn
# from TALVER_KILL_SEED (random by default), printed for a rerun.
KILLS=${TALVER_KILLS:-3}
source "$(dirname "$0")/support/kill.sh"
sample_world "$work/world"
# A configuration large enough that each command runs a while.
for i in 1 2 3 4; do head -c 1500000 /dev/urandom >"$c/PLAXON/CONFIG/BIG$i.DAT"; done

# Every file of the tree $1 is absent from $2 or the same there, and no file
# of $2 but temporaries is unknown to $1.
no_truncated() {
  local ref=$1 got=$2 what=$3
  [ -d "$got" ] || return 0
  (cd "$got" && find . -type f) | while read -r f; do
    case "$f" in *.~tv* | *.cp~ | */min500*) continue ;; esac
    # The names of the unpacked tree match the archive's ignoring case.
    local match
    match=$(cd "$ref" && find . -type f -ipath "$f" | head -1)
    [ -n "$match" ] || fail "$what: unknown file $f"
    cmp -s "$ref/$match" "$got/$f" || fail "$what: $f is not whole"
  done || exit 1
}

# The CONFIG folder below $1, whatever its case; same_config: it is the archive's.
config_of() { find "$1" -maxdepth 1 -iname config | head -1; }
same_config() {
  diff -r -x '*.~tv*' -x 'min500*' "$work/ref/CONFIG" "$(config_of "$1")" >/dev/null || fail "$2: the tree differs"
}

# The backups that count are exactly the whole archives.
check_backups() {
  local whole=0 dir
  for dir in "$c"/PLAXON/OTHERS/BACKUP/*/; do
    [ -s "$dir/svp_conf.tgz" ] || continue
    tar tzf "$dir/svp_conf.tgz" >/dev/null 2>&1 ||
      fail "a partial archive counts as a backup: $dir"
    whole=$((whole + 1))
  done
  check 0 "$whole valid of.*" -- backups
  [ ! -e "$c/PLAXON/DIFF/svp_conf.tgz" ] || tar tzf "$c/PLAXON/DIFF/svp_conf.tgz" >/dev/null 2>&1 ||
    fail "the DIFF copy is not whole"
}

ms=$(timed "$SVPCONF" hdd-backup) || exit 1
cp "$c/PLAXON/DIFF/svp_conf.tgz" "$work/archive.tgz"
mkdir -p "$work/ref"
tar xzf "$work/archive.tgz" -C "$work/ref" 2>/dev/null || fail "tar"
for n in $(seq "$KILLS"); do
  sleep 1 # a backup folder of its own
  kill_midway "$ms" "$SVPCONF" hdd-backup
  check_backups
  sleep 1
  timed "$SVPCONF" hdd-backup >/dev/null
  check_backups
  echo "hdd-backup killed after $delay of $ms ms: ok"
done

# unpack into a fresh folder each time
mkdir -p "$c/IN" "$c/UNPACKED" && cp "$work/archive.tgz" "$c/IN/in.tgz"
unpack=("$SVPCONF" unpack 'C:\IN\in.tgz' 'C:\UNPACKED\')
ms=$(timed "${unpack[@]}") || exit 1
for n in $(seq "$KILLS"); do
  rm -rf "$c/UNPACKED" && mkdir -p "$c/UNPACKED"
  kill_midway "$ms" "${unpack[@]}"
  no_truncated "$work/ref" "$c/UNPACKED" "unpack killed after $delay ms"
  timed "${unpack[@]}" >/dev/null
  same_config "$c/UNPACKED" "unpack after a kill"
  echo "unpack killed after $delay of $ms ms: ok"
done

# unpack into CONFIG itself, killed: the next HDD backup packs no temporary
for n in $(seq "$KILLS"); do
  kill_midway "$ms" "$SVPCONF" unpack 'C:\IN\in.tgz' 'C:\PLAXON\CONFIG\'
  sleep 1 # a backup folder of its own
  timed "$SVPCONF" hdd-backup >/dev/null
  tar tzf "$c/PLAXON/DIFF/svp_conf.tgz" >"$work/names" 2>/dev/null || fail "tar tzf"
  ! grep -F '.~tv' "$work/names" || fail "unpack into CONFIG killed after $delay ms: packed"
  echo "unpack into CONFIG killed after $delay of $ms ms, then hdd-backup: ok"
done

# setup from the CD-R into a target tree
mkdir -p "$work/world/drives/d/PLAXON/CONFIG/8360"
cp "$work/archive.tgz" "$work/world/drives/d/PLAXON/CONFIG/8360/svp_conf.tgz"
setup=("$SVPCONF" --setup-source cdr --key XBKZNRTQ --answer 4053=ok setup 'D:\' 'C:\TARGET\')
mkdir -p "$c/TARGET/TMP" "$c/TARGET/CONFIG"
ms=$(timed "${setup[@]}") || exit 1
for n in $(seq "$KILLS"); do
  rm -rf "$c/TARGET" && mkdir -p "$c/TARGET/TMP" "$c/TARGET/CONFIG"
  kill_midway "$ms" "${setup[@]}"
  no_truncated "$work/ref/CONFIG" "$(config_of "$c/TARGET")" "setup killed after $delay ms"
  if [ -e "$c/TARGET/TMP/svp_conf.tgz" ]; then
    cmp -s "$work/archive.tgz" "$c/TARGET/TMP/svp_conf.tgz" ||
      fail "setup killed after $delay ms: the fetched archive is not whole"
  fi
  timed "${setup[@]}" >/dev/null
  same_config "$c/TARGET" "setup after a kill"
  echo "setup killed after $delay of $ms ms: ok"
done
echo "killed midway (seed $SEED, $KILLS kills per command): ok"
