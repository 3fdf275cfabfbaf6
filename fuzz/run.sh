#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, makes a small seed corpus of valid
# backup files with `svpconf gpfm make` (and their tables with `gpfm
# extract`), and runs each target for a bounded time. Exit status 0 when no
# target found a fault.
#
#   fuzz/run.sh [SECONDS]    (default 20 per target; FUZZ_BUILD names the build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-20}}
build=${FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DTALVER_FUZZ=ON -DTALVER_TESTS=OFF \
  -DTALVER_BENCH=OFF >/dev/null
nice cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target svpconf fuzz_gpfm_parse fuzz_lz4_decompress fuzz_tar_command

work=$(mktemp -d /tmp/talver-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
svpconf="$build/svpconf"

# Seed tables: empty, tiny, compressible, noisy and a raw table 63.
mkdir -p "$work/tables" "$work/corpus-gpfm" "$work/corpus-lz4"
: >"$work/tables/0"
printf 'a' >"$work/tables/1"
head -c 5000 /dev/zero | tr '\0' 'q' >"$work/tables/2"
head -c 3001 /dev/urandom >"$work/tables/7"
head -c 13120 /dev/urandom >"$work/tables/63"
"$svpconf" gpfm make "$work/a.gpfm" --from "$work/tables" >/dev/null
"$svpconf" gpfm make "$work/b.gpfm" --from "$work/tables" --cfm 2 --segment 4001 >/dev/null
# The reader's target takes a whole file behind one even byte.
for f in a b; do
  { printf '\0'; cat "$work/$f.gpfm"; } >"$work/corpus-gpfm/$f"
done
"$svpconf" gpfm extract "$work/a.gpfm" "$work/lz4" >/dev/null
for t in 0 1 2 7; do cp "$work/lz4/$t.lz4" "$work/corpus-lz4/$t"; done

status=0
run() {
  local target=$1 corpus=$2
  shift 2
  echo "== $target: ${seconds}s"
  if ! "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$work/" "$@" 2>"$work/$target.log"; then
    status=1
    tail -n 40 "$work/$target.log"
    mkdir -p fuzz-artifacts && cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* fuzz-artifacts/ 2>/dev/null || true
    echo "== $target found a fault (artifacts in fuzz-artifacts/)"
  else
    grep -E "stat::number_of_executed_runs|cov:" "$work/$target.log" | tail -n 2 || true
  fi
}
run fuzz_gpfm_parse "$work/corpus-gpfm" -max_len=200000
run fuzz_lz4_decompress "$work/corpus-lz4" -max_len=8192
# Archiver command lines: the forms the library builds are the seeds.
mkdir -p "$work/corpus-tar"
printf '%s' '--display-dialog=1 cvfZ C:\PLAXON\TMP\svp_conf.tgz C:\PLAXON\ @C:\PLAXON\TMP\cnfbaklist' >"$work/corpus-tar/create"
printf '%s' '--display-dialog=0 xvfo C:\a.tgz C:\PLAXON\ *.*' >"$work/corpus-tar/extract"
printf '%s' '--display-dialog=0 --use-directory=0 xvfo C:\a.tgz C:\plaxon\tmp\ @C:\PLAXON\TMP\cnflist' >"$work/corpus-tar/check"
run fuzz_tar_command "$work/corpus-tar" -max_len=1024
exit $status
