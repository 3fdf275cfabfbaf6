// The files of the POSIX half: opening, reading, writing, sizing, flushing
// and locking, with the system's sharing rules and the world's drive sizes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/PlatformInternal.h"
#include "platform/posix/PosixInternal.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixWalk.h"

namespace plat {

using namespace walk;

namespace {

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
  dev_t device = 0;  // the host file system that holds the file
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
      // Only a new file opens: nothing there to block on.
      f = (f & ~O_NONBLOCK) | O_CREAT | O_EXCL;
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

// Opens the entry `name` of the folder `dir` as a regular file (its status
// in `st`); anything else (a link, a FIFO, a device, a socket) fails with
// ERROR_ACCESS_DENIED and is left as it was found.
int OpenRegular(int dir, const char* name, int oflags, struct stat* st) {
  int fd = ::openat(dir, name, oflags, 0644);
  if (fd < 0) {
    Fail(OpenError(dir, name, errno));
    return -1;
  }
  if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    Fail(ERROR_ACCESS_DENIED);
    ::close(fd);
    return -1;
  }
  // Of the status flags F_SETFL changes, O_NONBLOCK is the only one set here.
  if (oflags & O_NONBLOCK) ::fcntl(fd, F_SETFL, oflags & ~O_NONBLOCK);
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
  struct stat folder;
  if (!OpenParent(r, &parent, &folder)) return nullptr;
  // A new name that the resolution found free is created at once: the
  // exclusive create refuses whatever took the name since, which is then
  // looked at as any name that is there.
  if (disposition == CREATE_NEW && !r.exists) {
    HANDLE file = OpenInFolder(r, parent, folder, access, share, disposition, flags, false);
    if (file || GetLastError() != ERROR_ALREADY_EXISTS) return file;
  }
  return OpenInFolder(r, parent, folder, access, share, disposition, flags, true);
}

HANDLE PosixPlatform::OpenInFolder(const Resolved& r, ScopedFd& parent, const struct stat& folder,
                                   DWORD access, DWORD share, DWORD disposition, DWORD flags,
                                   bool look, struct stat* after) {
  const bool write = (access & GENERIC_WRITE) != 0;
  struct stat st;
  const bool exists = look && ::fstatat(parent.Get(), Leaf(r), &st, AT_SYMLINK_NOFOLLOW) == 0;
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
  const bool makesName = !exists && (oflags & O_CREAT);
  struct stat opened;
  int fd = OpenRegular(parent.Get(), Leaf(r), oflags, &opened);
  if (fd < 0) return nullptr;
  if (makesName) names_->Changed(parent.Get(), folder, {}, Leaf(r), after);
  auto* f = new FileObject;
  TheOpenFiles().Add(f, OpenFile{opened.st_dev, opened.st_ino, reads, writes, share});
  f->fd = fd;
  f->device = opened.st_dev;
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

// The files of one host file system are flushed with it at once: one wait
// for the medium instead of one a file (the host may write more than these
// files then). A host without that call flushes each file.
bool PosixPlatform::FlushFiles(const HANDLE* files, std::size_t count) {
  std::vector<std::pair<dev_t, int>> systems;
  for (std::size_t i = 0; i < count; ++i) {
    auto* f = dynamic_cast<FileObject*>(files[i]);
    if (!f) return Fail(ERROR_INVALID_HANDLE);
    if (std::none_of(systems.begin(), systems.end(),
                     [f](const auto& s) { return s.first == f->device; }))
      systems.emplace_back(f->device, f->fd);
  }
#ifdef __linux__
  bool whole = true;
  for (const auto& system : systems)
    if (::syncfs(system.second) != 0) whole = false;
  if (whole) return true;
#endif
  for (std::size_t i = 0; i < count; ++i)
    if (!FlushFile(files[i])) return false;
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

}  // namespace plat
