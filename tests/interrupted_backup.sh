#!/bin/bash
# svpconf backup-media onto a medium holding an older backup, stopped by
# SIGINT at a random moment: it exits 130 with --json "interrupted" (0,
# "done", when it had finished), the medium holds the old or the new backup
# whole, the selection takes it, and no temporary is left in the world.
# TALVER_INTERRUPTS=N: stops (5 by default); the delays are drawn from
# TALVER_KILL_SEED (random by default), printed for a rerun.
STOPS=${TALVER_INTERRUPTS:-5}
source "$(dirname "$0")/support/kill.sh"
svp_drive
medium="$work/e1/PLAXON/CONFIG"
mkdir -p "$work/e1"
head -c 100000 /dev/urandom >"$config/CNFDATA/old.dat"
world_ini C=c:fixed E=:removable:size=20000000:media=e1 >"$work/svp.ini"
export TALVER_WORLD="$work/svp.ini"
backup=("$SVPCONF" backup-media --drive E --answer 3351=yes)

# The older backup on the medium, kept aside; then a larger configuration.
timed "${backup[@]}" >/dev/null || exit 1
cp -a "$work/e1" "$work/old"
rm "$config/CNFDATA/old.dat"
for i in 1 2 3 4; do head -c 1000000 /dev/urandom >"$config/CNFDATA/tbl$i.dat"; done
ms=$(timed "${backup[@]}") || exit 1

# The medium holds the old backup byte for byte, or the new one: both
# config4 records the same and the archive that of CONFIG now.
whole() {
  if diff -r "$work/old" "$work/e1" >/dev/null; then
    echo old
    return
  fi
  cmp -s "$medium/config4" "$medium/412345/config4" || return
  rm -rf "$work/x" && mkdir "$work/x"
  tar xzf "$medium/412345/svp_conf.tgz" --warning=no-unknown-keyword -C "$work/x" 2>/dev/null &&
    diff -r "$config" "$work/x/CONFIG" >/dev/null && echo new
}

for n in $(seq "$STOPS"); do
  rm -rf "$work/e1" && cp -a "$work/old" "$work/e1"
  kill_midway -s INT "$ms" "${backup[0]}" --json "${backup[@]:1}"
  what="stopped after $delay ms"
  case $rc in
    0 | 130) ;;
    *) fail "$what: exit $rc: $(cat "$work/killed.err")" ;;
  esac
  # No document only when the signal came before svpconf had set up its handler.
  if [ "$rc" = 0 ] || [ -s "$work/killed.out" ]; then
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1]))
sys.exit(d["outcome"] != {0: "done", 130: "interrupted"}[int(sys.argv[2])])' "$work/killed.out" "$rc" ||
      fail "$what: exit $rc, document: $(cat "$work/killed.out")"
  fi
  held=$(whole)
  [ -n "$held" ] || fail "$what: the medium holds neither backup whole"
  [ "$rc" != 0 ] || [ "$held" = new ] || fail "$what: a finished backup is not on the medium"
  out=$(timeout 30 "$SVPCONF" select-media --request-kind 5 --drive E </dev/null 2>&1)
  grep -q '^result=1' <<<"$out" || fail "$what: the selection takes no backup: $out"
  left=$(find "$work" -name '*.~tv*' | head -3)
  [ -z "$left" ] || fail "$what: temporaries left: $left"
  echo "backup-media stopped after $delay of $ms ms (exit $rc): the $held backup"
done
echo "interrupted backups (seed $SEED, $STOPS stops): ok"
