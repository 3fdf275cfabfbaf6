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

// The same beside the entry `final` of the open folder `folder`
// (plat::OpenFolder); `temporary` gets the temporary's name in the folder.
HANDLE CreateTemporaryIn(HANDLE folder, const std::string& final, std::string* temporary);

// The folder part of a path ("C:\\A\\b.dat" -> "C:\\A\\"); empty without one.
std::string FolderOf(const std::string& path);

// Makes a whole temporary its final name, durably: flushes and closes `file`
// (the temporary's handle, closed on every path), renames the temporary
// over `final` and flushes the folder, so that neither the bytes nor the
// new name can be lost once this returns true. On failure the temporary is
// removed and the last error is that of the failed step.
// A final name that is a link is never replaced: ERROR_ACCESS_DENIED.
// With `flushFolder` false the folder is left to the caller, who flushes it
// (plat::FlushFolder) once for many names before it counts on any of them.
bool CommitTemporary(HANDLE file, const std::string& temporary, const std::string& final,
                     bool flushFolder = true);

// True when the path names a link (which no temporary replaces).
bool IsLink(const std::string& path);

// Makes a new folder beside `final` (a path without a closing separator)
// under a temporary name of its own, in which a tree is built whole before
// it takes its final name. False with the last error set when none could be
// made; the path does not fit: ERROR_FILENAME_EXCED_RANGE.
bool CreateTemporaryFolderBeside(const std::string& final, std::string* temporary);

// Removes the temporaries of a folder: those left by a call that was killed
// or lost its medium, a folder under a temporary name with all it holds (a
// link in it goes itself, never followed). Only a caller that owns the
// folder for the time (the flows under their lock) may call it. The count
// removed.
int RemoveTemporariesIn(const std::string& folder);

// Removes the folder `path` with all it holds; a link in it goes itself,
// never followed. False when anything is left.
bool RemoveTree(const std::string& path);
// Removes the temporaries of one final name only (its folder's others stay).
int RemoveTemporariesOf(const std::string& final);

}  // namespace plat
