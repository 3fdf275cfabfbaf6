// The test half of the platform: decorates another platform and makes chosen
// operations fail with chosen system error codes, without the system's code
// knowing. Used by the tests to reach the failure paths (open, read, write,
// rename, delete, directory creation, search, disk full, not ready).
//
// It also counts every file operation it passes on (open, read, write, seek,
// flush, rename, delete, directory creation, search and its next entries,
// attributes, free-space query, profile read, thread start), so that a test
// can run a flow once cleanly, then fail the first, the second, ... the last
// operation of that run in turn (FailNth).
//
// Power cuts (CutPowerAt): from the k-th operation on every operation fails,
// as if the machine had stopped there; Restart() then puts back what a disk
// keeps over a power cut. Every file written since its last FlushFile returns
// to the bytes it held at its last flush (or at its first change seen), and
// one that never held flushed bytes disappears. A renamed file takes its
// durable bytes along to its new name. A rename or a file's creation lasts
// only once its folder (that of the new name) has been flushed
// (FlushFolder); until then the cut undoes it, the newest first, and the
// name replaced comes back with its durable bytes (an empty folder replaced
// by a folder comes back empty). Deletes and folders made
// or removed are durable at once.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
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
  FindNext,
  Seek,
  Flush,
  Attributes,
  FreeSpace,
  Profile,
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
  // The operation that FailNth failed (or the power cut stopped), once it has.
  bool NthFailed(CountedOp* op) const;

  // A power cut at the operation numbered k (from the last ResetCount): it
  // and every operation after it fail with ERROR_NOT_READY. 0 cuts nothing.
  void CutPowerAt(int k);
  // The machine comes back: every file not flushed since its last change
  // returns to its durable bytes or disappears, and operations pass again.
  // Returns how many files were put back or removed.
  int Restart();

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override;
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override;
  bool SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                      std::uint64_t* position) override;
  bool SetEndOfFile(HANDLE file) override;
  bool FlushFile(HANDLE file) override;
  bool FlushFolder(const char* path) override;
  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override;
  bool FindNextFile(HANDLE search, WIN32_FIND_DATA* data) override;
  DWORD GetFileAttributes(const char* path) override;
  bool SetFileAttributes(const char* path, DWORD attributes) override;
  bool DeleteFile(const char* path) override;
  bool CreateDirectory(const char* path) override;
  bool RemoveDirectory(const char* path) override;
  bool MoveFile(const char* from, const char* to, bool replace) override;
  bool ReplaceEmptyFolder(const char* from, const char* to) override;
  DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                                char* out, DWORD size, const char* path) override;
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
  std::string WriteKeyOf(HANDLE file);
  // Durability, while a power cut is set: the host path of a system path,
  // and the bytes it held at its last durable point, kept before it changes.
  std::string HostKey(const char* path);
  void BeforeChange(const std::string& key);
  void Renamed(const std::string& from, const std::string& to, std::optional<std::string> replaced,
               bool emptyFolderReplaced = false);
  void Removed(const std::string& key);

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
  int cutAt_ = 0;
  // Host path of each file changed since its last flush: its durable bytes,
  // none when it never had any.
  std::map<std::string, std::optional<std::string>> unflushed_;
  std::map<HANDLE, std::string> writeKeys_;
  // Renames and creations not yet made durable by a flush of their folder.
  struct NameChange {
    std::string folder, from, to;         // from empty: a creation of `to`
    std::optional<std::string> replaced;  // durable bytes the new name had
    bool emptyFolderReplaced = false;     // the new name was an empty folder
  };
  std::vector<NameChange> names_;
  std::optional<std::string> DurableBytes(const std::string& key);
};

}  // namespace plat
