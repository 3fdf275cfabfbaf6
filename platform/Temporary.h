// Temporaries: a file on its way to its final name. Every temporary the
// system, the archiver and the service libraries make has one form, the
// final name followed by ".~tv" and eight hexadecimal digits, so that any
// of them can tell a temporary from a file of the configuration.
#pragma once

#include <string>

#include "platform/WinTypes.h"

namespace plat {

inline constexpr char kTemporaryMark[] = ".~tv";

// Whether the last component of `name` is a temporary's name.
bool IsTemporaryName(const std::string& name);

// Creates a new file beside `final` under a temporary name of its own
// (exclusively, for writing, no sharing); a name that is taken is passed over
// for another. Null with the last error set when none could be made; the
// path does not fit: ERROR_FILENAME_EXCED_RANGE.
HANDLE CreateTemporaryBeside(const std::string& final, std::string* temporary);

}  // namespace plat
