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

#include "Platform.h"

namespace plat {

enum class FaultOp { Open, Read, Write, Rename, Delete, CreateDir, Find, Attributes, Thread };

struct FaultRule {
  FaultOp op;
  std::string pathContains;  // case-insensitive; empty matches every path
  DWORD error;               // the system error code to fail with
  int skip = 0;              // matching calls let through first
  int times = -1;            // failures to inject; -1 without end
};

class FaultPlatform : public Platform {
 public:
  explicit FaultPlatform(std::shared_ptr<Platform> inner);

  void AddRule(FaultRule rule);
  void ClearRules();
  // How many faults have been injected so far.
  int Injected() const;
  Platform& Inner() { return *inner_; }

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override;
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override;
  bool SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                      std::uint64_t* position) override {
    return inner_->SetFilePointer(file, offset, method, position);
  }
  bool GetFileSize(HANDLE file, std::uint64_t* size) override {
    return inner_->GetFileSize(file, size);
  }
  bool FlushFile(HANDLE file) override { return inner_->FlushFile(file); }
  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override;
  bool FindNextFile(HANDLE search, WIN32_FIND_DATA* data) override {
    return inner_->FindNextFile(search, data);
  }
  DWORD GetFileAttributes(const char* path) override;
  bool SetFileAttributes(const char* path, DWORD attributes) override;
  bool DeleteFile(const char* path) override;
  bool CreateDirectory(const char* path) override;
  bool RemoveDirectory(const char* path) override;
  bool MoveFile(const char* from, const char* to, bool replace) override;
  bool ResolveHostPath(const char* path, std::string* host) override {
    return inner_->ResolveHostPath(path, host);
  }
  DWORD GetLogicalDrives() override { return inner_->GetLogicalDrives(); }
  UINT GetDriveType(const char* root) override { return inner_->GetDriveType(root); }
  bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* a, std::uint64_t* b,
                          std::uint64_t* c) override {
    return inner_->GetDiskFreeSpaceEx(root, a, b, c);
  }
  HANDLE CreateThread(ThreadProc proc, void* arg) override;
  DWORD WaitForSingleObject(HANDLE t, DWORD ms) override {
    return inner_->WaitForSingleObject(t, ms);
  }
  bool TerminateThread(HANDLE t, DWORD code) override { return inner_->TerminateThread(t, code); }
  bool GetExitCodeThread(HANDLE t, DWORD* code) override {
    return inner_->GetExitCodeThread(t, code);
  }
  void Sleep(DWORD ms) override { inner_->Sleep(ms); }
  void GetLocalTime(SYSTEMTIME* time) override { inner_->GetLocalTime(time); }
  std::uint32_t GetTickCount() override { return inner_->GetTickCount(); }
  HANDLE CreateFileMapping(const char* name, DWORD size) override {
    return inner_->CreateFileMapping(name, size);
  }
  HANDLE OpenFileMapping(const char* name) override { return inner_->OpenFileMapping(name); }
  void* MapViewOfFile(HANDLE m) override { return inner_->MapViewOfFile(m); }
  bool UnmapViewOfFile(void* v) override { return inner_->UnmapViewOfFile(v); }
  const World& GetWorld() const override { return inner_->GetWorld(); }

 private:
  // True (with the last error set) when a rule fires for this call.
  bool Fires(FaultOp op, const std::string& path);
  std::string PathOf(HANDLE file);

  std::shared_ptr<Platform> inner_;
  mutable std::mutex mutex_;
  std::vector<FaultRule> rules_;
  std::map<HANDLE, std::string> openPaths_;
  int injected_ = 0;
};

}  // namespace plat
