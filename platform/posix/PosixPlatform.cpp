// The POSIX half of the platform: host errors, the installed half, and the
// resolution of system paths into host paths (files, names, drives, threads
// and the rest each have a file of their own beside this one).
#include "platform/posix/PosixPlatform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ForwardingPlatform.h"
#include "platform/PlatformInternal.h"
#include "platform/posix/KeptFolders.h"
#include "platform/posix/PosixInternal.h"
#include "platform/posix/PosixWalk.h"

namespace plat {

DWORD ErrnoToError(int e) {
  switch (e) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP:  // a link met where none is followed
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

using namespace walk;

namespace {

// A job may hold a few hundred files open at once (the archiver flushes
// its files in batches of 256). The process's table of descriptors grows
// to hold them; grown while the process has several threads, it first
// waits for the kernel's grace period (13 ms on this machine's kind, once
// a process). Grown here, when a world is loaded, mostly before any worker
// runs, it costs nothing later.
void ReserveDescriptors() {
  constexpr int kDescriptors = 320;
  const int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, kDescriptors);
  if (high >= 0) ::close(high);
  ::close(fd);
}

}  // namespace

PosixPlatform::PosixPlatform(World world) : world_(std::move(world)) { ReserveDescriptors(); }

PosixPlatform* CurrentPosix() {
  if (!HasCurrent()) return nullptr;
  Platform* platform = &Current();
  while (auto* decorator = dynamic_cast<ForwardingPlatform*>(platform)) {
    platform = &decorator->Inner();
  }
  return dynamic_cast<PosixPlatform*>(platform);
}

const World& CurrentWorld() {
  Current();  // aborts when no world is loaded
  auto* posix = CurrentPosix();
  if (!posix) {
    std::fprintf(stderr, "talver: the installed platform has no world\n");
    std::abort();
  }
  return posix->GetWorld();
}

// ---------------------------------------------------------------- paths

namespace {

// The components of `folder` below `base` as `names`; false when `folder`
// does not lie below `base`.
bool SplitBelow(const std::string& base, const std::string& folder,
                std::vector<std::string>* names) {
  if (folder.size() <= base.size() + 1 || folder.compare(0, base.size(), base) != 0 ||
      folder[base.size()] != '/')
    return false;
  names->clear();
  std::size_t start = base.size() + 1;
  for (;;) {
    const std::size_t slash = folder.find('/', start);
    names->push_back(folder.substr(start, slash - start));
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

}  // namespace

bool PosixPlatform::Resolve(const char* path, Resolved* out, const Resolved* near) {
  *out = Resolved{};
  if (!path || !*path) return Fail(ERROR_PATH_NOT_FOUND);
  if (std::strlen(path) >= MAX_PATH) return Fail(ERROR_FILENAME_EXCED_RANGE);

  std::string base;
  const char* rest = path;
  if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    int index = std::toupper(static_cast<unsigned char>(path[0])) - 'A';
    const Drive& d = world_.drives[static_cast<std::size_t>(index)];
    if (!d.present) return Fail(ERROR_PATH_NOT_FOUND);
    NoteMediaDrive(index);
    if (d.notReady) return Fail(ERROR_NOT_READY);
    out->driveIndex = index;
    base = d.hostDir;
    rest = path + 2;
  } else if (IsSep(path[0]) && IsSep(path[1])) {
    // \\server\share\...: a client-PC drive seen through terminal services.
    std::string p(path);
    std::replace(p.begin(), p.end(), '/', '\\');
    const ClientDrive* match = nullptr;
    for (const auto& c : world_.clientDrives) {
      if (p.size() >= c.remoteName.size() &&
          EqualNoCase(p.substr(0, c.remoteName.size()), c.remoteName) &&
          (p.size() == c.remoteName.size() || p[c.remoteName.size()] == '\\'))
        match = &c;
    }
    if (!match) return Fail(ERROR_BAD_NETPATH);
    base = match->hostDir;
    rest = path + match->remoteName.size();
  } else {
    // A host path, taken literally.
    std::string host = path;
    std::replace(host.begin(), host.end(), '\\', '/');
    out->host = host;
    struct stat st;
    out->exists = ::lstat(host.c_str(), &st) == 0;
    out->isLink = out->exists && S_ISLNK(st.st_mode);
    out->isDirectory = out->exists && ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    std::string parent = host;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    auto slash = parent.rfind('/');
    parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : parent.substr(0, slash));
    out->parentExists = ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    // The person who typed the path chose its folders; its last component
    // is walked like any entry below a drive.
    std::string leaf = host;
    while (leaf.size() > 1 && leaf.back() == '/') leaf.pop_back();
    leaf = slash == std::string::npos ? leaf : leaf.substr(slash + 1);
    out->walkRoot = parent;
    if (!leaf.empty() && leaf != "/") out->names.push_back(leaf);
    return true;
  }

  // Split into components; doubled separators collapse, "." is dropped and
  // ".." never climbs above the drive root.
  std::vector<std::string> parts;
  std::string cur;
  for (const char* p = rest;; ++p) {
    if (*p == '\0' || IsSep(*p)) {
      if (cur == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!cur.empty() && cur != ".") {
        parts.push_back(cur);
      }
      cur.clear();
      if (*p == '\0') break;
    } else {
      cur += *p;
    }
  }

  std::string host = base;
  out->names.reserve(parts.size());
  bool exists = true;
  bool parentExists = true;
  bool belowLink = false;
  // The status of the entry `host` names, not followed; unknown for the
  // drive root, which is followed as the world chose it.
  struct stat own {};
  bool ownKnown = false;
  // The folder of the last component, when a walk opened it before under
  // these very names (platform/posix/KeptFolders.h): only the last
  // component is looked up.
  std::size_t first = 0;
  std::string asked = base;  // the folder of the last component as spelt
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) asked += "/" + parts[i];
  if (parts.size() >= 2) {
    std::string folder;
    const bool lent = near && near->parent && near->host.substr(0, near->host.rfind('/')) == asked;
    if (auto kept = lent ? near->parent : TheKeptFolders().Take(asked, &own, &folder)) {
      if (lent) {
        own = near->parentStatus;
        folder = asked;
      }
      if (SplitBelow(base, folder, &out->names)) {
        out->parent = std::move(kept);
        out->parentStatus = own;
        host = std::move(folder);
        ownKnown = true;
        first = parts.size() - 1;
      }
    }
  }
  for (std::size_t i = first; i < parts.size(); ++i) {
    std::string actual = parts[i];
    if (exists) {
      parentExists = true;
      const bool isLink = ownKnown && S_ISLNK(own.st_mode);
      if (isLink) belowLink = true;
      struct stat folder = own;
      if ((!ownKnown || isLink) && ::stat(host.c_str(), &folder) != 0) folder.st_mode = 0;
      if (!S_ISDIR(folder.st_mode)) {
        exists = false;
        parentExists = false;
      } else if (!FindEntryNoCase(*names_, host,
                                  i == first && out->parent ? out->parent->Get() : -1, folder,
                                  parts[i], &actual, &own)) {
        exists = false;
      } else {
        ownKnown = true;
      }
    } else {
      parentExists = false;
    }
    host += "/" + actual;
    out->names.push_back(actual);
  }
  // The next path spelt as this one finds its kept folder without a walk.
  if (parts.size() >= 2 && !out->parent && parentExists && !belowLink) {
    const std::string found = host.substr(0, host.rfind('/'));
    if (found != asked) TheKeptFolders().Alias(asked, found);
  }
  // A link counts as there even when what it points at is gone.
  if (exists && !ownKnown) exists = ::lstat(host.c_str(), &own) == 0;
  out->host = host;
  out->walkRoot = base;
  out->isDriveRoot = parts.empty();
  out->exists = exists;
  out->parentExists = parts.empty() ? true : parentExists;
  out->isLink = exists && S_ISLNK(own.st_mode);
  out->belowLink = belowLink;
  struct stat target;
  out->isDirectory = exists && (ownKnown && !out->isLink ? S_ISDIR(own.st_mode)
                                                         : ::stat(host.c_str(), &target) == 0 &&
                                                               S_ISDIR(target.st_mode));
  return true;
}

bool PosixPlatform::ResolveHostPath(const char* path, std::string* host) {
  Resolved r;
  if (!Resolve(path, &r)) return false;
  *host = r.host;
  return true;
}

bool PosixPlatform::CheckWritable(const Resolved& r) { return DriveWritable(r.driveIndex); }

bool PosixPlatform::DriveWritable(int driveIndex) {
  if (driveIndex >= 0 && world_.drives[static_cast<std::size_t>(driveIndex)].writeProtected)
    return Fail(ERROR_WRITE_PROTECT);
  return true;
}

bool PosixPlatform::DriveReady(int driveIndex) {
  if (driveIndex < 0) return true;
  NoteMediaDrive(driveIndex);
  const Drive& d = world_.drives[static_cast<std::size_t>(driveIndex)];
  if (!d.present) return Fail(ERROR_PATH_NOT_FOUND);
  if (d.notReady) return Fail(ERROR_NOT_READY);
  return true;
}

}  // namespace plat
