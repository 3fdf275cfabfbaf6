#!/usr/bin/env bash
# Set-up of a fresh Debian machine: installs what is missing, builds, and then
#   ./setup.sh run    installs and builds only the library and svpconf, makes
#                     the default world and runs the main job on it
#   ./setup.sh test   installs the rest too, builds everything and runs the
#                     tests (also once under ASan and UBSan), and builds the
#                     Windows DLLs and runs their tests under Wine
#   ./setup.sh windows  only the Windows DLLs and their tests under Wine
set -euo pipefail
cd "$(dirname "$0")"
what=${1:-run}

# What the library and svpconf need to build and run ...
packages=(cmake make g++ pkg-config tar gzip
          libarchive-dev zlib1g-dev liblz4-dev libdeflate-dev libinih-dev libcli11-dev
          nlohmann-json3-dev libisal-dev)
# ... and what the tests, the benchmarks, the fuzz targets and the Windows
# build need besides.
test_packages=(tmux isal pigz libarchive-tools gcovr
               libgtest-dev libgmock-dev clang clang-format libclang-rt-14-dev g++-mingw-w64-x86-64
               libz-mingw-w64-dev googletest wine wine64 xvfb xz-utils debian-archive-keyring)
case "$what" in
  run) ;;
  *) packages+=("${test_packages[@]}") ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

jobs=$(nproc)
build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DTALVER_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

# The Windows build: LZ4 and libarchive cross-compiled once from Debian's
# source packages, then the DLLs and the Windows tests run under Wine.
windows() {
  cmake/windows/deps.sh build-win/deps
  build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/windows/toolchain.cmake
  TALVER_REQUIRE_WINE=1 ctest --test-dir build-win --output-on-failure -j"$jobs"
}

case "$what" in
  run)
    # Only the library and svpconf: no tests, benchmarks or Windows half.
    cmake -S . -B build -DTALVER_WERROR=ON -DTALVER_TESTS=OFF -DTALVER_BENCH=OFF >/dev/null
    cmake --build build -j"$jobs" --target talver svpconf
    world=${TALVER_WORLD_DIR:-$PWD/world}
    build/svpconf init --force "$world"
    build/svpconf --env "$world/svp.ini" compressed
    build/svpconf --env "$world/svp.ini" hdd-backup
    build/svpconf --env "$world/svp.ini" trace --tail 12
    ;;
  test)
    build build -DTALVER_TESTS=ON -DTALVER_BENCH=ON
    # The Windows seam check must run here, not be skipped.
    TALVER_REQUIRE_MINGW=1 ctest --test-dir build --output-on-failure -j"$jobs"
    windows
    # A short bounded run of each fuzz target (clang's libFuzzer).
    FUZZ_SECONDS=${FUZZ_SECONDS:-15} fuzz/run.sh
    # Once more under AddressSanitizer and UndefinedBehaviorSanitizer, built
    # without optimisation: it compiles in a third of the time and the tests
    # stay short.
    build build-asan -DTALVER_SANITIZE=ON -DTALVER_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-asan --output-on-failure -j"$jobs"
    ;;
  windows)
    windows
    ;;
  *)
    echo "usage: $0 run|test|windows" >&2
    exit 2
    ;;
esac
