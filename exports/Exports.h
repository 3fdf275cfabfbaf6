// The library's exported functions: the public header declares them, for C
// and C++ callers alike, and the library's definitions compile against that
// same declaration (ordinals in talver.def).
#pragma once

#include <type_traits>

#include "include/talver.h"
#include "platform/WinTypes.h"

// A function of the library's dynamic symbol table beside the exports (the
// host API).
#define TALVER_EXPORT extern "C" TALVER_API

// The library's code writes the exports with the system's types; they must be
// the very types of the public header, or a definition would be an overload
// that no caller reaches.
static_assert(std::is_same_v<talver_hwnd, HWND>);
static_assert(std::is_same_v<talver_byte, BYTE>);
static_assert(std::is_same_v<talver_word, WORD>);
static_assert(std::is_same_v<talver_dword, DWORD>);
