// The POSIX half of the platform: a world of host directories behind drive
// letters, with the system's path, search, attribute and capacity rules.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/KernelObject.h"
#include "platform/Machine.h"
#include "platform/Platform.h"
#include "platform/posix/KeptFolders.h"
#include "platform/posix/NameIndex.h"
#include "platform/posix/World.h"

namespace plat {
namespace walk {
class ScopedFd;
}
struct PosixFolder;

class PosixPlatform : public Platform {
 public:
  explicit PosixPlatform(World world);

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override;
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override;
  bool SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                      std::uint64_t* position) override;
  bool GetFileSize(HANDLE file, std::uint64_t* size) override;
  bool FlushFile(HANDLE file) override;
  bool FlushFiles(const HANDLE* files, std::size_t count) override;
  bool FlushFolder(const char* path) override;
  bool TryLockFile(HANDLE file) override;
  bool SetEndOfFile(HANDLE file) override;

  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override;
  bool FindNextFile(HANDLE search, WIN32_FIND_DATA* data) override;
  DWORD GetFileAttributes(const char* path) override;
  bool SetFileAttributes(const char* path, DWORD attributes) override;
  bool DeleteFile(const char* path) override;
  bool CreateDirectory(const char* path) override;
  bool RemoveDirectory(const char* path) override;
  bool MoveFile(const char* from, const char* to, bool replace) override;
  bool ReplaceEmptyFolder(const char* from, const char* to) override;
  HANDLE OpenFolder(const char* path) override;
  DWORD GetFileAttributesIn(HANDLE folder, const char* name) override;
  HANDLE CreateFileIn(HANDLE folder, const char* name, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags) override;
  bool MoveFileIn(HANDLE folder, const char* from, const char* to, bool replace) override;
  DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                                char* out, DWORD size, const char* path) override;
  bool ResolveHostPath(const char* path, std::string* host) override;

  DWORD GetLogicalDrives() override;
  UINT GetDriveType(const char* root) override;
  bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller, std::uint64_t* total,
                          std::uint64_t* totalFree) override;

  DWORD WNetOpenEnum(DWORD scope, DWORD type, DWORD usage, const NETRESOURCE* container,
                     HANDLE* enumeration) override;
  DWORD WNetEnumResource(HANDLE enumeration, DWORD* count, void* buffer,
                         DWORD* bufferSize) override;
  DWORD WNetCloseEnum(HANDLE enumeration) override;
  DWORD WNetGetConnection(const char* localName, char* remoteName, DWORD* length) override;

  HANDLE CreateThread(ThreadProc proc, void* arg) override;
  DWORD WaitForSingleObject(HANDLE thread, DWORD milliseconds) override;
  bool TerminateThread(HANDLE thread, DWORD exitCode) override;
  bool GetExitCodeThread(HANDLE thread, DWORD* code) override;
  void Sleep(DWORD milliseconds) override;
  void GetLocalTime(SYSTEMTIME* time) override;
  std::uint32_t GetTickCount() override;

  HANDLE CreateFileMapping(const char* name, DWORD size) override;
  HANDLE OpenFileMapping(const char* name) override;
  void* MapViewOfFile(HANDLE mapping) override;
  bool UnmapViewOfFile(void* view) override;

  const World& GetWorld() const { return world_; }
  // Tests adjust the world in place (clock, flags, sizes).
  World& MutableWorld() { return world_; }

  // A resolved system path.
  struct Resolved {
    std::string host;     // host path
    int driveIndex = -1;  // 0..25 for a drive path, -1 for a host path
    bool isDriveRoot = false;
    bool exists = false;
    bool parentExists = false;
    bool isDirectory = false;  // also a link to a directory
    bool isLink = false;       // the path itself is a symbolic link
    bool belowLink = false;    // a folder on its way is a symbolic link
    // Where a call starts its walk: the drive root (the world's choice, so a
    // link there is followed) or, for a host path, the folder it names
    // before its last component; then the components below it as found.
    std::string walkRoot;
    std::vector<std::string> names;
    // The folder of the last component when it was found kept (KeptFolders.h)
    // under these names, and its status then; the call uses it as it is.
    walk::FolderLease parent;
    struct stat parentStatus {};
  };
  // Resolves a system path; false with the last error set when the path is
  // too long, names a missing drive, or its drive is not ready. `near`, a
  // path the same call resolved just before, lends its kept folder to a path
  // in the same folder (a rename inside one folder looks at it once).
  bool Resolve(const char* path, Resolved* out, const Resolved* near = nullptr);

  // Changing media. The drive of a media list that the system used last
  // (its letter, 0 when no drive holds a list), and a change of its medium:
  // an empty folder puts the next medium of its list in (after the last the
  // drive is empty); else the medium of that name, or a host folder relative
  // to the world file. False with a reason when nothing was changed.
  char MediaDrive() const;
  bool ChangeMedium(char letter, const std::string& folder, std::string* error);

 private:
  bool CheckWritable(const Resolved& r);
  // Opens the entry `r` names in its open folder `parent` (of status
  // `folder`); `look`: whether the name may be taken (else it was found free).
  // `after` gets the folder's status after a name it made.
  HANDLE OpenInFolder(const Resolved& r, walk::ScopedFd& parent, const struct stat& folder,
                      DWORD access, DWORD share, DWORD disposition, DWORD flags, bool look,
                      struct stat* after = nullptr);
  // Whether the drive of `driveIndex` (-1: a host path) can be used now, and
  // written to; false with the last error set.
  bool DriveReady(int driveIndex);
  bool DriveWritable(int driveIndex);
  // The calls on folders held open (PosixFolders.cpp).
  bool FolderUsable(const PosixFolder& f, const char* name, bool write);
  NameIndex::Answer LookIn(PosixFolder& f, const std::string& name, std::string* actual);
  bool FindIn(PosixFolder& f, const std::string& name, std::string* actual, struct stat* own);
  std::uint64_t DriveBytesInUse(int driveIndex);

  void NoteMediaDrive(int driveIndex);

  World world_;
  std::atomic<int> lastMediaDrive_{-1};
  // Shared with the folders held open, which may outlive the half.
  std::shared_ptr<NameIndex> names_ = std::make_shared<NameIndex>();
};

// The world of the installed platform: the PosixPlatform itself or the one
// that installed decorators (ForwardingPlatform) hand their calls to. The
// POSIX stand-ins of the service libraries read their settings from it.
// Aborts when the installed platform is not a POSIX one.
const World& CurrentWorld();

// The installed POSIX half (beneath any decorators), or nullptr.
PosixPlatform* CurrentPosix();

// CurrentMediaDrive and ChangeCurrentMedium (platform/Machine.h) work on the
// installed POSIX half (see PosixPlatform::ChangeMedium).
// The same for a drive named by its letter: its media (none: false) and the
// index of the one in it, and the change of its medium.
bool MediaOfDrive(char letter, std::vector<std::string>* names, std::size_t* inserted);
bool ChangeMediumOf(char letter, const std::string& folder, std::string* error);

}  // namespace plat
