#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time,
# one after another, from its seed corpus: fuzz/corpus/TARGET/ (made by
# fuzz/make_seeds.py), and for the backup-file and LZ4 targets valid files
# made here with `svpconf gpfm make` and `gpfm extract`. The corpora grow in a
# scratch folder, never in the repository. Prints one line of figures per
# target; exit status 0 when no target found a fault.
#
#   fuzz/run.sh [SECONDS] [TARGET ...]
#     SECONDS   per target (default $FUZZ_SECONDS, else 15)
#     TARGET    names without "fuzz_" (default: all nine)
#   FUZZ_BUILD  the build folder (build-fuzz); FUZZ_JOBS build jobs (2);
#   FUZZ_NICE   niceness of the runs (0); FUZZ_KEEP a folder that receives
#               the grown corpora
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-15}}
[ $# -gt 0 ] && shift
build=${FUZZ_BUILD:-build-fuzz}
all=(gpfm_parse lz4_decompress tar_command config4_read serial_number world_file profile_read
     tar_extract backup_scan)
if [ $# -gt 0 ]; then targets=("$@"); else targets=("${all[@]}"); fi

CC=clang CXX=clang++ cmake -S . -B "$build" -DTALVER_FUZZ=ON -DTALVER_TESTS=OFF \
  -DTALVER_BENCH=OFF >/dev/null
nice cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target svpconf "${targets[@]/#/fuzz_}"

work=$(mktemp -d /tmp/talver-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
svpconf="$build/svpconf"
for t in "${targets[@]}"; do
  mkdir -p "$work/corpus-$t"
  [ -d "fuzz/corpus/$t" ] && cp fuzz/corpus/"$t"/* "$work/corpus-$t/"
done

# Seed tables: empty, tiny, compressible, noisy and a raw table 63.
mkdir -p "$work/tables" "$work/corpus-gpfm_parse" "$work/corpus-lz4_decompress"
: >"$work/tables/0"
printf 'a' >"$work/tables/1"
head -c 5000 /dev/zero | tr '\0' 'q' >"$work/tables/2"
head -c 3001 /dev/urandom >"$work/tables/7"
head -c 13120 /dev/urandom >"$work/tables/63"
"$svpconf" gpfm make "$work/a.gpfm" --from "$work/tables" >/dev/null
"$svpconf" gpfm make "$work/b.gpfm" --from "$work/tables" --cfm 2 --segment 4001 >/dev/null
# The reader's target takes a whole file behind one even byte.
for f in a b; do
  { printf '\0'; cat "$work/$f.gpfm"; } >"$work/corpus-gpfm_parse/$f"
done
"$svpconf" gpfm extract "$work/a.gpfm" "$work/lz4" >/dev/null
for t in 0 1 2 7; do cp "$work/lz4/$t.lz4" "$work/corpus-lz4_decompress/$t"; done
# Archiver command lines: the forms the library builds.
mkdir -p "$work/corpus-tar_command"
printf '%s' '--display-dialog=1 cvfZ C:\PLAXON\TMP\svp_conf.tgz C:\PLAXON\ @C:\PLAXON\TMP\cnfbaklist' >"$work/corpus-tar_command/create"
printf '%s' '--display-dialog=0 xvfo C:\a.tgz C:\PLAXON\ *.*' >"$work/corpus-tar_command/extract"
printf '%s' '--display-dialog=0 --use-directory=0 xvfo C:\a.tgz C:\plaxon\tmp\ @C:\PLAXON\TMP\cnflist' >"$work/corpus-tar_command/check"

max_len() {
  case $1 in
    gpfm_parse) echo 200000 ;;
    lz4_decompress) echo 8192 ;;
    tar_extract) echo 16384 ;;
    world_file | serial_number | profile_read) echo 4096 ;;
    *) echo 1024 ;;
  esac
}

status=0
printf '%-16s %8s %10s %8s %8s %10s\n' target seconds execs exec/s corpus bytes >"$work/summary"
for t in "${targets[@]}"; do
  echo "== fuzz_$t: ${seconds}s"
  corpus="$work/corpus-$t"
  # A run that takes more than 25 s on one input counts as a hang.
  if ! nice -n "${FUZZ_NICE:-0}" "$build/fuzz/fuzz_$t" "$corpus" -max_total_time="$seconds" \
    -max_len="$(max_len "$t")" -timeout=25 -print_final_stats=1 -artifact_prefix="$work/" \
    2>"$work/$t.log"; then
    status=1
    tail -n 40 "$work/$t.log"
    mkdir -p fuzz-artifacts
    cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* fuzz-artifacts/ 2>/dev/null || true
    echo "== fuzz_$t found a fault (artifacts in fuzz-artifacts/)"
  fi
  # Undefined behaviour in a library built without the fuzzer's flags is
  # only reported: it counts as a fault all the same.
  if grep -q "runtime error:" "$work/$t.log"; then
    status=1
    grep -m 5 "runtime error:" "$work/$t.log"
    echo "== fuzz_$t met undefined behaviour"
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$t.log" | tail -n 1)
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  printf '%-16s %8s %10s %8s %8s %10s\n' "$t" "$seconds" "${execs:-?}" "${rate:-?}" "$files" \
    "$bytes" | tee -a "$work/summary"
  if [ -n "${FUZZ_KEEP:-}" ]; then
    mkdir -p "$FUZZ_KEEP/$t" && cp "$corpus"/* "$FUZZ_KEEP/$t/" 2>/dev/null || true
  fi
done
echo "== figures"
cat "$work/summary"
exit $status
