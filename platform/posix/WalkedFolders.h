// The folders the POSIX half walked to, kept so that the paths into one
// folder do not walk its whole prefix again.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <mutex>
#include <string>

namespace plat::walk {

// The folders that full walks went through with every component spelt as
// on the host and none a link, by host path, so that the next path into one
// of them walks only its last component: an extraction resolves the same
// folder for every file it writes. A folder is taken as walked only while
// its host path still names that very folder (the same device and inode,
// which no other entry can take while it is listed here: it is held open);
// a link or another folder put at its place is walked to as before.
class WalkedFolders {
 public:
  WalkedFolders() = default;
  WalkedFolders(const WalkedFolders&) = delete;
  WalkedFolders& operator=(const WalkedFolders&) = delete;
  ~WalkedFolders();
  // True with the folder's status now when `host` is one walked before and
  // still names it.
  bool Check(const std::string& host, struct stat* st);
  void Note(const std::string& host, const struct stat& st);

 private:
  struct Walked {
    std::string host;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
  };
  std::mutex mutex_;
  std::array<Walked, 8> walked_{};
  std::size_t next_ = 0;
};

}  // namespace plat::walk
