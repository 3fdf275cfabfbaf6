// Shared by the files of the POSIX half; not for the system's code.
#pragma once

#include <string>

#include "platform/WinTypes.h"

namespace plat {

// The system error code of a host errno value.
DWORD ErrnoToError(int e);
// Sets the last error; always false, for "return Fail(code);".
bool Fail(DWORD code);
// A search's name match: "*" and "?" ignoring case; "*.*" matches every name
// and "name.*" also matches "name".
bool MatchName(const std::string& pattern, const std::string& name);

}  // namespace plat
