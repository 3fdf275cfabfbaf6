#!/usr/bin/env bash
# `cmake --install` puts the library, its header, svpconf, the pkg-config
# file and the CMake package under a prefix; a C program built against them
# with pkg-config, and through find_package(talver), calls exports.
source "$(dirname "$0")/support/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)
c_toolchain
libdir=$(cached CMAKE_INSTALL_LIBDIR)
includedir=$(cached CMAKE_INSTALL_INCLUDEDIR)
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  fail "cmake --install: $(cat "$work/install.log")"

# The installed files; the library carries its SONAME, svpconf finds it from
# its own place.
for f in "$libdir/libtalver.so" "$includedir/talver.h" bin/svpconf "$libdir/pkgconfig/talver.pc" \
  "$libdir/cmake/talver/talverConfig.cmake" "$libdir/cmake/talver/talverConfigVersion.cmake" \
  "$libdir/cmake/talver/talverTargets.cmake"; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
soname=$(readelf -d "$prefix/$libdir/libtalver.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ -n "$soname" ] && [ -e "$prefix/$libdir/$soname" ] || fail "library SONAME '$soname' not installed"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
version=$(pkg-config --modversion talver) || fail "pkg-config does not know talver"
out=$(env -u LD_LIBRARY_PATH timeout 60 "$prefix/bin/svpconf" --version 2>&1) || fail "svpconf --version: $out"
[ "$out" = "svpconf (talver) $version" ] || fail "svpconf --version printed '$out', the package is $version"

# The header alone is C89, C99 and C++.
echo '#include <talver.h>' >"$work/only.c"
for compile in "$cc -std=c89 -pedantic-errors" "$cc -std=c99 -pedantic-errors" "$cxx -std=c++20 -x c++"; do
  $compile -Wall -Wextra -Werror -fsyntax-only $(pkg-config --cflags talver) "$work/only.c" 2>&1 ||
    fail "talver.h does not compile with $compile"
done

# The program against a sample world, once built with pkg-config and once
# through the CMake package.
SVPCONF=$prefix/bin/svpconf sample_world "$work/world"
run_program() {
  local program=$1 how=$2
  out=$(timeout 20 "$program" 2>&1)
  [ $? -eq 0 ] || fail "$how: $out"
  echo "$out" | grep -qx "version=$version" || fail "$how: library version: $out"
  echo "$out" | grep -qx 'config-type=8360 result=1 word=0x0000' || fail "$how: config type: $out"
}
$cc -std=c99 -pedantic -Wall -Wextra -Werror $sanitize "$here/c_program/main.c" -o "$work/c_program" \
  $(pkg-config --cflags --libs talver) -Wl,-rpath,"$prefix/$libdir" 2>&1 ||
  fail "cannot build the C program with pkg-config"
run_program "$work/c_program" pkg-config
trace=$(timeout 60 "$prefix/bin/svpconf" trace 2>&1)
[ "$(echo "$trace" | grep -cx 'Compressed Start')" -eq 1 ] &&
  [ "$(echo "$trace" | grep -cx 'Compressed END')" -eq 1 ] ||
  fail "dsvp_TalverIsCompressed did not write its two trace lines: $trace"

cmake -S "$here/c_program" -B "$work/c_build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$sanitize" >"$work/c_build.log" 2>&1 &&
  cmake --build "$work/c_build" >>"$work/c_build.log" 2>&1 ||
  fail "cannot build the C program through find_package(talver): $(cat "$work/c_build.log")"
run_program "$work/c_build/c_program" cmake
echo "installed under a prefix; the C program ran with pkg-config and with find_package"
