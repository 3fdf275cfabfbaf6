// Shared by the files of the POSIX half; not for the system's code.
#pragma once

#include "platform/WinTypes.h"

namespace plat {

// The system error code of a host errno value.
DWORD ErrnoToError(int e);
// Sets the last error; always false, for "return Fail(code);".
bool Fail(DWORD code);

}  // namespace plat
