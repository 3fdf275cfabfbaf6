// The test half of the platform: decorates another platform and makes chosen
// operations fail with chosen system error codes, without the system's code
// knowing. Used by the tests to reach the failure paths (open, read, write,
// rename, delete, directory creation, search, disk full, not ready).
//
// It also counts every file operation it passes on (open, read, write,
// rename, delete, directory creation, search, attributes, free-space query,
// thread start), so that a test can run a flow once cleanly, then fail the
// first, the second, ... the last operation of that run in turn (FailNth).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ForwardingPlatform.h"

namespace plat {

enum class FaultOp {
  Open,
  Read,
  Write,
  Rename,
  Delete,
  CreateDir,
  Find,
  Attributes,
  FreeSpace,
  Thread
};

const char* FaultOpName(FaultOp op);

// One counted operation: its kind and the path it named.
struct CountedOp {
  FaultOp op;
  std::string path;
};

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

  // Counting: every operation passed on is numbered from 1 from the last
  // ResetCount on; Log() keeps them when `keepLog` was set.
  void ResetCount(bool keepLog = false);
  int Counted() const;
  std::vector<CountedOp> Log() const;
  // Fails the operation numbered k (from the last ResetCount) with `error`;
  // a write fails short instead when `shortWrite`: half its bytes written,
  // success returned. 0 fails nothing.
  void FailNth(int k, DWORD error, bool shortWrite = false);
  // The operation that FailNth failed, once it has.
  bool NthFailed(CountedOp* op) const;

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override;
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override;
  bool SetEndOfFile(HANDLE file) override;
  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override;
  DWORD GetFileAttributes(const char* path) override;
  bool SetFileAttributes(const char* path, DWORD attributes) override;
  bool DeleteFile(const char* path) override;
  bool CreateDirectory(const char* path) override;
  bool RemoveDirectory(const char* path) override;
  bool MoveFile(const char* from, const char* to, bool replace) override;
  bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller, std::uint64_t* total,
                          std::uint64_t* totalFree) override;
  HANDLE CreateThread(ThreadProc proc, void* arg) override;

 private:
  enum class Verdict { Pass, Fail, Short };
  // Counts the call; Fail (with the last error set) when a rule or the k-th
  // fault fires for it, Short for a short write.
  Verdict Decide(FaultOp op, const std::string& path);
  bool Fires(FaultOp op, const std::string& path) { return Decide(op, path) == Verdict::Fail; }
  std::string PathOf(HANDLE file);

  mutable std::mutex mutex_;
  std::vector<FaultRule> rules_;
  std::map<HANDLE, std::string> openPaths_;
  int injected_ = 0;
  int counted_ = 0;
  bool keepLog_ = false;
  std::vector<CountedOp> log_;
  int failAt_ = 0;
  DWORD failError_ = 0;
  bool failShort_ = false;
  bool nthFailed_ = false;
  CountedOp nthOp_{FaultOp::Open, {}};
};

}  // namespace plat
