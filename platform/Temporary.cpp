#include "platform/Temporary.h"

#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "platform/Platform.h"
#include "platform/ScopedFind.h"

namespace plat {
namespace {

constexpr std::size_t kDigits = 8;
// Tries of a fresh name before the name space counts as exhausted.
constexpr int kTries = 64;

}  // namespace

bool IsTemporaryName(const std::string& name) {
  const std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string::npos) return false;
  const std::size_t digits = mark + sizeof kTemporaryMark - 1;
  if (name.size() != digits + kDigits) return false;
  for (std::size_t i = digits; i < name.size(); ++i)
    if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
  return name.find_first_of("\\/", mark) == std::string::npos;
}

namespace {

// Gives `temporary` a fresh temporary name of `final` until `create` makes
// it; `room`: how much of MAX_PATH the folder's path leaves to the name.
template <typename Create>
bool MakeTemporary(const std::string& final, std::size_t room, std::string* temporary,
                   Create create) {
  // Random at the start, so that two processes seldom try the same name; a
  // name taken by the other is passed over all the same.
  static std::atomic<std::uint32_t> next{std::random_device{}()};
  for (int attempt = 0; attempt < kTries; ++attempt) {
    char suffix[sizeof kTemporaryMark + kDigits];
    std::snprintf(suffix, sizeof suffix, "%s%08X", kTemporaryMark,
                  static_cast<unsigned>(next.fetch_add(1)));
    *temporary = final + suffix;
    if (temporary->size() >= room) {
      temporary->clear();
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return false;
    }
    if (create(*temporary)) return true;
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  temporary->clear();
  return false;
}

}  // namespace

HANDLE CreateTemporaryBeside(const std::string& final, std::string* temporary) {
  HANDLE made = 0;
  MakeTemporary(final, MAX_PATH, temporary, [&made](const std::string& name) {
    made = CreateFile(name.c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
    return made != 0;
  });
  return made;
}

HANDLE CreateTemporaryIn(HANDLE folder, const std::string& final, std::string* temporary) {
  const std::size_t used = PathOfFolder(folder).size();
  HANDLE made = 0;
  MakeTemporary(final, MAX_PATH > used ? MAX_PATH - used : 0, temporary,
                [&made, folder](const std::string& name) {
                  made = CreateFileIn(folder, name.c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
                  return made != 0;
                });
  return made;
}

bool CreateTemporaryFolderBeside(const std::string& final, std::string* temporary) {
  return MakeTemporary(final, MAX_PATH, temporary,
                       [](const std::string& name) { return CreateDirectory(name.c_str()) != 0; });
}

bool IsLink(const std::string& path) {
  const DWORD attributes = GetFileAttributes(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  if (cut != std::string::npos) return path.substr(0, cut + 1);
  return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : std::string();
}

bool CommitTemporary(HANDLE file, const std::string& temporary, const std::string& final,
                     bool flushFolder) {
  bool ok = FlushFileBuffers(file) != 0;
  DWORD error = ok ? 0 : GetLastError();
  if (!CloseHandle(file) && ok) {
    ok = false;
    error = GetLastError();
  }
  if (ok && IsLink(final)) {
    ok = false;
    error = ERROR_ACCESS_DENIED;
  }
  if (ok && !MoveFileEx(temporary.c_str(), final.c_str(), true)) {
    ok = false;
    error = GetLastError();
  }
  if (!ok) {
    DeleteFile(temporary.c_str());
    SetLastError(error);
    return false;
  }
  const std::string folder = FolderOf(final);
  // The rename is made; a folder that cannot be flushed is reported all the
  // same, since the new name may not outlive a power cut.
  if (flushFolder && !folder.empty() && !FlushFolder(folder.c_str())) return false;
  return true;
}

namespace {

// Removes the temporaries in `base` (a folder ending in a separator); with a
// `stem`, only the files of that final name.
int RemoveTemporaries(const std::string& base, const std::string& stem) {
  const std::size_t ownLength = stem.size() + sizeof kTemporaryMark - 1 + kDigits;
  std::vector<std::string> stale, staleFolders;
  {
    WIN32_FIND_DATA data;
    ScopedFind find((base + stem + "*").c_str(), &data);
    for (bool more = static_cast<bool>(find); more; more = find.Next(&data)) {
      const std::string name = data.cFileName;
      if (!IsTemporaryName(name)) continue;
      const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
      if (folder && stem.empty()) staleFolders.push_back(base + name);
      if (folder || (!stem.empty() && name.size() != ownLength)) continue;
      stale.push_back(base + name);
    }
  }
  int removed = 0;
  for (const std::string& path : stale) {
    SetFileAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    removed += DeleteFile(path.c_str()) ? 1 : 0;
  }
  for (const std::string& path : staleFolders) removed += RemoveTree(path) ? 1 : 0;
  return removed;
}

}  // namespace

int RemoveTemporariesIn(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
  return RemoveTemporaries(base, "");
}

int RemoveTemporariesOf(const std::string& final) {
  const std::string folder = FolderOf(final);
  return RemoveTemporaries(folder, final.substr(folder.size()));
}

bool RemoveTree(const std::string& path) {
  std::vector<std::string> files, folders, linkedFiles, linkedFolders;
  {
    WIN32_FIND_DATA data;
    ScopedFind find((path + "\\*").c_str(), &data);
    for (bool more = static_cast<bool>(find); more; more = find.Next(&data)) {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string entry = path + "\\" + name;
      const DWORD a = data.dwFileAttributes;
      if ((a & FILE_ATTRIBUTE_REPARSE_POINT) && (a & FILE_ATTRIBUTE_DIRECTORY))
        linkedFolders.push_back(entry);  // the link itself goes
      else if (a & FILE_ATTRIBUTE_REPARSE_POINT)
        linkedFiles.push_back(entry);
      else if (a & FILE_ATTRIBUTE_DIRECTORY)
        folders.push_back(entry);
      else
        files.push_back(entry);
    }
  }
  bool whole = true;
  for (const std::string& f : files) {
    SetFileAttributes(f.c_str(), FILE_ATTRIBUTE_NORMAL);
    whole = DeleteFile(f.c_str()) && whole;
  }
  for (const std::string& l : linkedFiles) whole = DeleteFile(l.c_str()) && whole;
  for (const std::string& l : linkedFolders) whole = RemoveDirectory(l.c_str()) && whole;
  for (const std::string& f : folders) whole = RemoveTree(f) && whole;
  return RemoveDirectory(path.c_str()) && whole;
}

}  // namespace plat
