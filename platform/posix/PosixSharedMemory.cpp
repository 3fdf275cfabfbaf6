// Named shared-memory sections of the POSIX half: POSIX shared memory
// objects under escaped host names, dropped with their creator.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/posix/PosixInternal.h"
#include "platform/posix/PosixPlatform.h"

namespace plat {
namespace {

struct MappingObject : KernelObject {
  int fd = -1;
  std::string shmName;
  bool creator = false;
  std::size_t size = 0;
  ~MappingObject() override {
    if (fd >= 0) ::close(fd);
    if (creator) ::shm_unlink(shmName.c_str());
  }
};

std::mutex gViewsMutex;
std::map<void*, std::size_t> gViews;

// Every section carries its creator's process id behind its bytes. A section
// whose creator ended without closing it (killed, crashed) is gone for the
// next create and open, as Windows drops a section with its last process.
constexpr std::size_t kCreatorTrailer = 8;

bool CreatorGone(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kCreatorTrailer)) return false;
  std::int64_t pid = 0;
  if (::pread(fd, &pid, sizeof pid, st.st_size - static_cast<off_t>(kCreatorTrailer)) !=
      static_cast<ssize_t>(sizeof pid))
    return false;
  return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Opens an existing section; a stale one is removed and reported missing.
int OpenLiveSection(const std::string& shm) {
  int fd = ::shm_open(shm.c_str(), O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 && CreatorGone(fd)) {
    ::close(fd);
    ::shm_unlink(shm.c_str());
    errno = ENOENT;
    return -1;
  }
  return fd;
}

// The host name of a section: "/talver." and the name with "%" and "/" (the
// one character a host name cannot hold) written as "%25" and "%2F", so that
// two names never share a host name. False when it passes the host's limit.
bool ShmNameOf(const char* name, std::string* shm) {
  std::string s = "/talver.";
  for (const char* p = name; *p; ++p) {
    if (*p == '%')
      s += "%25";
    else if (*p == '/')
      s += "%2F";
    else
      s += *p;
  }
  if (s.size() - 1 > NAME_MAX) return false;
  *shm = std::move(s);
  return true;
}

}  // namespace

// ---------------------------------------------------------------- shared memory

HANDLE PosixPlatform::CreateFileMapping(const char* name, DWORD size) {
  std::string shm;
  if (!ShmNameOf(name, &shm)) {
    Fail(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  int fd = -1;
  bool creator = false;
  // Two tries: the first may find a stale section and remove it.
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    fd = ::shm_open(shm.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    creator = fd >= 0;
    if (!creator) {
      if (errno != EEXIST) {
        Fail(ErrnoToError(errno));
        return nullptr;
      }
      fd = OpenLiveSection(shm);
      if (fd < 0 && errno != ENOENT) {
        Fail(ErrnoToError(errno));
        return nullptr;
      }
    }
  }
  if (fd < 0) {
    Fail(ERROR_ALREADY_EXISTS);
    return nullptr;
  }
  if (creator) {
    const std::int64_t pid = ::getpid();
    if (::ftruncate(fd, static_cast<off_t>(size + kCreatorTrailer)) != 0 ||
        ::pwrite(fd, &pid, sizeof pid, static_cast<off_t>(size)) !=
            static_cast<ssize_t>(sizeof pid)) {
      DWORD e = ErrnoToError(errno);
      ::close(fd);
      ::shm_unlink(shm.c_str());
      Fail(e);
      return nullptr;
    }
  }
  struct stat st;
  if (!creator && (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kCreatorTrailer))) {
    ::close(fd);
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto* m = new MappingObject;
  m->fd = fd;
  m->shmName = shm;
  m->creator = creator;
  m->size = creator ? size : static_cast<std::size_t>(st.st_size) - kCreatorTrailer;
  SetLastError(creator ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return m;
}

HANDLE PosixPlatform::OpenFileMapping(const char* name) {
  std::string shm;
  if (!ShmNameOf(name, &shm)) {
    Fail(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  int fd = OpenLiveSection(shm);
  if (fd < 0) {
    Fail(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kCreatorTrailer)) {
    ::close(fd);
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto* m = new MappingObject;
  m->fd = fd;
  m->shmName = shm;
  m->size = static_cast<std::size_t>(st.st_size) - kCreatorTrailer;
  SetLastError(ERROR_SUCCESS);
  return m;
}

void* PosixPlatform::MapViewOfFile(HANDLE mapping) {
  auto* m = dynamic_cast<MappingObject*>(mapping);
  if (!m) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* view = ::mmap(nullptr, m->size, PROT_READ | PROT_WRITE, MAP_SHARED, m->fd, 0);
  if (view == MAP_FAILED) {
    Fail(ErrnoToError(errno));
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(gViewsMutex);
  gViews[view] = m->size;
  return view;
}

bool PosixPlatform::UnmapViewOfFile(void* view) {
  std::size_t size = 0;
  {
    std::lock_guard<std::mutex> lock(gViewsMutex);
    auto it = gViews.find(view);
    if (it == gViews.end()) return Fail(ERROR_INVALID_PARAMETER);
    size = it->second;
    gViews.erase(it);
  }
  return ::munmap(view, size) == 0;
}

}  // namespace plat
