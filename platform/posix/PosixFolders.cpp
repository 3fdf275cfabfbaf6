// Folders held open by the POSIX half: an extraction names the entries of
// one folder through its open descriptor, so that no call walks the
// folder's path again or asks its status to know the name index current.
//
// The folder's status is the one this process left it at: taken when the
// folder opens, and again after each name made or renamed through the
// handle, so that the index stays current without a status call for every
// lookup. An exact name is always the host's to answer (a lookup, an
// exclusive create, a rename that replaces nothing unseen); a name in
// another case is answered from the index, which may miss a change made
// from outside while the folder is open; not afterwards (PosixFolder).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/posix/PosixInternal.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixWalk.h"

namespace plat {

using namespace walk;

struct PosixFolder : FolderObject {
  // A folder changed through the handle is read afresh at the next lookup
  // that needs its index, so that a change from outside that its lookups
  // may have missed does not outlive it.
  ~PosixFolder() override {
    if (changed) names->Forget(status);
  }
  FolderLease folder;
  std::shared_ptr<NameIndex> names;
  int driveIndex = -1;
  std::string medium;  // the drive's host folder when it opened
  std::mutex mutex;    // guards status and changed
  struct stat status {};
  bool changed = false;
};

namespace {

PosixFolder* PosixFolderOf(HANDLE handle) {
  return dynamic_cast<PosixFolder*>(FolderObjectOf(handle));
}

// The attributes of the entry `name` of `dir`, whose own status is `own`.
DWORD AttributesOfEntry(int dir, const std::string& name, const struct stat& own) {
  if (!S_ISLNK(own.st_mode)) return AttributesOf(own);
  struct stat target;
  DWORD attributes = FILE_ATTRIBUTE_REPARSE_POINT;
  if (::fstatat(dir, name.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode))
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  return attributes;
}

}  // namespace

// The folder `f` can be used for `name` now: the path fits, and its drive
// still holds the medium it was opened on.
bool PosixPlatform::FolderUsable(const PosixFolder& f, const char* name, bool write) {
  if (f.path.size() + std::strlen(name) >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE);
  if (!DriveReady(f.driveIndex)) return false;
  if (f.driveIndex >= 0 &&
      world_.drives[static_cast<std::size_t>(f.driveIndex)].hostDir != f.medium)
    return Fail(ERROR_NOT_READY);
  return !write || DriveWritable(f.driveIndex);
}

// What the index, as this process left the folder, knows of `name`.
NameIndex::Answer PosixPlatform::LookIn(PosixFolder& f, const std::string& name,
                                        std::string* actual) {
  return names_->Look(f.status, name, actual);
}

// The entry of `f` that `name` names ignoring case, as the host spells it,
// with its own status; false when there is none. The caller holds f.mutex.
bool PosixPlatform::FindIn(PosixFolder& f, const std::string& name, std::string* actual,
                           struct stat* own) {
  const int dir = f.folder->Get();
  if (::fstatat(dir, name.c_str(), own, AT_SYMLINK_NOFOLLOW) == 0) {
    *actual = name;
    return true;
  }
  switch (LookIn(f, name, actual)) {
    case NameIndex::Answer::kAbsent:
      return false;
    case NameIndex::Answer::kFound:
      if (::fstatat(dir, actual->c_str(), own, AT_SYMLINK_NOFOLLOW) == 0) return true;
      break;
    case NameIndex::Answer::kUnknown:
      break;
  }
  if (::fstat(dir, &f.status) != 0) return false;
  return names_->Find(
             f.status, name, [dir] { return EntryNames(dir); }, actual) &&
         ::fstatat(dir, actual->c_str(), own, AT_SYMLINK_NOFOLLOW) == 0;
}

HANDLE PosixPlatform::OpenFolder(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return nullptr;
  if (!r.exists) {
    Fail(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  if (r.isLink || r.belowLink) {
    Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!r.isDirectory) {
    Fail(ERROR_DIRECTORY);
    return nullptr;
  }
  ScopedFd dir;
  if (!OpenFolders(r, r.names.size(), &dir)) return nullptr;
  const int fd = dir.Release();
  if (fd < 0) {
    Fail(ErrnoToError(errno));
    return nullptr;
  }
  auto folder = std::make_shared<const SharedFolder>(fd);
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    Fail(ErrnoToError(errno));
    return nullptr;
  }
  auto* f = new PosixFolder;
  f->path = path;
  if (!IsSep(f->path.back())) f->path += '\\';
  f->folder = std::move(folder);
  f->driveIndex = r.driveIndex;
  if (r.driveIndex >= 0) f->medium = world_.drives[static_cast<std::size_t>(r.driveIndex)].hostDir;
  f->status = status;
  f->names = names_;
  SetLastError(ERROR_SUCCESS);
  return f;
}

DWORD PosixPlatform::GetFileAttributesIn(HANDLE folder, const char* name) {
  PosixFolder* f = PosixFolderOf(folder);
  if (!f) return Platform::GetFileAttributesIn(folder, name);
  if (!FolderUsable(*f, name, false)) return INVALID_FILE_ATTRIBUTES;
  std::lock_guard<std::mutex> lock(f->mutex);
  std::string actual;
  struct stat own;
  if (!FindIn(*f, name, &actual, &own)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOfEntry(f->folder->Get(), actual, own);
}

HANDLE PosixPlatform::CreateFileIn(HANDLE folder, const char* name, DWORD access, DWORD share,
                                   DWORD disposition, DWORD flags) {
  PosixFolder* f = PosixFolderOf(folder);
  if (!f) return Platform::CreateFileIn(folder, name, access, share, disposition, flags);
  const bool creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS ||
                       disposition == OPEN_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (!FolderUsable(*f, name, (access & GENERIC_WRITE) || creates)) return nullptr;
  std::lock_guard<std::mutex> lock(f->mutex);
  Resolved r;
  r.driveIndex = f->driveIndex;
  ScopedFd parent;
  parent.Share(f->folder);
  // A new name that no name of the folder folds to is created at once: the
  // exclusive create refuses one that took it meanwhile, which is then
  // looked at as any name that is there.
  std::string actual;
  if (disposition == CREATE_NEW && LookIn(*f, name, &actual) == NameIndex::Answer::kAbsent) {
    r.names = {name};
    HANDLE file =
        OpenInFolder(r, parent, f->status, access, share, disposition, flags, false, &f->status);
    f->changed = f->changed || file;
    if (file || GetLastError() != ERROR_ALREADY_EXISTS) return file;
  }
  struct stat own;
  r.names = {FindIn(*f, name, &actual, &own) ? actual : std::string(name)};
  HANDLE file =
      OpenInFolder(r, parent, f->status, access, share, disposition, flags, true, &f->status);
  f->changed = f->changed || file;
  return file;
}

bool PosixPlatform::MoveFileIn(HANDLE folder, const char* from, const char* to, bool replace) {
  PosixFolder* f = PosixFolderOf(folder);
  if (!f) return Platform::MoveFileIn(folder, from, to, replace);
  if (!FolderUsable(*f, from, true) || !FolderUsable(*f, to, true)) return false;
  std::lock_guard<std::mutex> lock(f->mutex);
  // The entry to rename: the index's spelling when it knows the name as
  // spelt (the rename fails when the entry is gone), else the host's.
  std::string source, target;
  struct stat own;
  if (LookIn(*f, from, &source) != NameIndex::Answer::kFound && !FindIn(*f, from, &source, &own))
    return Fail(ERROR_FILE_NOT_FOUND);
  // The new name is free when no name of the folder folds to it.
  bool free = LookIn(*f, to, &target) == NameIndex::Answer::kAbsent;
  if (free)
    target = to;
  else if (!FindIn(*f, to, &target, &own)) {
    target = to;
    free = true;
  }
  const int dir = f->folder->Get();
  const struct stat before = f->status;
  if (!RenameInFolders(dir, source.c_str(), dir, target.c_str(), free, source == target, replace))
    return false;
  names_->Changed(dir, before, source, target, &f->status);
  f->changed = true;
  return true;
}

}  // namespace plat
