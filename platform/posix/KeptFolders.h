// The folders the POSIX half opened last, kept open so that the paths into
// one folder neither walk nor open their whole prefix again.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <mutex>
#include <string>

namespace plat::walk {

// An extraction opens the same folder for every file it writes and renames,
// and resolves its path for each. A folder is kept when a walk opened it one
// component at a time without following a link, under the host path of the
// names it found; it is used only while that host path still names that very
// folder (the same device and inode, which no other entry can take while it
// is open), so a folder moved away, or a link put at its place, is walked to
// as before, and refused.
class KeptFolders {
 public:
  // True with the folder's status now when `host` names a kept folder.
  bool Check(const std::string& host, struct stat* st);
  // A fresh open of the kept folder `host` names (a duplicate would share
  // the place of a search); -1 when there is none.
  int Take(const std::string& host);
  // Keeps a copy of `fd`, the folder a walk opened at `host`.
  void Keep(const std::string& host, int fd);

 private:
  struct Kept {
    std::string host;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
  };
  // The kept folder `host` names now, its status in `st` (lock held).
  const Kept* Named(const std::string& host, struct stat* st) const;

  std::mutex mutex_;
  std::array<Kept, 8> kept_{};
  std::size_t next_ = 0;
};

// The kept folders of the process.
KeptFolders& TheKeptFolders();

}  // namespace plat::walk
