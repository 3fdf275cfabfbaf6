# The native Windows build, cross-compiled with Debian's mingw-w64
# (cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/windows/toolchain.cmake):
#
#   talverplat.dll  the platform interface and its Windows half (platform/win32/)
#   svpsvc.dll      the stand-ins of the SVP's service libraries
#   tar32.dll       the archiver stand-in, on libarchive and zlib
#   talver.dll      the system: the 21 exports at the ordinals of exports/talver.def,
#                   its dialogs and string table as Windows resources
#
# The window emulation and the POSIX half are not compiled: the dialogs run
# on the system's own dialog manager. docs/windows.md tells which DLL exports
# what.
set(CMAKE_CXX_VISIBILITY_PRESET default)
set(CMAKE_C_VISIBILITY_PRESET default)
set(CMAKE_VISIBILITY_INLINES_HIDDEN OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)
# Every program and DLL in one folder, as Windows looks for DLLs beside the
# program that loads them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_SHARED_LIBRARY_PREFIX "")
add_compile_definitions(_WIN32_WINNT=0x0601)

# LZ4 and libarchive: Debian's source packages, cross-compiled once.
set(TALVER_WIN_DEPS ${CMAKE_BINARY_DIR}/deps CACHE PATH "Prefix of the cross-compiled LZ4 and libarchive")
if(NOT EXISTS ${TALVER_WIN_DEPS}/.done)
  message(STATUS "Cross-compiling LZ4 and libarchive into ${TALVER_WIN_DEPS}")
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/cmake/windows/deps.sh ${TALVER_WIN_DEPS}
                  RESULT_VARIABLE deps_result)
  if(NOT deps_result EQUAL 0)
    message(FATAL_ERROR "cmake/windows/deps.sh failed")
  endif()
endif()
add_library(talver_win_lz4 STATIC IMPORTED)
set_target_properties(talver_win_lz4 PROPERTIES IMPORTED_LOCATION ${TALVER_WIN_DEPS}/lib/liblz4.a
                      INTERFACE_INCLUDE_DIRECTORIES ${TALVER_WIN_DEPS}/include)
find_library(TALVER_WIN_ZLIB NAMES libz.a REQUIRED)
add_library(talver_win_archive STATIC IMPORTED)
set_target_properties(talver_win_archive PROPERTIES
  IMPORTED_LOCATION ${TALVER_WIN_DEPS}/lib/libarchive.a
  INTERFACE_INCLUDE_DIRECTORIES ${TALVER_WIN_DEPS}/include
  INTERFACE_COMPILE_DEFINITIONS LIBARCHIVE_STATIC
  INTERFACE_LINK_LIBRARIES "${TALVER_WIN_ZLIB};bcrypt;advapi32")

# The C++ runtime DLLs of the posix-threads flavour go beside the DLLs.
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${runtime_path}")
    set(runtime_path /usr/${TALVER_MINGW}/lib/${runtime})
  endif()
  file(COPY ${runtime_path} DESTINATION ${CMAKE_BINARY_DIR}/bin)
endforeach()

# The DLLs of the outside world export every name they define (their
# callers link their import libraries).
function(talver_win_dll target)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${target})
  target_link_options(${target} PRIVATE -Wl,--export-all-symbols -Wl,--no-undefined)
endfunction()

talver_glob(PLATFORM_SOURCES platform platform/win32)
add_library(talverplat SHARED ${PLATFORM_SOURCES})
talver_include_farm(talverplat ${TALVER_PLATFORM_INTERFACE} platform/win32)
target_link_libraries(talverplat PUBLIC mpr comctl32 user32 gdi32)
talver_win_dll(talverplat)

talver_glob(SVPSVC_SOURCES svpsvc)
add_library(svpsvc SHARED ${SVPSVC_SOURCES})
talver_include_farm(svpsvc ${TALVER_PLATFORM_INTERFACE} svpsvc)
target_link_libraries(svpsvc PUBLIC talverplat)
talver_win_dll(svpsvc)

talver_glob(TAR32_SOURCES tar32)
add_library(tar32 SHARED ${TAR32_SOURCES})
talver_include_farm(tar32 ${TALVER_PLATFORM_INTERFACE} tar32)
target_link_libraries(tar32 PUBLIC talverplat PRIVATE talver_win_archive)
talver_win_dll(tar32)
# libarchive and zlib stay inside.
target_link_options(tar32 PRIVATE -Wl,--exclude-libs,libarchive.a:libz.a)

# The module's resources: rc_script, built for this machine from the same
# template data the POSIX build registers, writes talver.rc; windres compiles it.
set(TALVER_RC ${CMAKE_BINARY_DIR}/talver.rc)
set(TALVER_RC_TOOL ${CMAKE_BINARY_DIR}/rc_script)
find_program(TALVER_HOST_CXX NAMES c++ g++ REQUIRED)
add_custom_command(
  OUTPUT ${TALVER_RC}
  COMMAND ${TALVER_HOST_CXX} -std=c++20 -Wno-unused-parameter -I${CMAKE_SOURCE_DIR}
          -I${CMAKE_SOURCE_DIR}/resources ${CMAKE_SOURCE_DIR}/resources/Resources.cpp
          ${CMAKE_SOURCE_DIR}/cmake/windows/rc_script.cpp -o ${TALVER_RC_TOOL}
  COMMAND ${TALVER_RC_TOOL} ${TALVER_RC}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/Resources.cpp ${CMAKE_SOURCE_DIR}/resources/Resources.h
          ${CMAKE_SOURCE_DIR}/cmake/windows/rc_script.cpp
  COMMENT "Writing talver.rc from the module's templates and string table")

# The system's folders, each an object library with the include farm of its
# layer (CMakeLists.txt), make one DLL.
talver_system_layers(svpsvc tar32 include)
foreach(dir ${TALVER_SYSTEM_LAYERS})
  target_link_libraries(talver_${dir} PRIVATE talver_win_lz4)
endforeach()
add_library(talver SHARED ${TALVER_SYSTEM_OBJECTS} ${TALVER_RC} ${CMAKE_SOURCE_DIR}/exports/talver.def)
target_link_libraries(talver PRIVATE svpsvc tar32 talverplat talver_win_lz4 comctl32 user32 gdi32)
set_target_properties(talver PROPERTIES OUTPUT_NAME talver)
target_link_options(talver PRIVATE -Wl,--no-undefined)

if(TALVER_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
