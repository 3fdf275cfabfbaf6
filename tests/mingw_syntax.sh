#!/usr/bin/env bash
# Every source of the system and of the platform interface compiles against
# the real Windows headers (mingw-w64, syntax only; docs/windows.md builds
# them for real), seeing what a Windows build would: the system's folders,
# platform/*.h, the service libraries', the archiver's and lz4.h, no POSIX
# half nor window emulation. The "-posix" compiler is taken where there is
# one (std::mutex). Skipped (77) without one, unless TALVER_REQUIRE_MINGW.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

cxx=""
for candidate in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
  if command -v "$candidate" >/dev/null; then cxx=$candidate; break; fi
done
[ -n "$cxx" ] || { echo "mingw_syntax: no x86_64-w64-mingw32-g++ (package g++-mingw-w64-x86-64)" &&
  exit $([ -n "${TALVER_REQUIRE_MINGW:-}" ] && echo 1 || echo 77); }

lz4=$(pkg-config --variable=includedir liblz4 2>/dev/null || echo /usr/include)/lz4.h
[ -f "$lz4" ] || { echo "mingw_syntax: $lz4 is missing (package liblz4-dev)"; exit 1; }

system_dirs=(exports flows media validate archive backupfile common resources)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/include/platform" "$work/lz4"
for dir in "${system_dirs[@]}" svpsvc tar32 include; do [ ! -d "$repo/$dir" ] || ln -s "$repo/$dir" "$work/include/"; done
ln -s "$repo"/platform/*.h "$work/include/platform/"
ln -s "$lz4" "$work/lz4/lz4.h"

sources=()
for dir in "${system_dirs[@]}" platform; do
  for f in "$repo/$dir"/*.cpp; do if [ -e "$f" ]; then sources+=("$f"); fi; done
done
headers=("$repo"/platform/*.h)

flags=(-std=c++20 -fsyntax-only -DTALVER_BUILDING_LIBRARY -Wall -Wextra -Werror -I"$work/include" -isystem "$work/lz4")
# The interface headers that no source above includes, too.
for h in "${headers[@]}"; do echo "#include \"platform/${h##*/}\""; done >"$work/headers.cpp"
sources+=("$work/headers.cpp")

# As many at a time as there are cores; the compiler names what fails.
printf '%s\n' "${flags[@]}" >"$work/flags"
printf '%s\0' "${sources[@]}" | xargs -0 -n1 -P"$(nproc)" "$cxx" @"$work/flags" ||
  { echo "mingw_syntax: a source does not compile against the Windows headers" && exit 1; }
echo "mingw_syntax: $((${#sources[@]} - 1)) sources and ${#headers[@]} interface headers compile with $cxx"
