// A search begun with FindFirstFile, owned: the search is closed when its
// owner goes, on every path out of the code that walks it. Move-only.
#pragma once

#include <utility>

#include "platform/Platform.h"

namespace plat {

// Whether a FindNextFile that has just returned false reached the end of
// its search, rather than failing in the middle of it (a walk cut short
// there would take a part of a folder for the whole).
inline bool SearchEnded() { return plat::GetLastError() == ERROR_NO_MORE_FILES; }

class ScopedFind {
 public:
  ScopedFind() = default;
  // Starts the search; the first entry lands in *data. A search that could
  // not start tests false and leaves the last error of FindFirstFile.
  ScopedFind(const char* pattern, WIN32_FIND_DATA* data)
      : search_(plat::FindFirstFile(pattern, data)) {}
  ~ScopedFind() { Close(); }

  ScopedFind(ScopedFind&& other) noexcept : search_(std::exchange(other.search_, nullptr)) {}
  ScopedFind& operator=(ScopedFind&& other) noexcept {
    if (this != &other) {
      Close();
      search_ = std::exchange(other.search_, nullptr);
    }
    return *this;
  }
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;

  explicit operator bool() const { return search_ != nullptr; }
  HANDLE Get() const { return search_; }

  // The next entry into *data; false at the end of the search (and on a
  // search that never started).
  bool Next(WIN32_FIND_DATA* data) { return search_ && plat::FindNextFile(search_, data); }

  // Closes the search now; the owner is empty afterwards.
  void Close() {
    if (search_) plat::FindClose(std::exchange(search_, nullptr));
  }

 private:
  HANDLE search_ = nullptr;
};

}  // namespace plat
