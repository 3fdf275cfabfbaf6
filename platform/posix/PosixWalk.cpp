// The walks of the POSIX half (PosixWalk.h).
#include "platform/posix/PosixWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/KeptFolders.h"
#include "platform/posix/PosixInternal.h"

namespace plat::walk {

bool IsSep(char c) { return c == '\\' || c == '/'; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool ReadOnlyMode(mode_t mode) { return (mode & S_IWUSR) == 0; }

DWORD AttributesOf(const struct stat& st) {
  DWORD a = 0;
  if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
  if (ReadOnlyMode(st.st_mode)) a |= FILE_ATTRIBUTE_READONLY;
  if (a == 0) a = FILE_ATTRIBUTE_ARCHIVE;
  return a;
}

bool EntryAttributesAt(int dir, const std::string& name, struct stat* st, DWORD* attributes) {
  if (::fstatat(dir, name.c_str(), st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (!S_ISLNK(st->st_mode)) {
    *attributes = AttributesOf(*st);
    return true;
  }
  struct stat target;
  *attributes = FILE_ATTRIBUTE_REPARSE_POINT;
  if (::fstatat(dir, name.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode))
    *attributes |= FILE_ATTRIBUTE_DIRECTORY;
  return true;
}

std::vector<std::string> EntryNames(int dir) {
  std::vector<std::string> names;
  // A description of its own: the folder may be shared, and its place in a
  // search is never moved.
  int copy = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) return names;
  DIR* d = ::fdopendir(copy);
  if (!d) {
    ::close(copy);
    return names;
  }
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names.emplace_back(e->d_name);
  }
  ::closedir(d);
  return names;
}

void ScopedFd::Reset(int fd) {
  if (fd_ >= 0 && !shared_) ::close(fd_);
  shared_.reset();
  fd_ = fd;
}

void ScopedFd::Share(FolderLease folder) {
  Reset(folder->Get());
  shared_ = std::move(folder);
}

int ScopedFd::Release() {
  int fd = shared_ ? ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : fd_;
  if (shared_) Reset(-1);
  fd_ = -1;
  return fd;
}

bool FindEntryNoCase(NameIndex& index, const std::string& dir, int open, const struct stat& folder,
                     const std::string& name, std::string* actual, struct stat* own) {
  const auto status = [&](const std::string& entry) {
    return open >= 0 ? ::fstatat(open, entry.c_str(), own, AT_SYMLINK_NOFOLLOW) == 0
                     : ::lstat((dir + "/" + entry).c_str(), own) == 0;
  };
  // A folder this process keeps an index of (one it is filling) answers
  // from the index, a name it lacks without a look at the disk.
  switch (index.Look(folder, name, actual)) {
    case NameIndex::Answer::kAbsent:
      return false;
    case NameIndex::Answer::kFound:
      return status(*actual);
    case NameIndex::Answer::kUnknown:
      break;
  }
  if (status(name)) {
    *actual = name;
    return true;
  }
  return index.Find(
             folder, name,
             [&dir, open] {
               if (open >= 0) return EntryNames(open);
               std::vector<std::string> names;
               ScopedFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
               if (fd.Get() >= 0) names = EntryNames(fd.Get());
               return names;
             },
             actual) &&
         status(*actual);
}

bool FindEntryAt(NameIndex& index, int dir, const std::string& name, std::string* actual) {
  struct stat st;
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    *actual = name;
    return true;
  }
  if (::fstat(dir, &st) != 0) return false;
  return index.Find(
      st, name, [dir] { return EntryNames(dir); }, actual);
}

DWORD OpenError(int dir, const std::string& name, int e) {
  struct stat st;
  if (e == ELOOP || e == ENXIO ||
      (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)))
    return ERROR_ACCESS_DENIED;
  return e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrnoToError(e);
}

bool OpenFolders(const PosixPlatform::Resolved& r, std::size_t count, ScopedFd* out,
                 struct stat* status) {
  constexpr int kFolder = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  if (count > 0) {
    // The folder the resolution found kept under this very path, or one
    // kept since.
    struct stat st;
    FolderLease kept;
    if (r.parent && count + 1 == r.names.size()) {
      kept = r.parent;
      st = r.parentStatus;
    }
    std::string path;
    if (!kept) {
      path = r.walkRoot;
      for (std::size_t i = 0; i < count && i < r.names.size(); ++i) path += "/" + r.names[i];
      kept = TheKeptFolders().Take(path, &st);
    }
    if (kept) {
      out->Share(std::move(kept));
      if (status) *status = st;
      return true;
    }
  }
  ScopedFd dir(::open(r.walkRoot.c_str(), kFolder));
  if (dir.Get() < 0) return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToError(errno));
  for (std::size_t i = 0; i < count && i < r.names.size(); ++i) {
    int next = ::openat(dir.Get(), r.names[i].c_str(), kFolder | O_NOFOLLOW);
    if (next < 0) return Fail(OpenError(dir.Get(), r.names[i], errno));
    dir.Reset(next);
  }
  if (count > 0) {
    std::string path = r.walkRoot;
    for (std::size_t i = 0; i < count && i < r.names.size(); ++i) path += "/" + r.names[i];
    TheKeptFolders().Keep(path, dir.Get());
  }
  if (status && ::fstat(dir.Get(), status) != 0) return Fail(ErrnoToError(errno));
  out->Reset(dir.Release());
  return true;
}

bool OpenParent(const PosixPlatform::Resolved& r, ScopedFd* out, struct stat* status) {
  if (r.names.empty()) return Fail(ERROR_ACCESS_DENIED);
  return OpenFolders(r, r.names.size() - 1, out, status);
}

const char* Leaf(const PosixPlatform::Resolved& r) { return r.names.back().c_str(); }

// Renames `from` in `fromDir` to `to` in `toDir`. A new name found free is
// taken only while it still is (nothing that came meanwhile is replaced
// unseen); else what is there is looked at first: a link at the new name is
// replaced itself, never what it points at, a folder or a read-only file
// never. An entry renamed onto itself (`self`) is not looked at.
bool RenameInFolders(int fromDir, const char* from, int toDir, const char* to, bool free, bool self,
                     bool replace) {
#ifdef RENAME_NOREPLACE
  if (free && ::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return true;
  if (free && errno != EEXIST && errno != EINVAL && errno != ENOSYS)
    return Fail(ErrnoToError(errno));
#else
  (void)free;
#endif
  struct stat st;
  if (!self && ::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!replace || S_ISDIR(st.st_mode)) return Fail(ERROR_ALREADY_EXISTS);
    if (S_ISREG(st.st_mode) && ReadOnlyMode(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  }
  if (::renameat(fromDir, from, toDir, to) != 0) return Fail(ErrnoToError(errno));
  return true;
}

}  // namespace plat::walk
