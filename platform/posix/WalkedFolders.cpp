// The folders the POSIX half walked to (WalkedFolders.h).
#include "platform/posix/WalkedFolders.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace plat::walk {

WalkedFolders::~WalkedFolders() {
  for (const Walked& w : walked_)
    if (w.fd >= 0) ::close(w.fd);
}

bool WalkedFolders::Check(const std::string& host, struct stat* st) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::none_of(walked_.begin(), walked_.end(),
                     [&host](const Walked& w) { return w.host == host; }))
      return false;
  }
  if (::lstat(host.c_str(), st) != 0 || !S_ISDIR(st->st_mode)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(walked_.begin(), walked_.end(), [&](const Walked& w) {
    return w.host == host && w.device == st->st_dev && w.inode == st->st_ino;
  });
}

void WalkedFolders::Note(const std::string& host, const struct stat& st) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Walked& w : walked_)
      if (w.host == host && w.device == st.st_dev && w.inode == st.st_ino) return;
  }
  const int fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat now;
  if (fd < 0) return;
  if (::fstat(fd, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
    ::close(fd);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto same = std::find_if(walked_.begin(), walked_.end(),
                           [&host](const Walked& w) { return w.host == host; });
  Walked& w = same != walked_.end() ? *same : walked_[next_++ % walked_.size()];
  if (w.fd >= 0) ::close(w.fd);
  w = Walked{host, fd, st.st_dev, st.st_ino};
}

}  // namespace plat::walk
