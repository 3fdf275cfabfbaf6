#include "platform/posix/NameIndex.h"

#include <algorithm>
#include <cctype>

namespace plat {

NameIndex::Stamp NameIndex::StampOf(const struct stat& st) {
  Stamp s;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  s.size = st.st_size;
  s.links = st.st_nlink;
  return s;
}

// Folds as the path rules compare names (strncasecmp: byte by byte).
std::string NameIndex::Fold(const std::string& name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

void NameIndex::Add(Folder* f, const std::string& name) {
  auto& spellings = f->names[Fold(name)];
  if (std::find(spellings.begin(), spellings.end(), name) == spellings.end())
    spellings.push_back(name);
}

void NameIndex::Remove(Folder* f, const std::string& name) {
  auto it = f->names.find(Fold(name));
  if (it == f->names.end()) return;
  auto& spellings = it->second;
  spellings.erase(std::remove(spellings.begin(), spellings.end(), name), spellings.end());
  if (spellings.empty()) f->names.erase(it);
}

NameIndex::Folder& NameIndex::Build(const Stamp& stamp, const std::vector<std::string>& names) {
  const Key key{stamp.device, stamp.inode};
  if (!folders_.count(key) && folders_.size() >= kMaxFolders) {
    auto oldest = std::min_element(
        folders_.begin(), folders_.end(),
        [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
    folders_.erase(oldest);
  }
  Folder& f = folders_[key];
  f.stamp = stamp;
  f.names.clear();
  f.names.reserve(names.size());
  for (const std::string& n : names) Add(&f, n);
  return f;
}

bool NameIndex::Find(const struct stat& folder, const std::string& name, const Reader& read,
                     std::string* actual) {
  const Stamp stamp = StampOf(folder);
  const Key key{stamp.device, stamp.inode};
  std::unique_lock<std::mutex> lock(mutex_);
  auto it = folders_.find(key);
  Folder* f = it != folders_.end() && it->second.stamp == stamp ? &it->second : nullptr;
  if (!f) {
    // Read without the lock: the status was taken before the names, so a
    // change in between leaves a stamp that no longer matches.
    lock.unlock();
    std::vector<std::string> names = read();
    lock.lock();
    f = &Build(stamp, names);
  }
  f->lastUse = ++clock_;
  auto found = f->names.find(Fold(name));
  if (found == f->names.end()) return false;
  *actual = found->second.front();
  return true;
}

NameIndex::Answer NameIndex::Look(const struct stat& folder, const std::string& name,
                                  std::string* actual) {
  const Stamp stamp = StampOf(folder);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = folders_.find(Key{stamp.device, stamp.inode});
  if (it == folders_.end() || !(it->second.stamp == stamp)) return Answer::kUnknown;
  it->second.lastUse = ++clock_;
  auto found = it->second.names.find(Fold(name));
  if (found == it->second.names.end()) return Answer::kAbsent;
  const auto& spellings = found->second;
  const bool asSpelt = std::find(spellings.begin(), spellings.end(), name) != spellings.end();
  *actual = asSpelt ? name : spellings.front();
  return Answer::kFound;
}

void NameIndex::Changed(int dir, const struct stat& before, const std::string& removed,
                        const std::string& added, struct stat* now) {
  struct stat after;
  const bool known = ::fstat(dir, &after) == 0;
  const Stamp old = StampOf(before);  // before may be *now
  if (known && now) *now = after;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = folders_.find(Key{old.device, old.inode});
  if (it == folders_.end()) return;
  if (!known || !(it->second.stamp == old)) {
    folders_.erase(it);
    return;
  }
  if (!removed.empty()) Remove(&it->second, removed);
  if (!added.empty()) Add(&it->second, added);
  it->second.stamp = StampOf(after);
}

void NameIndex::Forget(const struct stat& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  folders_.erase(Key{folder.st_dev, folder.st_ino});
}

}  // namespace plat
