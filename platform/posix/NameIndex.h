// The case-insensitive names of host folders, kept so that resolving a name
// that is not spelled as on the host (or not there yet) does not read the
// whole folder each time. An index belongs to one folder (device and inode)
// and holds while the folder's status is the one it was read or last changed
// at: a change from outside (another process, the host) moves the folder's
// modification or change time and the index is read again at the next miss.
// The POSIX half notes its own creations, renames and deletions, so that a
// folder it fills is read once, not once per name.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace plat {

class NameIndex {
 public:
  // At most this many folders are kept; the least recently used goes first.
  static constexpr std::size_t kMaxFolders = 64;

  using Reader = std::function<std::vector<std::string>()>;

  // The name in the folder of status `folder` that equals `name` ignoring
  // case; the one the host lists first when several do. `read` gives the
  // folder's names when the index has to be (re)built. False when none.
  bool Find(const struct stat& folder, const std::string& name, const Reader& read,
            std::string* actual);

  // What a current index of the folder of status `folder` knows of `name`
  // without reading the folder: kFound with the spelling the host has (the
  // name itself when it is there so spelt), kAbsent when no name folds to
  // it, kUnknown when no index of the folder is current.
  enum class Answer { kUnknown, kAbsent, kFound };
  Answer Look(const struct stat& folder, const std::string& name, std::string* actual);

  // This process changed the folder open as `dir`, whose status before the
  // change was `before`: `removed` went, `added` came. An index that was
  // current before the change is updated and stays current; any other is
  // dropped. Either may be empty. `after`, when given, gets the folder's
  // status after the change (unchanged when it cannot be had).
  void Changed(int dir, const struct stat& before, const std::string& removed,
               const std::string& added, struct stat* after = nullptr);

  // The folder of status `folder` is gone: its index goes with it, so that
  // a new folder given the same inode is never taken for it.
  void Forget(const struct stat& folder);

 private:
  struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t mtimeNs = 0, ctimeNs = 0;
    off_t size = 0;
    nlink_t links = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Folder {
    Stamp stamp;
    // The folded name and every host name that folds to it, as listed.
    std::unordered_map<std::string, std::vector<std::string>> names;
    std::uint64_t lastUse = 0;
  };
  struct KeyHash {
    std::size_t operator()(const std::pair<dev_t, ino_t>& k) const {
      return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(k.first) * 1000003u ^
                                        static_cast<std::uint64_t>(k.second));
    }
  };
  using Key = std::pair<dev_t, ino_t>;

  static Stamp StampOf(const struct stat& st);
  static std::string Fold(const std::string& name);
  Folder& Build(const Stamp& stamp, const std::vector<std::string>& names);
  static void Add(Folder* f, const std::string& name);
  static void Remove(Folder* f, const std::string& name);

  std::mutex mutex_;
  std::unordered_map<Key, Folder, KeyHash> folders_;
  std::uint64_t clock_ = 0;
};

}  // namespace plat
