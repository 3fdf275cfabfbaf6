# Cross-compiling for 64-bit Windows with Debian's mingw-w64, its
# posix-threads flavour (std::thread and std::mutex need it with GCC 12).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TALVER_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TALVER_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALVER_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TALVER_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TALVER_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
