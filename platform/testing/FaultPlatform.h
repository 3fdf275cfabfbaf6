// The test half of the platform: decorates another platform and makes chosen
// operations fail with chosen system error codes, without the system's code
// knowing. Used by the tests to reach the failure paths (open, read, write,
// rename, delete, directory creation, search, disk full, not ready).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ForwardingPlatform.h"

namespace plat {

enum class FaultOp { Open, Read, Write, Rename, Delete, CreateDir, Find, Attributes, Thread };

struct FaultRule {
  FaultOp op;
  std::string pathContains;  // case-insensitive; empty matches every path
  DWORD error;               // the system error code to fail with
  int skip = 0;              // matching calls let through first
  int times = -1;            // failures to inject; -1 without end
};

class FaultPlatform : public ForwardingPlatform {
 public:
  explicit FaultPlatform(std::shared_ptr<Platform> inner);

  void AddRule(FaultRule rule);
  void ClearRules();
  // How many faults have been injected so far.
  int Injected() const;

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override;
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override;
  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override;
  DWORD GetFileAttributes(const char* path) override;
  bool SetFileAttributes(const char* path, DWORD attributes) override;
  bool DeleteFile(const char* path) override;
  bool CreateDirectory(const char* path) override;
  bool RemoveDirectory(const char* path) override;
  bool MoveFile(const char* from, const char* to, bool replace) override;
  HANDLE CreateThread(ThreadProc proc, void* arg) override;

 private:
  // True (with the last error set) when a rule fires for this call.
  bool Fires(FaultOp op, const std::string& path);
  std::string PathOf(HANDLE file);

  mutable std::mutex mutex_;
  std::vector<FaultRule> rules_;
  std::map<HANDLE, std::string> openPaths_;
  int injected_ = 0;
};

}  // namespace plat
