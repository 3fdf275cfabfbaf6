// The folders the POSIX half opened last (KeptFolders.h).
#include "platform/posix/KeptFolders.h"

#include <fcntl.h>
#include <unistd.h>

namespace plat::walk {

const KeptFolders::Kept* KeptFolders::Named(const std::string& host, struct stat* st) const {
  bool statted = false;
  for (const Kept& k : kept_) {
    if (k.fd < 0 || k.host != host) continue;
    if (!statted && ::fstatat(AT_FDCWD, host.c_str(), st, AT_SYMLINK_NOFOLLOW) != 0) return nullptr;
    statted = true;
    if (S_ISDIR(st->st_mode) && st->st_dev == k.device && st->st_ino == k.inode) return &k;
  }
  return nullptr;
}

bool KeptFolders::Check(const std::string& host, struct stat* st) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Named(host, st) != nullptr;
}

int KeptFolders::Take(const std::string& host) {
  std::lock_guard<std::mutex> lock(mutex_);
  struct stat st;
  const Kept* k = Named(host, &st);
  return k ? ::openat(k->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
}

void KeptFolders::Keep(const std::string& host, int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return;
  const int copy = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  Kept& k = kept_[next_++ % kept_.size()];
  if (k.fd >= 0) ::close(k.fd);
  k = Kept{host, copy, st.st_dev, st.st_ino};
}

KeptFolders& TheKeptFolders() {
  static KeptFolders* kept = new KeptFolders;  // lives as long as the process
  return *kept;
}

}  // namespace plat::walk
