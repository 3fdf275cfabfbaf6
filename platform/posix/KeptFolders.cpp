// The folders the POSIX half opened last (KeptFolders.h).
#include "platform/posix/KeptFolders.h"

#include <fcntl.h>
#include <unistd.h>

namespace plat::walk {

SharedFolder::~SharedFolder() {
  if (fd_ >= 0) ::close(fd_);
}

FolderLease KeptFolders::Take(const std::string& host, struct stat* st, std::string* actual) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (FolderLease kept = TakeLocked(host, st)) {
    if (actual) *actual = host;
    return kept;
  }
  if (!actual) return nullptr;
  for (const Spelling& a : aliases_) {
    if (a.asked.empty() || a.asked != host) continue;
    FolderLease kept = TakeLocked(a.host, st);
    if (kept) *actual = a.host;
    return kept;
  }
  return nullptr;
}

FolderLease KeptFolders::TakeLocked(const std::string& host, struct stat* st) {
  bool statted = false;
  for (const Kept& k : kept_) {
    if (!k.folder || k.host != host) continue;
    if (!statted && ::fstatat(AT_FDCWD, host.c_str(), st, AT_SYMLINK_NOFOLLOW) != 0) return nullptr;
    statted = true;
    if (S_ISDIR(st->st_mode) && st->st_dev == k.device && st->st_ino == k.inode) return k.folder;
  }
  return nullptr;
}

void KeptFolders::Keep(const std::string& host, int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return;
  const int copy = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) return;
  auto folder = std::make_shared<const SharedFolder>(copy);
  std::lock_guard<std::mutex> lock(mutex_);
  kept_[next_++ % kept_.size()] = Kept{host, std::move(folder), st.st_dev, st.st_ino};
}

void KeptFolders::Alias(const std::string& asked, const std::string& host) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Spelling& a : aliases_)
    if (a.asked == asked) {
      a.host = host;
      return;
    }
  aliases_[nextAlias_++ % aliases_.size()] = Spelling{asked, host};
}

KeptFolders& TheKeptFolders() {
  static KeptFolders* kept = new KeptFolders;  // lives as long as the process
  return *kept;
}

}  // namespace plat::walk
