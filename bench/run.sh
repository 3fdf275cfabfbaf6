#!/usr/bin/env bash
# Runs every benchmark of docs/performance.md on a build.
#   bench/run.sh [BUILD]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
echo "== archiver: create and extract against GNU tar"
/usr/bin/time -f "peak RSS %M KB" "$build/bench/bench_tar_bench" --runs 2
echo "== backup files: parse and conversion against cp"
"$build/bench/bench_gpfm_bench"
echo "== HDD backup with 0, 100 and 150 backups present"
"$build/bench/bench_hdd_backup" "$build/svpconf"
echo "== dialog message throughput"
"$build/bench/bench_win_messages" 100000
echo "== backup to media and setup back, against tar czf | split and cat | tar xzf"
bench/media_round_trip.sh "$build/svpconf"
echo "== one folder of 1,000 to 100,000 files: unpack against tar xzf, time per file"
"$build/bench/bench_wide_folder_bench" "$build/svpconf"
echo "== the whole exports on a 300 MB configuration against their peers and the floor"
"$build/bench/bench_exports_bench" "$build/svpconf" --runs 2
