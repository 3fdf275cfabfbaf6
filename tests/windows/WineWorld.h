// The world layer of the tests on Windows (tests/windows/WineWorld.cpp):
// keeps a world's drives mapped to drive letters of the Wine prefix and its
// settings in svpsvc.ini, and answers for what Windows has no word for.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ForwardingPlatform.h"
#include "platform/posix/World.h"

namespace plat {

class WineWorldPlatform : public ForwardingPlatform {
 public:
  WineWorldPlatform(std::shared_ptr<Platform> inner, World world, std::string iniPath);
  ~WineWorldPlatform() override;

  World& MutableWorld() { return world_; }
  // Maps the drives that changed and rewrites the settings that changed.
  void Apply();
  // The drive of media last looked at (else the first with a list).
  bool MediaDrive(char* letter, std::vector<std::string>* names, std::size_t* inserted);
  // A medium goes in: the one of the list by its name, else a folder beside
  // the world; empty: the next of the list.
  void Insert(char letter, const std::string& name);

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override;
  DWORD GetFileAttributes(const char* path) override;
  bool SetFileAttributes(const char* path, DWORD attributes) override;
  bool DeleteFile(const char* path) override;
  bool CreateDirectory(const char* path) override;
  bool RemoveDirectory(const char* path) override;
  bool MoveFile(const char* from, const char* to, bool replace) override;
  DWORD GetLogicalDrives() override;
  UINT GetDriveType(const char* root) override;
  bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller, std::uint64_t* total,
                          std::uint64_t* totalFree) override;
  // The world's clock: the system's, moved by the world's offset.
  void GetLocalTime(SYSTEMTIME* time) override;

 private:
  const Drive* DriveOf(const char* path);
  bool Refused(const char* path, bool writes);

  std::recursive_mutex mutex_;
  World world_;
  std::string ini_;
  std::string written_;
  char mediaDrive_ = 0;
};

// The world layer of the test world alive, or null.
WineWorldPlatform* CurrentWineWorld();

}  // namespace plat
