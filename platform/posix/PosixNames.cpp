// The names of the POSIX half: searches, attributes, and the calls that
// create, delete and rename entries, each keeping the name index true.
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/PlatformInternal.h"
#include "platform/posix/PosixInternal.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixWalk.h"

namespace plat {

using namespace walk;

namespace {

// Case-insensitive wildcard match with "*" and "?"; "*.*" matches every name
// and "name.*" also matches "name".
bool MatchPattern(const char* p, const char* n) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (const char* s = n; *s; ++s)
        if (MatchPattern(p, s)) return true;
      return MatchPattern(p, n + std::strlen(n));
    }
    if (!*n) return false;
    if (*p != '?' && std::tolower(static_cast<unsigned char>(*p)) !=
                         std::tolower(static_cast<unsigned char>(*n)))
      return false;
    ++p;
    ++n;
  }
  return *n == '\0';
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

struct SearchObject : KernelObject {
  std::vector<WIN32_FIND_DATA> entries;
  std::size_t next = 0;
};

void FillFindData(const std::string& name, const struct stat& st, DWORD attributes,
                  WIN32_FIND_DATA* data) {
  std::memset(data, 0, sizeof(*data));
  data->dwFileAttributes = attributes;
  const std::uint64_t size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  data->ftLastWriteTime = FileTimeOfUnixSeconds(st.st_mtime);
  std::snprintf(data->cFileName, sizeof(data->cFileName), "%s", name.c_str());
}

}  // namespace

bool MatchName(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (MatchPattern(pattern.c_str(), name.c_str())) return true;
  if (pattern.size() > 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
    return MatchPattern(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
  return false;
}

HANDLE PosixPlatform::FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
  if (!pattern) {
    Fail(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  std::string p(pattern);
  // Split off the last component (the name pattern).
  std::size_t cut = p.find_last_of("\\/");
  std::string dirPart, namePart;
  if (cut == std::string::npos) {
    if (p.size() == 2 && p[1] == ':') {
      Fail(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    dirPart = ".";
    namePart = p;
    if (p.size() > 2 && p[1] == ':') {
      dirPart = p.substr(0, 2);
      namePart = p.substr(2);
    }
  } else {
    dirPart = p.substr(0, cut + 1);
    namePart = p.substr(cut + 1);
  }
  if (namePart.empty()) {
    // "dir\" looks up the directory itself; a drive root has no entry.
    std::string trimmed = p;
    while (!trimmed.empty() && (trimmed.back() == '\\' || trimmed.back() == '/'))
      trimmed.pop_back();
    if (trimmed.empty() || (trimmed.size() == 2 && trimmed[1] == ':')) {
      Fail(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    return FindFirstFile(trimmed.c_str(), data);
  }
  if (std::strlen(pattern) >= MAX_PATH) {
    Fail(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  Resolved dir;
  if (!Resolve(dirPart.c_str(), &dir)) return nullptr;
  // A search never descends into a link: what it points at may lie anywhere.
  ScopedFd folder;
  if (!dir.exists || !dir.isDirectory || dir.isLink || dir.belowLink ||
      !OpenFolders(dir, dir.names.size(), &folder)) {
    Fail(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  auto* search = new SearchObject;
  struct stat st;
  DWORD attributes = 0;
  if (!HasWildcard(namePart)) {
    std::string actual;
    if ((namePart == "." || namePart == "..") && !dir.isDriveRoot) {
      if (::fstat(folder.Get(), &st) == 0) {
        WIN32_FIND_DATA d;
        FillFindData(namePart, st, AttributesOf(st), &d);
        search->entries.push_back(d);
      }
    } else if (FindEntryAt(*names_, folder.Get(), namePart, &actual) &&
               EntryAttributesAt(folder.Get(), actual, &st, &attributes)) {
      WIN32_FIND_DATA d;
      FillFindData(actual, st, attributes, &d);
      search->entries.push_back(d);
    }
  } else {
    std::vector<std::string> names;
    for (const std::string& n : EntryNames(folder.Get())) {
      // A host name holding a backslash is no Windows name: a path built
      // from it would name another entry (a folder "x\..\y" stands for y).
      if (n.find('\\') != std::string::npos) continue;
      if (MatchName(namePart, n)) names.push_back(n);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      int c = strcasecmp(a.c_str(), b.c_str());
      return c != 0 ? c < 0 : a < b;
    });
    if (!dir.isDriveRoot && ::fstat(folder.Get(), &st) == 0) {
      for (const char* dot : {".", ".."}) {
        if (MatchName(namePart, dot)) {
          WIN32_FIND_DATA d;
          FillFindData(dot, st, AttributesOf(st), &d);
          search->entries.push_back(d);
        }
      }
    }
    for (const auto& n : names) {
      if (!EntryAttributesAt(folder.Get(), n, &st, &attributes)) continue;
      WIN32_FIND_DATA d;
      FillFindData(n, st, attributes, &d);
      search->entries.push_back(d);
    }
  }
  if (search->entries.empty()) {
    delete search;
    Fail(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  *data = search->entries[0];
  search->next = 1;
  SetLastError(ERROR_SUCCESS);
  return search;
}

bool PosixPlatform::FindNextFile(HANDLE handle, WIN32_FIND_DATA* data) {
  auto* s = dynamic_cast<SearchObject*>(handle);
  if (!s) return Fail(ERROR_INVALID_HANDLE);
  if (s->next >= s->entries.size()) return Fail(ERROR_NO_MORE_FILES);
  *data = s->entries[s->next++];
  return true;
}

DWORD PosixPlatform::GetFileAttributes(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  DWORD attributes = 0;
  if (r.isDriveRoot && r.exists && ::stat(r.walkRoot.c_str(), &st) == 0) return AttributesOf(st);
  // Nothing below a link is seen, as by a search.
  ScopedFd parent;
  if (r.belowLink || (r.exists && !OpenParent(r, &parent))) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (!r.exists || !EntryAttributesAt(parent.Get(), Leaf(r), &st, &attributes)) {
    SetLastError(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributes;
}

// The calls below change names and attributes. Each one works on the entry
// in its folder, opened by OpenParent: a link on the way fails the call with
// ERROR_ACCESS_DENIED, and a link as the last component is changed itself,
// never what it points at.

bool PosixPlatform::SetFileAttributes(const char* path, DWORD attributes) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (!r.exists) return Fail(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return false;
  struct stat st;
  if (::fstatat(parent.Get(), Leaf(r), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return Fail(ErrnoToError(errno));
  if (!CheckWritable(r)) return false;
  // A link has no attributes of its own here; what it points at keeps its own.
  if (S_ISLNK(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  if (::fchmodat(parent.Get(), Leaf(r), mode, AT_SYMLINK_NOFOLLOW) == 0) return true;
  // The host has no modes for links: the entry became one since it was seen.
  if (errno == EOPNOTSUPP) return true;
  return Fail(ErrnoToError(errno));
}

bool PosixPlatform::DeleteFile(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (!r.exists) return Fail(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return false;
  struct stat st;
  if (::fstatat(parent.Get(), Leaf(r), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return Fail(ErrnoToError(errno));
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (!CheckWritable(r)) return false;
  if (ReadOnlyMode(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  // A link goes itself, never what it points at.
  struct stat before {};
  ::fstat(parent.Get(), &before);
  if (::unlinkat(parent.Get(), Leaf(r), 0) != 0) return Fail(ErrnoToError(errno));
  names_->Changed(parent.Get(), before, Leaf(r), {});
  return true;
}

bool PosixPlatform::CreateDirectory(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (r.exists || r.isDriveRoot) return Fail(ERROR_ALREADY_EXISTS);
  if (!CheckWritable(r)) return false;
  if (!r.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return false;
  struct stat before {};
  ::fstat(parent.Get(), &before);
  if (::mkdirat(parent.Get(), Leaf(r), 0755) != 0) return Fail(ErrnoToError(errno));
  names_->Changed(parent.Get(), before, {}, Leaf(r));
  return true;
}

bool PosixPlatform::RemoveDirectory(const char* path) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  if (!r.exists) return Fail(r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  if (!r.isDirectory) return Fail(ERROR_DIRECTORY);
  if (r.isDriveRoot) return Fail(ERROR_ACCESS_DENIED);
  if (!CheckWritable(r)) return false;
  ScopedFd parent;
  if (!OpenParent(r, &parent)) return false;
  struct stat st;
  if (::fstatat(parent.Get(), Leaf(r), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return Fail(ErrnoToError(errno));
  // A link to a directory goes itself; the directory it points at stays.
  const int how = S_ISLNK(st.st_mode) ? 0 : AT_REMOVEDIR;
  struct stat before {};
  ::fstat(parent.Get(), &before);
  if (::unlinkat(parent.Get(), Leaf(r), how) != 0) return Fail(ErrnoToError(errno));
  names_->Changed(parent.Get(), before, Leaf(r), {});
  if (how == AT_REMOVEDIR) names_->Forget(st);
  return true;
}

bool PosixPlatform::MoveFile(const char* from, const char* to, bool replace) {
  Resolved a, b;
  if (!Resolve(from, &a) || !Resolve(to, &b, &a)) return false;
  if (!a.exists) return Fail(a.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  if (!CheckWritable(a) || !CheckWritable(b)) return false;
  if (!b.parentExists) return Fail(ERROR_PATH_NOT_FOUND);
  // A rename inside one folder (a temporary onto its final name) opens it once.
  const bool oneFolder =
      !a.names.empty() && !b.names.empty() && a.walkRoot == b.walkRoot &&
      std::equal(a.names.begin(), a.names.end() - 1, b.names.begin(), b.names.end() - 1);
  ScopedFd fromDir, ownToDir;
  struct stat fromBefore {
  }, toBefore{};
  if (!OpenParent(a, &fromDir, &fromBefore) || (!oneFolder && !OpenParent(b, &ownToDir, &toBefore)))
    return false;
  if (oneFolder) toBefore = fromBefore;
  const ScopedFd& toDir = oneFolder ? fromDir : ownToDir;
  if (!RenameInFolders(fromDir.Get(), Leaf(a), toDir.Get(), Leaf(b), !b.exists, a.host == b.host,
                       replace))
    return false;
  if (fromBefore.st_dev == toBefore.st_dev && fromBefore.st_ino == toBefore.st_ino) {
    names_->Changed(fromDir.Get(), fromBefore, Leaf(a), Leaf(b));
  } else {
    names_->Changed(fromDir.Get(), fromBefore, Leaf(a), {});
    names_->Changed(toDir.Get(), toBefore, {}, Leaf(b));
  }
  return true;
}

// One rename onto the empty folder, which the host replaces only while it
// is empty and a folder; the new folder takes its permissions.
bool PosixPlatform::ReplaceEmptyFolder(const char* from, const char* to) {
  Resolved a, b;
  if (!Resolve(from, &a) || !Resolve(to, &b, &a)) return false;
  if (!a.exists || !b.exists) return Fail(ERROR_FILE_NOT_FOUND);
  if (!a.isDirectory || !b.isDirectory || a.isLink || b.isLink || b.isDriveRoot)
    return Fail(ERROR_DIRECTORY);
  if (!CheckWritable(a) || !CheckWritable(b)) return false;
  ScopedFd fromDir, toDir;
  struct stat fromBefore {
  }, toBefore{};
  if (!OpenParent(a, &fromDir, &fromBefore) || !OpenParent(b, &toDir, &toBefore)) return false;
  struct stat moved {
  }, replaced{};
  if (::fstatat(fromDir.Get(), Leaf(a), &moved, AT_SYMLINK_NOFOLLOW) != 0 ||
      ::fstatat(toDir.Get(), Leaf(b), &replaced, AT_SYMLINK_NOFOLLOW) != 0)
    return Fail(ErrnoToError(errno));
  if (!S_ISDIR(moved.st_mode) || !S_ISDIR(replaced.st_mode)) return Fail(ERROR_DIRECTORY);
  if ((moved.st_mode & 07777) != (replaced.st_mode & 07777) &&
      ::fchmodat(fromDir.Get(), Leaf(a), replaced.st_mode & 07777, 0) != 0)
    return Fail(ErrnoToError(errno));
  if (::renameat(fromDir.Get(), Leaf(a), toDir.Get(), Leaf(b)) != 0)
    return Fail(errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrnoToError(errno));
  names_->Forget(replaced);
  names_->Changed(fromDir.Get(), fromBefore, Leaf(a), {});
  if (fromBefore.st_dev != toBefore.st_dev || fromBefore.st_ino != toBefore.st_ino)
    names_->Changed(toDir.Get(), toBefore, {}, {});
  return true;
}

}  // namespace plat
