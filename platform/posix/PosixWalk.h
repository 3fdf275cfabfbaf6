// The walks of the POSIX half: host descriptors, the entry of a folder
// found ignoring case, and folders opened one component at a time without
// following a link. Shared by the files of the POSIX half only.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/posix/KeptFolders.h"
#include "platform/posix/NameIndex.h"
#include "platform/posix/PosixPlatform.h"

namespace plat::walk {

bool IsSep(char c);
bool EqualNoCase(const std::string& a, const std::string& b);
bool ReadOnlyMode(mode_t mode);
// The attributes of a host status as the SVP's file system shows them.
DWORD AttributesOf(const struct stat& st);
// The attributes of the entry `name` of the folder `dir` as the SVP's file
// system shows it. A symbolic link is a reparse point of its own (a directory
// one when it points at a directory), never the file or folder it points at.
// `st` gets the entry's own status; false when there is no entry.
bool EntryAttributesAt(int dir, const std::string& name, struct stat* st, DWORD* attributes);
// The names in the open folder `dir`, without "." and "..".
std::vector<std::string> EntryNames(int dir);

// A host descriptor, closed when it goes out of scope; or a kept folder
// (KeptFolders.h), which stays open for the others that share it.
class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { Reset(-1); }
  int Get() const { return fd_; }
  void Reset(int fd);
  void Share(FolderLease folder);
  // A descriptor the caller closes: for a shared folder, an open of its own.
  int Release();

 private:
  int fd_ = -1;
  FolderLease shared_;
};

// The entry of the folder `dir` (its status `folder`) whose name equals
// `name` ignoring case: the exact name first, then the folder's name index.
// `own` gets the entry's own status (a link's, not its target's). With
// `open` (the folder itself, open, >= 0) the names are looked up in it
// instead of through the path.
bool FindEntryNoCase(NameIndex& index, const std::string& dir, int open, const struct stat& folder,
                     const std::string& name, std::string* actual, struct stat* own);
// The same for the open folder `dir`.
bool FindEntryAt(NameIndex& index, int dir, const std::string& name, std::string* actual);
// The error of an entry that could not be opened without following a link:
// ERROR_ACCESS_DENIED when the entry is a link (or a FIFO without a writer),
// else the error of errno `e`.
DWORD OpenError(int dir, const std::string& name, int e);
// Opens the walk root of `r` (following it: the world file chose it) and the
// first `count` components below it, one at a time, never following a link.
// `status`, when given, gets the folder's status as it was opened (before
// the call changes it). False with the last error set: ERROR_ACCESS_DENIED
// for a link on the way, ERROR_PATH_NOT_FOUND for a missing folder.
bool OpenFolders(const PosixPlatform::Resolved& r, std::size_t count, ScopedFd* out,
                 struct stat* status = nullptr);
// The folder that holds the entry `r` names (see OpenFolders); a drive root
// has none and fails with ERROR_ACCESS_DENIED.
bool OpenParent(const PosixPlatform::Resolved& r, ScopedFd* out, struct stat* status = nullptr);
// The last component of `r`.
const char* Leaf(const PosixPlatform::Resolved& r);
// Renames `from` in `fromDir` to `to` in `toDir`. A new name found free is
// taken only while it still is (nothing that came meanwhile is replaced
// unseen); else what is there is looked at first: a link at the new name is
// replaced itself, never what it points at, a folder or a read-only file
// never. An entry renamed onto itself (`self`) is not looked at.
bool RenameInFolders(int fromDir, const char* from, int toDir, const char* to, bool free, bool self,
                     bool replace);

}  // namespace plat::walk
