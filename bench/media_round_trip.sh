#!/usr/bin/env bash
# The backup to media of a configuration of about 3 MB (incompressible table
# files) onto three floppies and the setup back from them, against
# tar czf | split -b 1400000 and cat | tar xzf of the same tree, in one run.
#   bench/media_round_trip.sh SVPCONF [RUNS]
set -uo pipefail
SVPCONF=$1
runs=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
config="$work/c/PLAXON/CONFIG"
mkdir -p "$config/CNFDATA" "$work/c/PLAXON/TMP" "$work/c/PLAXON/MP/PC"
printf 'SVPCONF 01020360\r\nLINE2\r\n' >"$config/CONFIG.INF"
printf '[SVP_MAIN]\r\nType=TQ520\r\n' >"$config/SVP_MAIN.INI"
printf 'SERIAL=412345\r\nMODEL=7\r\n' >"$config/DKCPRP.DAT"
printf 'PCMTYPE=3\r\n' >"$config/LMCPT.DAT"
{
  printf 'HEADBYTES!\x60\x83\x01\x00'
  head -c 18 /dev/zero
} >"$config/config4"
for i in 1 2 3 4 5 6; do head -c 500000 /dev/urandom >"$config/CNFDATA/tbl$i.dat"; done
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
[drive.T]
path = t
type = fixed
INI
export TALVER_WORLD="$work/svp.ini"
now() { date +%s.%N; }
best() { sort -g | head -1; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", a / b }'; }
backup=() setup=() tarc=() tarx=()
setup_ok=1
for ((r = 0; r < runs; r++)); do
  rm -rf "$work"/f? "$work/t" "$work/split" "$work/out"
  mkdir -p "$work/f1" "$work/f2" "$work/f3" "$work/t/SVP/TMP" "$work/split" "$work/out"
  t0=$(now)
  "$SVPCONF" backup-media --drive A --answer 4034=yes --answer 4036=ok </dev/null >/dev/null 2>&1 ||
    { echo "backup-media failed"; exit 1; }
  t1=$(now)
  backup+=("$(elapsed "$t0" "$t1")")
  t0=$(now)
  if ! "$SVPCONF" setup 'A:\' 'T:\SVP\' --setup-source backup --drive A --backup 412345 \
    --answer 3836=ok </dev/null >/dev/null 2>&1; then
    setup_ok=0
  fi
  t1=$(now)
  setup+=("$(elapsed "$t0" "$t1")")
  t0=$(now)
  (cd "$work/c/PLAXON" && tar czf - CONFIG | split -b 1400000 - "$work/split/svp_conf.")
  t1=$(now)
  tarc+=("$(elapsed "$t0" "$t1")")
  t0=$(now)
  cat "$work/split"/svp_conf.* | tar xzf - -C "$work/out"
  t1=$(now)
  tarx+=("$(elapsed "$t0" "$t1")")
done
b=$(printf '%s\n' "${backup[@]}" | best)
s=$(printf '%s\n' "${setup[@]}" | best)
c=$(printf '%s\n' "${tarc[@]}" | best)
x=$(printf '%s\n' "${tarx[@]}" | best)
printf 'backup-media (3 floppies)   %.3f s   tar czf | split  %.3f s   ratio %.2f\n' "$b" "$c" \
  "$(ratio "$b" "$c")"
if [ $setup_ok -eq 1 ]; then
  printf 'setup (3 floppies)          %.3f s   cat | tar xzf    %.3f s   ratio %.2f\n' "$s" "$x" \
    "$(ratio "$s" "$x")"
else
  printf 'setup: not available in this build (cat | tar xzf %.3f s)\n' "$x"
fi
