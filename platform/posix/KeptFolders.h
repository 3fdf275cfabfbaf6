// The folders the POSIX half opened last, kept open so that the paths into
// one folder neither walk nor open their whole prefix again.
#pragma once

#include <sys/stat.h>

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

namespace plat::walk {

// An open folder that a kept entry and the calls using it share: it is
// closed when the last of them lets it go, so a call keeps its folder open
// even when a newer folder takes its place in the list meanwhile. Its place
// in a search is never used: names are read from a description of their own.
class SharedFolder {
 public:
  explicit SharedFolder(int fd) : fd_(fd) {}
  SharedFolder(const SharedFolder&) = delete;
  SharedFolder& operator=(const SharedFolder&) = delete;
  ~SharedFolder();
  int Get() const { return fd_; }

 private:
  int fd_;
};
using FolderLease = std::shared_ptr<const SharedFolder>;

// An extraction opens the same folder for every file it writes and renames,
// and resolves its path for each. A folder is kept when a walk opened it one
// component at a time without following a link, under the host path of the
// names it found; it is used only while that host path still names that very
// folder (the same device and inode, which no other entry can take while it
// is open), so a folder moved away, or a link put at its place, is walked to
// as before, and refused.
//
// A caller may spell a folder otherwise than the host does (an archive's
// "CONFIG" unpacked into a tree whose folder is "config"): a walk that found
// the host spelling notes it as the spelling's alias, so that the next path
// spelt so finds the kept folder too. An alias is only a way to a kept
// folder, which is checked under its own host path as above; it is noted
// only when no folder on the way had the asked spelling itself.
class KeptFolders {
 public:
  // The kept folder `host` names now, with its status in `st` and, when
  // `host` is an alias, the host path it stands for in `actual`; null when
  // there is none.
  FolderLease Take(const std::string& host, struct stat* st, std::string* actual = nullptr);
  // Keeps the folder open as `fd`, which a walk opened at `host`.
  void Keep(const std::string& host, int fd);
  // Notes that the folder asked for as `asked` was found at `host`.
  void Alias(const std::string& asked, const std::string& host);

 private:
  struct Kept {
    std::string host;
    FolderLease folder;
    dev_t device = 0;
    ino_t inode = 0;
  };
  struct Spelling {
    std::string asked, host;
  };
  FolderLease TakeLocked(const std::string& host, struct stat* st);

  std::mutex mutex_;
  std::array<Kept, 8> kept_{};
  std::size_t next_ = 0;
  std::array<Spelling, 8> aliases_{};
  std::size_t nextAlias_ = 0;
};

// The kept folders of the process.
KeptFolders& TheKeptFolders();

}  // namespace plat::walk
