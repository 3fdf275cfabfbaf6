// The drives of the POSIX half: which are there, their types, and their
// capacity (a sized drive counts the bytes of the files below it).
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/posix/PosixInternal.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/PosixWalk.h"

namespace plat {

using namespace walk;

namespace {

std::uint64_t TreeBytes(const std::string& dir) {
  std::uint64_t total = 0;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  while (dirent* e = ::readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    std::string p = dir + "/" + e->d_name;
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode))
      total += TreeBytes(p);
    else if (S_ISREG(st.st_mode))
      total += static_cast<std::uint64_t>(st.st_size);
  }
  ::closedir(d);
  return total;
}

}  // namespace

std::uint64_t PosixPlatform::DriveBytesInUse(int driveIndex) {
  return TreeBytes(world_.drives[static_cast<std::size_t>(driveIndex)].hostDir);
}

DWORD PosixPlatform::GetLogicalDrives() {
  DWORD mask = 0;
  for (int i = 0; i < 26; ++i)
    if (world_.drives[static_cast<std::size_t>(i)].present) mask |= 1u << i;
  return mask;
}

UINT PosixPlatform::GetDriveType(const char* root) {
  if (!root || !std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':')
    return DRIVE_NO_ROOT_DIR;
  const Drive& d = world_.drive(root[0]);
  if (!d.present) return DRIVE_NO_ROOT_DIR;
  if (world_.connections.count(static_cast<char>(std::toupper(root[0])))) return DRIVE_REMOTE;
  return d.type;
}

bool PosixPlatform::GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller,
                                       std::uint64_t* total, std::uint64_t* totalFree) {
  const bool clientDrive = root && IsSep(root[0]) && IsSep(root[1]);
  const bool drivePath =
      root && std::isalpha(static_cast<unsigned char>(root[0])) && root[1] == ':';
  if (root && *root && !drivePath) {
    // A client-PC drive's root, or a host folder: the host file system's figures.
    Resolved r;
    if (!Resolve(root, &r)) return false;
    if (!r.exists) return Fail(clientDrive ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND);
    if (!clientDrive && !r.isDirectory) return Fail(ERROR_DIRECTORY);
    struct statvfs vfs;
    if (::statvfs(r.host.c_str(), &vfs) != 0) return Fail(ErrnoToError(errno));
    std::uint64_t t = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    std::uint64_t f = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    if (freeToCaller) *freeToCaller = f;
    if (total) *total = t;
    if (totalFree) *totalFree = f;
    return true;
  }
  if (!root || !std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':')
    return Fail(ERROR_PATH_NOT_FOUND);
  int index = std::toupper(static_cast<unsigned char>(root[0])) - 'A';
  const Drive& d = world_.drives[static_cast<std::size_t>(index)];
  if (!d.present) return Fail(ERROR_PATH_NOT_FOUND);
  NoteMediaDrive(index);
  if (d.notReady) return Fail(ERROR_NOT_READY);
  std::uint64_t t = 0, f = 0;
  if (d.totalBytes > 0) {
    std::uint64_t used = DriveBytesInUse(index);
    t = d.totalBytes;
    f = used >= t ? 0 : t - used;
  } else {
    struct statvfs vfs;
    if (::statvfs(d.hostDir.c_str(), &vfs) != 0) return Fail(ErrnoToError(errno));
    t = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    f = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  }
  if (d.type == DRIVE_CDROM) f = 0;
  if (freeToCaller) *freeToCaller = f;
  if (total) *total = t;
  if (totalFree) *totalFree = f;
  return true;
}

}  // namespace plat
