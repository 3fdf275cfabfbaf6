#!/usr/bin/env bash
# Line coverage of the system folders by the tests: a build with --coverage
# in a folder of its own (build-coverage/), the tests run on it, and gcovr's
# figures per file and in sum. Not run by CI: docs/testing.md.
# Usage: tests/coverage.sh [--all]
#   without --all: talver_tests only; with it: the whole ctest suite
#   TALVER_COVERAGE_DIR  the build folder (build-coverage/ of the tree by default)
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${TALVER_COVERAGE_DIR:-$repo/build-coverage}
system=(archive backupfile common flows media validate exports resources)

cmake -S "$repo" -B "$build" -DTALVER_WERROR=ON -DTALVER_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_C_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage \
  -DCMAKE_SHARED_LINKER_FLAGS=--coverage -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null || exit 1
targets=(talver_tests svpconf)
[ "${1:-}" = --all ] && targets=(all)
cmake --build "$build" -j2 --target "${targets[@]}" >"$build/build.log" 2>&1 || {
  tail -30 "$build/build.log"
  exit 1
}
find "$build" -name '*.gcda' -delete
if [ "${1:-}" = --all ]; then
  ctest --test-dir "$build" -j2 >"$build/test.log" 2>&1
else
  (cd "$build" && TALVER_NO_TERMINAL=1 timeout 1800 tests/talver_tests --gtest_brief=1 >"$build/test.log" 2>&1)
fi || echo "coverage: some tests failed (see $build/test.log); the figures count them as run"
filters=()
for d in "${system[@]}"; do filters+=(--filter "$repo/$d/"); done
gcovr --root "$repo" --object-directory "$build" "${filters[@]}" --print-summary "$build" \
  --txt "$build/coverage.txt" 2>"$build/gcovr.log" | grep -E "^lines:"
echo "coverage: per file in $build/coverage.txt"
