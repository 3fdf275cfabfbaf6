#!/usr/bin/env bash
# The outside libraries of the Windows build, cross-compiled once with
# mingw-w64 into a cached prefix: LZ4 (lib/lz4.c, for the .gpfm tables) and
# libarchive (the archiver stand-in, with zlib only). Debian packages neither
# for mingw, so their Debian source packages are fetched with apt-get source
# (bookworm: lz4 1.9.4, libarchive 3.6.2) through a private apt folder that
# touches nothing of the machine's own apt set-up. zlib is Debian's mingw
# build (libz-mingw-w64-dev).
#
#   cmake/windows/deps.sh PREFIX     (skipped when PREFIX/.done exists)
set -euo pipefail
prefix=$(realpath -m "${1:?usage: deps.sh PREFIX}")
[ -f "$prefix/.done" ] && exit 0
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$prefix.work
rm -rf "$work" && mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$prefix/include" "$prefix/lib"

cat >"$work/apt/src.sources" <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt"
          -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache"
          -o Debug::NoLocking=1)
apt-get "${apt_opts[@]}" update -qq 2>&1 | grep -v "unsandboxed" || true
(cd "$work" && apt-get "${apt_opts[@]}" source --download-only -qq lz4 libarchive 2>&1 | grep -v "unsandboxed" || true)
if ! ls "$work"/lz4_*.orig.tar.?z "$work"/libarchive_*.orig.tar.?z >/dev/null 2>&1; then
  echo "deps.sh: apt-get source fetched no lz4 or libarchive sources (is deb.debian.org reachable?)" >&2
  exit 1
fi
for f in "$work"/lz4_*.orig.tar.?z "$work"/libarchive_*.orig.tar.?z; do tar -xf "$f" -C "$work"; done

cc=x86_64-w64-mingw32-gcc-posix
# LZ4: the block format is all the system needs.
lz4=$(ls -d "$work"/lz4-*/ | head -1)
$cc -O2 -c "$lz4/lib/lz4.c" -o "$work/lz4.o"
x86_64-w64-mingw32-ar rcs "$prefix/lib/liblz4.a" "$work/lz4.o"
cp "$lz4/lib/lz4.h" "$prefix/include/"

# libarchive: static, zlib only, every other option off.
la=$(ls -d "$work"/libarchive-*/ | head -1)
# Its zlib check runs a test program, which a cross build cannot (CMake 3.25
# crashes on it): it is only compiled. ZLIB_WINAPI changes nothing on x86_64.
sed -i '/TRY_MACRO_FOR_LIBRARY(/{n;n;s/^\( *\)RUNS$/\1COMPILES/}' "$la/CMakeLists.txt"
cmake -S "$la" -B "$work/la-build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/windows/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
  -DENABLE_ZLIB=ON -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a -DENABLE_BZip2=OFF -DENABLE_LZMA=OFF -DENABLE_LZ4=OFF -DENABLE_ZSTD=OFF \
  -DENABLE_LZO=OFF -DENABLE_LIBB2=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_PCREPOSIX=OFF \
  -DENABLE_PCRE2POSIX=OFF -DENABLE_LibGCC=OFF -DENABLE_CNG=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF \
  -DENABLE_NETTLE=OFF -DENABLE_ICONV=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF -DENABLE_CAT=OFF \
  -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_TEST=OFF -DENABLE_WERROR=OFF -DENABLE_INSTALL=ON >/dev/null
cmake --build "$work/la-build" -j2 --target archive_static >/dev/null
cp "$work/la-build/libarchive/libarchive.a" "$prefix/lib/libarchive.a" 2>/dev/null ||
  cp "$work"/la-build/libarchive/libarchive_static.a "$prefix/lib/libarchive.a"
cp "$la/libarchive/archive.h" "$la/libarchive/archive_entry.h" "$prefix/include/"
rm -rf "$work"
touch "$prefix/.done"
