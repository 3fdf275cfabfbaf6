#include "platform/posix/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ForwardingPlatform.h"
#include "platform/PlatformInternal.h"
#include "platform/posix/PosixInternal.h"

namespace plat {

DWORD ErrnoToError(int e) {
  switch (e) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP:  // a link met where none is followed
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

namespace {

// ---------------------------------------------------------------- helpers

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

// The attributes of the entry `name` of the folder `dir` as the SVP's file
// system shows it. A symbolic link is a reparse point of its own (a directory
// one when it points at a directory), never the file or folder it points at.
// `st` gets the entry's own status; false when there is no entry.
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

// The names in the open folder `dir`, without "." and "..".
std::vector<std::string> EntryNames(int dir) {
  std::vector<std::string> names;
  int copy = ::dup(dir);
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

// Case-insensitive wildcard match with "*" and "?"; "*.*" matches every name
// and "name.*" also matches "name".
bool MatchPattern(const char* p, const char* n) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (const char* s = n; *s; ++s)
        if (MatchPattern(p, s)) return true;
      return MatchPattern(p, n + std::strlen(n));
    }
    if (!*n) return false;
    if (*p != '?' && std::tolower(static_cast<unsigned char>(*p)) !=
                         std::tolower(static_cast<unsigned char>(*n)))
      return false;
    ++p;
    ++n;
  }
  return *n == '\0';
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// ---------------------------------------------------------------- walks

// A host descriptor, closed when it goes out of scope.
class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { Reset(-1); }
  int Get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// The entry of the folder `dir` (its status `folder`) whose name equals
// `name` ignoring case: the exact name first, then the folder's name index.
// `own` gets the entry's own status (a link's, not its target's).
bool FindEntryNoCase(NameIndex& index, const std::string& dir, const struct stat& folder,
                     const std::string& name, std::string* actual, struct stat* own) {
  if (::lstat((dir + "/" + name).c_str(), own) == 0) {
    *actual = name;
    return true;
  }
  return index.Find(
             folder, name,
             [&dir] {
               std::vector<std::string> names;
               ScopedFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
               if (fd.Get() >= 0) names = EntryNames(fd.Get());
               return names;
             },
             actual) &&
         ::lstat((dir + "/" + *actual).c_str(), own) == 0;
}

// The same for the open folder `dir`.
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

// The error of an entry that could not be opened without following a link:
// ERROR_ACCESS_DENIED when the entry is a link (or a FIFO without a writer),
// else the error of errno `e`.
DWORD OpenError(int dir, const std::string& name, int e) {
  struct stat st;
  if (e == ELOOP || e == ENXIO ||
      (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)))
    return ERROR_ACCESS_DENIED;
  return e == ENOENT || e == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrnoToError(e);
}

// Opens the walk root of `r` (following it: the world file chose it) and the
// first `count` components below it, one at a time, never following a link.
// False with the last error set: ERROR_ACCESS_DENIED for a link on the way,
// ERROR_PATH_NOT_FOUND for a missing folder.
bool OpenFolders(const PosixPlatform::Resolved& r, std::size_t count, ScopedFd* out) {
  constexpr int kFolder = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  ScopedFd dir(::open(r.walkRoot.c_str(), kFolder));
  if (dir.Get() < 0) return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToError(errno));
  for (std::size_t i = 0; i < count && i < r.names.size(); ++i) {
    int next = ::openat(dir.Get(), r.names[i].c_str(), kFolder | O_NOFOLLOW);
    if (next < 0) return Fail(OpenError(dir.Get(), r.names[i], errno));
    dir.Reset(next);
  }
  out->Reset(dir.Release());
  return true;
}

// The folder that holds the entry `r` names (see OpenFolders); a drive root
// has none and fails with ERROR_ACCESS_DENIED.
bool OpenParent(const PosixPlatform::Resolved& r, ScopedFd* out) {
  if (r.names.empty()) return Fail(ERROR_ACCESS_DENIED);
  return OpenFolders(r, r.names.size() - 1, out);
}

const char* Leaf(const PosixPlatform::Resolved& r) { return r.names.back().c_str(); }

// ---------------------------------------------------------------- objects

// The open files of the process with the access they were opened for and
// the access they share, as the Windows file system keeps them: an open that
// would read or write what an open handle does not share, or would deny what
// an open handle does, fails with ERROR_SHARING_VIOLATION.
struct OpenFile {
  dev_t device;
  ino_t inode;
  bool reads, writes;
  DWORD share;
};

class OpenFiles {
 public:
  // The lock is held from the check until the file is opened and registered.
  std::mutex& Lock() { return mutex_; }
  bool Compatible(dev_t device, ino_t inode, bool reads, bool writes, DWORD share) const {
    for (const auto& [id, open] : files_) {
      if (open.device != device || open.inode != inode) continue;
      if ((reads && !(open.share & FILE_SHARE_READ)) ||
          (writes && !(open.share & FILE_SHARE_WRITE)) ||
          (open.reads && !(share & FILE_SHARE_READ)) ||
          (open.writes && !(share & FILE_SHARE_WRITE)))
        return false;
    }
    return true;
  }
  void Add(const void* id, const OpenFile& open) { files_[id] = open; }
  void Remove(const void* id) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.erase(id);
  }

 private:
  std::mutex mutex_;
  std::map<const void*, OpenFile> files_;
};

OpenFiles& TheOpenFiles() {
  static OpenFiles files;
  return files;
}

struct FileObject : KernelObject {
  int fd = -1;
  int driveIndex = -1;
  bool writable = false;
  // Delete on close: the folder the file was opened in, and its name there.
  int deleteDir = -1;
  std::string leaf;
  ~FileObject() override {
    TheOpenFiles().Remove(this);
    if (fd >= 0) ::close(fd);
    if (deleteDir >= 0) {
      ::unlinkat(deleteDir, leaf.c_str(), 0);
      ::close(deleteDir);
    }
  }
};

struct SearchObject : KernelObject {
  std::vector<WIN32_FIND_DATA> entries;
  std::size_t next = 0;
};

void FillFindData(const std::string& name, const struct stat& st, DWORD attributes,
                  WIN32_FIND_DATA* data) {
  std::memset(data, 0, sizeof(*data));
  data->dwFileAttributes = attributes;
  const std::uint64_t size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  data->ftLastWriteTime = FileTimeOfUnixSeconds(st.st_mtime);
  std::snprintf(data->cFileName, sizeof(data->cFileName), "%s", name.c_str());
}

std::uint64_t TreeBytes(const std::string& dir) {
  std::uint64_t total = 0;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  while (dirent* e = ::readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    std::string p = dir + "/" + e->d_name;
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode))
      total += TreeBytes(p);
    else if (S_ISREG(st.st_mode))
      total += static_cast<std::uint64_t>(st.st_size);
  }
  ::closedir(d);
  return total;
}

}  // namespace

bool MatchName(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (MatchPattern(pattern.c_str(), name.c_str())) return true;
  if (pattern.size() > 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
    return MatchPattern(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
  return false;
}

PosixPlatform::PosixPlatform(World world) : world_(std::move(world)) {}

PosixPlatform* CurrentPosix() {
  if (!HasCurrent()) return nullptr;
  Platform* platform = &Current();
  while (auto* decorator = dynamic_cast<ForwardingPlatform*>(platform)) {
    platform = &decorator->Inner();
  }
  return dynamic_cast<PosixPlatform*>(platform);
}

const World& CurrentWorld() {
  Current();  // aborts when no world is loaded
  auto* posix = CurrentPosix();
  if (!posix) {
    std::fprintf(stderr, "talver: the installed platform has no world\n");
    std::abort();
  }
  return posix->GetWorld();
}

// ---------------------------------------------------------------- paths

bool PosixPlatform::Resolve(const char* path, Resolved* out) {
  *out = Resolved{};
  if (!path || !*path) return Fail(ERROR_PATH_NOT_FOUND);
  if (std::strlen(path) >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE);

  std::string base;
  const char* rest = path;
  if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    int index = std::toupper(static_cast<unsigned char>(path[0])) - 'A';
    const Drive& d = world_.drives[static_cast<std::size_t>(index)];
    if (!d.present) return Fail(ERROR_PATH_NOT_FOUND);
    NoteMediaDrive(index);
    if (d.notReady) return Fail(ERROR_NOT_READY);
    out->driveIndex = index;
    base = d.hostDir;
    rest = path + 2;
  } else if (IsSep(path[0]) && IsSep(path[1])) {
    // \\server\share\...: a client-PC drive seen through terminal services.
    std::string p(path);
    std::replace(p.begin(), p.end(), '/', '\\');
    const ClientDrive* match = nullptr;
    for (const auto& c : world_.clientDrives) {
      if (p.size() >= c.remoteName.size() &&
          EqualNoCase(p.substr(0, c.remoteName.size()), c.remoteName) &&
          (p.size() == c.remoteName.size() || p[c.remoteName.size()] == '\\'))
        match = &c;
    }
    if (!match) return Fail(ERROR_BAD_NETPATH);
    base = match->hostDir;
    rest = path + match->remoteName.size();
  } else {
    // A host path, taken literally.
    std::string host = path;
    std::replace(host.begin(), host.end(), '\\', '/');
    out->host = host;
    struct stat st;
    out->exists = ::lstat(host.c_str(), &st) == 0;
    out->isLink = out->exists && S_ISLNK(st.st_mode);
    out->isDirectory = out->exists && ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    std::string parent = host;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    auto slash = parent.rfind('/');
    parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : parent.substr(0, slash));
    out->parentExists = ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    // The person who typed the path chose its folders; its last component
    // is walked like any entry below a drive.
    std::string leaf = host;
    while (leaf.size() > 1 && leaf.back() == '/') leaf.pop_back();
    leaf = slash == std::string::npos ? leaf : leaf.substr(slash + 1);
    out->walkRoot = parent;
    if (!leaf.empty() && leaf != "/") out->names.push_back(leaf);
    return true;
  }

  // Split into components; doubled separators collapse, "." is dropped and
  // ".." never climbs above the drive root.
  std::vector<std::string> parts;
  std::string cur;
  for (const char* p = rest;; ++p) {
    if (*p == '\0' || IsSep(*p)) {
      if (cur == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!cur.empty() && cur != ".") {
        parts.push_back(cur);
      }
      cur.clear();
      if (*p == '\0') break;
    } else {
      cur += *p;
    }
  }

  std::string host = base;
  out->names.reserve(parts.size());
  bool exists = true;
  bool parentExists = true;
  bool belowLink = false;
  // The status of the entry `host` names, not followed; unknown for the
  // drive root, which is followed as the world chose it.
  struct stat own {};
  bool ownKnown = false;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string actual = parts[i];
    if (exists) {
      parentExists = true;
      const bool isLink = ownKnown && S_ISLNK(own.st_mode);
      if (isLink) belowLink = true;
      struct stat folder = own;
      if ((!ownKnown || isLink) && ::stat(host.c_str(), &folder) != 0) folder.st_mode = 0;
      if (!S_ISDIR(folder.st_mode)) {
        exists = false;
        parentExists = false;
      } else if (!FindEntryNoCase(names_, host, folder, parts[i], &actual, &own)) {
        exists = false;
      } else {
        ownKnown = true;
      }
    } else {
      parentExists = false;
    }
    host += "/" + actual;
    out->names.push_back(actual);
  }
  // A link counts as there even when what it points at is gone.
  if (exists && !ownKnown) exists = ::lstat(host.c_str(), &own) == 0;
  out->host = host;
  out->walkRoot = base;
  out->isDriveRoot = parts.empty();
  out->exists = exists;
  out->parentExists = parts.empty() ? true : parentExists;
  out->isLink = exists && S_ISLNK(own.st_mode);
  out->belowLink = belowLink;
  struct stat target;
  out->isDirectory = exists && (ownKnown && !out->isLink ? S_ISDIR(own.st_mode)
                                                         : ::stat(host.c_str(), &target) == 0 &&
                                                               S_ISDIR(target.st_mode));
  return true;
}

bool PosixPlatform::ResolveHostPath(const char* path, std::string* host) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  *host = r.host;
  return true;
}

bool PosixPlatform::CheckWritable(const Resolved& r) {
  if (r.driveIndex >= 0 && world_.drives[static_cast<std::size_t>(r.driveIndex)].writeProtected)
    return Fail(ERROR_WRITE_PROTECT);
  return true;
}

std::uint64_t PosixPlatform::DriveBytesInUse(int driveIndex) {
  return TreeBytes(world_.drives[static_cast<std::size_t>(driveIndex)].hostDir);
}

// ---------------------------------------------------------------- files

namespace {

// The open flags of a CreateFile call; false for an unknown disposition or
// an existence that the disposition refuses (the last error set).
bool OpenFlags(DWORD access, DWORD disposition, bool exists, int* oflags) {
  const bool write = (access & GENERIC_WRITE) != 0;
  // Never through a link, and never blocking on a FIFO or a device: what
  // opens is checked to be a regular file before it is used.
  int f = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  f |= (access & GENERIC_READ) && write ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
  switch (disposition) {
    case CREATE_NEW:
      if (exists) return Fail(ERROR_FILE_EXISTS);
      f |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      f |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      if (!exists) return Fail(ERROR_FILE_NOT_FOUND);
      break;
    case OPEN_ALWAYS:
      f |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      if (!exists) return Fail(ERROR_FILE_NOT_FOUND);
      f |= O_TRUNC;
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER);
  }
  if (((f & O_CREAT) || (f & O_TRUNC)) && !write) f = (f & ~O_ACCMODE) | O_RDWR;
  *oflags = f;
  return true;
}

// Opens the entry `name` of the folder `dir` as a regular file; anything
// else (a link, a FIFO, a device, a socket) fails with ERROR_ACCESS_DENIED
// and is left as it was found.
int OpenRegular(int dir, const char* name, int oflags) {
  int fd = ::openat(dir, name, oflags, 0644);
  if (fd < 0) {
    Fail(OpenError(dir, name, errno));
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    Fail(ERROR_ACCESS_DENIED);
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

HANDLE PosixPlatform::CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                                 DWORD flags) {
  Resolved r;
  if (!Resolve(path, &r)) return nullptr;
  if (r.isDirectory || r.isDriveRoot) {
    Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const bool write = (access & GENERIC_WRITE) != 0;
  const bool creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS ||
                       disposition == OPEN_ALWAYS || disposition == TRUNCATE_EXISTING;
  if ((write || creates) && !CheckWritable(r)) return nullptr;
  if (!r.parentExists) {
    Fail(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return nullptr;
  struct stat st;
  const bool exists = ::fstatat(parent.Get(), Leaf(r), &st, AT_SYMLINK_NOFOLLOW) == 0;
  // Only a regular file is a file: a link (dangling or not) is never opened
  // through, a FIFO or a device is never read as one.
  if (exists && !S_ISREG(st.st_mode)) {
    Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (exists && (write || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) &&
      ReadOnlyMode(st.st_mode)) {
    Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  int oflags = 0;
  if (!OpenFlags(access, disposition, exists, &oflags)) return nullptr;
  const bool reads = (access & GENERIC_READ) != 0;
  const bool writes = write || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  std::lock_guard<std::mutex> lock(TheOpenFiles().Lock());
  if (exists && !TheOpenFiles().Compatible(st.st_dev, st.st_ino, reads, writes, share)) {
    Fail(ERROR_SHARING_VIOLATION);
    return nullptr;
  }
  struct stat before {};
  const bool makesName = !exists && (oflags & O_CREAT) && ::fstat(parent.Get(), &before) == 0;
  int fd = OpenRegular(parent.Get(), Leaf(r), oflags);
  if (fd < 0) return nullptr;
  if (makesName) names_.Changed(parent.Get(), before, {}, Leaf(r));
  struct stat opened;
  ::fstat(fd, &opened);
  auto* f = new FileObject;
  TheOpenFiles().Add(f, OpenFile{opened.st_dev, opened.st_ino, reads, writes, share});
  f->fd = fd;
  f->driveIndex = r.driveIndex;
  f->writable = write;
  if (flags & FILE_FLAG_DELETE_ON_CLOSE) {
    f->leaf = Leaf(r);
    f->deleteDir = parent.Release();
  }
  SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return f;
}

bool PosixPlatform::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) {
  auto* f = dynamic_cast<FileObject*>(file);
  if (read) *read = 0;
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail(ErrnoToError(errno));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (read) *read = static_cast<DWORD>(done);
  return true;
}

bool PosixPlatform::WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) {
  auto* f = dynamic_cast<FileObject*>(file);
  if (written) *written = 0;
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  if (!f->writable) return Fail(ERROR_ACCESS_DENIED);
  if (f->driveIndex >= 0) {
    const Drive& d = world_.drives[static_cast<std::size_t>(f->driveIndex)];
    if (d.notReady) return Fail(ERROR_NOT_READY);
    if (d.writeProtected) return Fail(ERROR_WRITE_PROTECT);
    if (d.totalBytes > 0 && count > 0) {
      struct stat st;
      off_t pos = ::lseek(f->fd, 0, SEEK_CUR);
      if (::fstat(f->fd, &st) == 0 && pos >= 0) {
        std::uint64_t end = static_cast<std::uint64_t>(pos) + count;
        std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
        std::uint64_t growth = end > size ? end - size : 0;
        if (growth > 0 && DriveBytesInUse(f->driveIndex) + growth > d.totalBytes)
          return Fail(ERROR_DISK_FULL);
      }
    }
  }
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(f->fd, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (written) *written = static_cast<DWORD>(done);
      return Fail(ErrnoToError(errno));
    }
    done += static_cast<std::size_t>(n);
  }
  if (written) *written = static_cast<DWORD>(done);
  return true;
}

bool PosixPlatform::SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                                   std::uint64_t* position) {
  auto* f = dynamic_cast<FileObject*>(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t p = ::lseek(f->fd, static_cast<off_t>(offset), whence);
  if (p < 0) return Fail(ERROR_INVALID_PARAMETER);
  if (position) *position = static_cast<std::uint64_t>(p);
  return true;
}

bool PosixPlatform::GetFileSize(HANDLE file, std::uint64_t* size) {
  auto* f = dynamic_cast<FileObject*>(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  struct stat st;
  if (::fstat(f->fd, &st) != 0) return Fail(ErrnoToError(errno));
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool PosixPlatform::SetEndOfFile(HANDLE file) {
  auto* f = dynamic_cast<FileObject*>(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  if (!f->writable) return Fail(ERROR_ACCESS_DENIED);
  off_t pos = ::lseek(f->fd, 0, SEEK_CUR);
  struct stat st;
  if (pos < 0 || ::fstat(f->fd, &st) != 0) return Fail(ErrnoToError(errno));
  if (f->driveIndex >= 0) {
    const Drive& d = world_.drives[static_cast<std::size_t>(f->driveIndex)];
    if (d.notReady) return Fail(ERROR_NOT_READY);
    if (d.writeProtected) return Fail(ERROR_WRITE_PROTECT);
    // A sized drive counts a file by its length, holes included.
    const std::uint64_t end = static_cast<std::uint64_t>(pos);
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (d.totalBytes > 0 && end > size &&
        DriveBytesInUse(f->driveIndex) + (end - size) > d.totalBytes)
      return Fail(ERROR_DISK_FULL);
  }
  if (::ftruncate(f->fd, pos) != 0) return Fail(ErrnoToError(errno));
  return true;
}

bool PosixPlatform::FlushFile(HANDLE file) {
  auto* f = dynamic_cast<FileObject*>(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  if (::fsync(f->fd) != 0 && errno != EINVAL) return Fail(ErrnoToError(errno));
  return true;
}

bool PosixPlatform::FlushFolder(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (!r.exists || !r.isDirectory) return Fail(r.exists ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
  int fd = ::open(r.host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail(ErrnoToError(errno));
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  const int error = errno;
  ::close(fd);
  return ok || Fail(ErrnoToError(error));
}

// flock: the lock belongs to this open of the file, so two opens conflict
// also inside one process (two threads), and the system drops it with the
// last descriptor, a killed process's too.
bool PosixPlatform::TryLockFile(HANDLE file) {
  auto* f = dynamic_cast<FileObject*>(file);
  if (!f) return Fail(ERROR_INVALID_HANDLE);
  while (::flock(f->fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return Fail(errno == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : ErrnoToError(errno));
  }
  return true;
}

// ---------------------------------------------------------------- names

HANDLE PosixPlatform::FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
  if (!pattern) {
    Fail(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  std::string p(pattern);
  // Split off the last component (the name pattern).
  std::size_t cut = p.find_last_of("\\/");
  std::string dirPart, namePart;
  if (cut == std::string::npos) {
    if (p.size() == 2 && p[1] == ':') {
      Fail(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    dirPart = ".";
    namePart = p;
    if (p.size() > 2 && p[1] == ':') {
      dirPart = p.substr(0, 2);
      namePart = p.substr(2);
    }
  } else {
    dirPart = p.substr(0, cut + 1);
    namePart = p.substr(cut + 1);
  }
  if (namePart.empty()) {
    // "dir\" looks up the directory itself; a drive root has no entry.
    std::string trimmed = p;
    while (!trimmed.empty() && (trimmed.back() == '\\' || trimmed.back() == '/'))
      trimmed.pop_back();
    if (trimmed.empty() || (trimmed.size() == 2 && trimmed[1] == ':')) {
      Fail(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    return FindFirstFile(trimmed.c_str(), data);
  }
  if (std::strlen(pattern) >= MAX_PATH) {
    Fail(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  Resolved dir;
  if (!Resolve(dirPart.c_str(), &dir)) return nullptr;
  // A search never descends into a link: what it points at may lie anywhere.
  ScopedFd folder;
  if (!dir.exists || !dir.isDirectory || dir.isLink || dir.belowLink ||
      !OpenFolders(dir, dir.names.size(), &folder)) {
    Fail(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  auto* search = new SearchObject;
  struct stat st;
  DWORD attributes = 0;
  if (!HasWildcard(namePart)) {
    std::string actual;
    if ((namePart == "." || namePart == "..") && !dir.isDriveRoot) {
      if (::fstat(folder.Get(), &st) == 0) {
        WIN32_FIND_DATA d;
        FillFindData(namePart, st, AttributesOf(st), &d);
        search->entries.push_back(d);
      }
    } else if (FindEntryAt(names_, folder.Get(), namePart, &actual) &&
               EntryAttributesAt(folder.Get(), actual, &st, &attributes)) {
      WIN32_FIND_DATA d;
      FillFindData(actual, st, attributes, &d);
      search->entries.push_back(d);
    }
  } else {
    std::vector<std::string> names;
    for (const std::string& n : EntryNames(folder.Get())) {
      // A host name holding a backslash is no Windows name: a path built
      // from it would name another entry (a folder "x\..\y" stands for y).
      if (n.find('\\') != std::string::npos) continue;
      if (MatchName(namePart, n)) names.push_back(n);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      int c = strcasecmp(a.c_str(), b.c_str());
      return c != 0 ? c < 0 : a < b;
    });
    if (!dir.isDriveRoot && ::fstat(folder.Get(), &st) == 0) {
      for (const char* dot : {".", ".."}) {
        if (MatchName(namePart, dot)) {
          WIN32_FIND_DATA d;
          FillFindData(dot, st, AttributesOf(st), &d);
          search->entries.push_back(d);
        }
      }
    }
    for (const auto& n : names) {
      if (!EntryAttributesAt(folder.Get(), n, &st, &attributes)) continue;
      WIN32_FIND_DATA d;
      FillFindData(n, st, attributes, &d);
      search->entries.push_back(d);
    }
  }
  if (search->entries.empty()) {
    delete search;
    Fail(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  *data = search->entries[0];
  search->next = 1;
  SetLastError(ERROR_SUCCESS);
  return search;
}

bool PosixPlatform::FindNextFile(HANDLE handle, WIN32_FIND_DATA* data) {
  auto* s = dynamic_cast<SearchObject*>(handle);
  if (!s) return Fail(ERROR_INVALID_HANDLE);
  if (s->next >= s->entries.size()) return Fail(ERROR_NO_MORE_FILES);
  *data = s->entries[s->next++];
  return true;
}

DWORD PosixPlatform::GetFileAttributes(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  DWORD attributes = 0;
  if (r.isDriveRoot && r.exists && ::stat(r.walkRoot.c_str(), &st) == 0) return AttributesOf(st);
  // Nothing below a link is seen, as by a search.
  ScopedFd parent;
  if (r.belowLink || (r.exists && !OpenParent(r, &parent))) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (!r.exists || !EntryAttributesAt(parent.Get(), Leaf(r), &st, &attributes)) {
    SetLastError(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributes;
}

// The calls below change names and attributes. Each one works on the entry
// in its folder, opened by OpenParent: a link on the way fails the call with
// ERROR_ACCESS_DENIED, and a link as the last component is changed itself,
// never what it points at.

bool PosixPlatform::SetFileAttributes(const char* path, DWORD attributes) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (!r.exists) return Fail(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return false;
  struct stat st;
  if (::fstatat(parent.Get(), Leaf(r), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return Fail(ErrnoToError(errno));
  if (!CheckWritable(r)) return false;
  // A link has no attributes of its own here; what it points at keeps its own.
  if (S_ISLNK(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  if (::fchmodat(parent.Get(), Leaf(r), mode, AT_SYMLINK_NOFOLLOW) == 0) return true;
  // The host has no modes for links: the entry became one since it was seen.
  if (errno == EOPNOTSUPP) return true;
  return Fail(ErrnoToError(errno));
}

bool PosixPlatform::DeleteFile(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (!r.exists) return Fail(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return false;
  struct stat st;
  if (::fstatat(parent.Get(), Leaf(r), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return Fail(ErrnoToError(errno));
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (!CheckWritable(r)) return false;
  if (ReadOnlyMode(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  // A link goes itself, never what it points at.
  struct stat before {};
  ::fstat(parent.Get(), &before);
  if (::unlinkat(parent.Get(), Leaf(r), 0) != 0) return Fail(ErrnoToError(errno));
  names_.Changed(parent.Get(), before, Leaf(r), {});
  return true;
}

bool PosixPlatform::CreateDirectory(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (r.exists || r.isDriveRoot) return Fail(ERROR_ALREADY_EXISTS);
  if (!CheckWritable(r)) return false;
  if (!r.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return false;
  struct stat before {};
  ::fstat(parent.Get(), &before);
  if (::mkdirat(parent.Get(), Leaf(r), 0755) != 0) return Fail(ErrnoToError(errno));
  names_.Changed(parent.Get(), before, {}, Leaf(r));
  return true;
}

bool PosixPlatform::RemoveDirectory(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (!r.exists) return Fail(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  if (!r.isDirectory) return Fail(ERROR_DIRECTORY);
  if (r.isDriveRoot) return Fail(ERROR_ACCESS_DENIED);
  if (!CheckWritable(r)) return false;
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return false;
  struct stat st;
  if (::fstatat(parent.Get(), Leaf(r), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return Fail(ErrnoToError(errno));
  // A link to a directory goes itself; the directory it points at stays.
  const int how = S_ISLNK(st.st_mode) ? 0 : AT_REMOVEDIR;
  struct stat before {};
  ::fstat(parent.Get(), &before);
  if (::unlinkat(parent.Get(), Leaf(r), how) != 0) return Fail(ErrnoToError(errno));
  names_.Changed(parent.Get(), before, Leaf(r), {});
  if (how == AT_REMOVEDIR) names_.Forget(st);
  return true;
}

bool PosixPlatform::MoveFile(const char* from, const char* to, bool replace) {
  Resolved a, b;
  if (!Resolve(from, &a) || !Resolve(to, &b)) return false;
  if (!a.exists) return Fail(a.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  if (!CheckWritable(a) || !CheckWritable(b)) return false;
  if (!b.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
  ScopedFd fromDir, toDir;
  if (!OpenParent(a, &fromDir) || !OpenParent(b, &toDir)) return false;
  struct stat st;
  // A link at the new name is replaced itself, never what it points at.
  if (a.host != b.host && ::fstatat(toDir.Get(), Leaf(b), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!replace || S_ISDIR(st.st_mode)) return Fail(ERROR_ALREADY_EXISTS);
    if (S_ISREG(st.st_mode) && ReadOnlyMode(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  }
  struct stat fromBefore {
  }, toBefore{};
  ::fstat(fromDir.Get(), &fromBefore);
  ::fstat(toDir.Get(), &toBefore);
  if (::renameat(fromDir.Get(), Leaf(a), toDir.Get(), Leaf(b)) != 0)
    return Fail(ErrnoToError(errno));
  if (fromBefore.st_dev == toBefore.st_dev && fromBefore.st_ino == toBefore.st_ino) {
    names_.Changed(fromDir.Get(), fromBefore, Leaf(a), Leaf(b));
  } else {
    names_.Changed(fromDir.Get(), fromBefore, Leaf(a), {});
    names_.Changed(toDir.Get(), toBefore, {}, Leaf(b));
  }
  return true;
}

// ---------------------------------------------------------------- drives

DWORD PosixPlatform::GetLogicalDrives() {
  DWORD mask = 0;
  for (int i = 0; i < 26; ++i)
    if (world_.drives[static_cast<std::size_t>(i)].present) mask |= 1u << i;
  return mask;
}

UINT PosixPlatform::GetDriveType(const char* root) {
  if (!root || !std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':')
    return DRIVE_NO_ROOT_DIR;
  const Drive& d = world_.drive(root[0]);
  if (!d.present) return DRIVE_NO_ROOT_DIR;
  if (world_.connections.count(static_cast<char>(std::toupper(root[0])))) return DRIVE_REMOTE;
  return d.type;
}

bool PosixPlatform::GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller,
                                       std::uint64_t* total, std::uint64_t* totalFree) {
  const bool clientDrive = root && IsSep(root[0]) && IsSep(root[1]);
  const bool drivePath =
      root && std::isalpha(static_cast<unsigned char>(root[0])) && root[1] == ':';
  if (root && *root && !drivePath) {
    // A client-PC drive's root, or a host folder: the host file system's figures.
    Resolved r;
    if (!Resolve(root, &r)) return false;
    if (!r.exists) return Fail(clientDrive ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND);
    if (!clientDrive && !r.isDirectory) return Fail(ERROR_DIRECTORY);
    struct statvfs vfs;
    if (::statvfs(r.host.c_str(), &vfs) != 0) return Fail(ErrnoToError(errno));
    std::uint64_t t = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    std::uint64_t f = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    if (freeToCaller) *freeToCaller = f;
    if (total) *total = t;
    if (totalFree) *totalFree = f;
    return true;
  }
  if (!root || !std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':')
    return Fail(ERROR_PATH_NOT_FOUND);
  int index = std::toupper(static_cast<unsigned char>(root[0])) - 'A';
  const Drive& d = world_.drives[static_cast<std::size_t>(index)];
  if (!d.present) return Fail(ERROR_PATH_NOT_FOUND);
  NoteMediaDrive(index);
  if (d.notReady) return Fail(ERROR_NOT_READY);
  std::uint64_t t = 0, f = 0;
  if (d.totalBytes > 0) {
    std::uint64_t used = DriveBytesInUse(index);
    t = d.totalBytes;
    f = used >= t ? 0 : t - used;
  } else {
    struct statvfs vfs;
    if (::statvfs(d.hostDir.c_str(), &vfs) != 0) return Fail(ErrnoToError(errno));
    t = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    f = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  }
  if (d.type == DRIVE_CDROM) f = 0;
  if (freeToCaller) *freeToCaller = f;
  if (total) *total = t;
  if (totalFree) *totalFree = f;
  return true;
}

}  // namespace plat
