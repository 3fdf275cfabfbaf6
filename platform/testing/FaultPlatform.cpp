#include "platform/testing/FaultPlatform.h"

#include <algorithm>
#include <cctype>

namespace plat {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

const char* FaultOpName(FaultOp op) {
  switch (op) {
    case FaultOp::Open:
      return "open";
    case FaultOp::Read:
      return "read";
    case FaultOp::Write:
      return "write";
    case FaultOp::Rename:
      return "rename";
    case FaultOp::Delete:
      return "delete";
    case FaultOp::CreateDir:
      return "mkdir";
    case FaultOp::Find:
      return "search";
    case FaultOp::Attributes:
      return "attributes";
    case FaultOp::FreeSpace:
      return "free-space";
    case FaultOp::Thread:
      return "thread";
  }
  return "?";
}

FaultPlatform::FaultPlatform(std::shared_ptr<Platform> inner)
    : ForwardingPlatform(std::move(inner)) {}

void FaultPlatform::AddRule(FaultRule rule) {
  std::lock_guard<std::mutex> lock(mutex_);
  rule.pathContains = Lower(rule.pathContains);
  rules_.push_back(std::move(rule));
}

void FaultPlatform::ClearRules() {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.clear();
}

int FaultPlatform::Injected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return injected_;
}

void FaultPlatform::ResetCount(bool keepLog) {
  std::lock_guard<std::mutex> lock(mutex_);
  counted_ = 0;
  keepLog_ = keepLog;
  log_.clear();
  failAt_ = 0;
  nthFailed_ = false;
}

int FaultPlatform::Counted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counted_;
}

std::vector<CountedOp> FaultPlatform::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

void FaultPlatform::FailNth(int k, DWORD error, bool shortWrite) {
  std::lock_guard<std::mutex> lock(mutex_);
  failAt_ = k;
  failError_ = error;
  failShort_ = shortWrite;
  nthFailed_ = false;
}

bool FaultPlatform::NthFailed(CountedOp* op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (nthFailed_ && op) *op = nthOp_;
  return nthFailed_;
}

FaultPlatform::Verdict FaultPlatform::Decide(FaultOp op, const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counted_;
  if (keepLog_) log_.push_back({op, path});
  if (failAt_ > 0 && counted_ == failAt_) {
    nthFailed_ = true;
    nthOp_ = {op, path};
    ++injected_;
    if (op == FaultOp::Write && failShort_) return Verdict::Short;
    SetLastError(failError_);
    return Verdict::Fail;
  }
  std::string lower = Lower(path);
  for (auto& rule : rules_) {
    if (rule.op != op || rule.times == 0) continue;
    if (!rule.pathContains.empty() && lower.find(rule.pathContains) == std::string::npos) continue;
    if (rule.skip > 0) {
      --rule.skip;
      continue;
    }
    if (rule.times > 0) --rule.times;
    ++injected_;
    SetLastError(rule.error);
    return Verdict::Fail;
  }
  return Verdict::Pass;
}

std::string FaultPlatform::PathOf(HANDLE file) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = openPaths_.find(file);
  return it == openPaths_.end() ? std::string() : it->second;
}

HANDLE FaultPlatform::CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                                 DWORD flags) {
  if (Fires(FaultOp::Open, path ? path : "")) return nullptr;
  HANDLE h = Inner().CreateFile(path, access, share, disposition, flags);
  if (h) {
    DWORD saved = GetLastError();
    std::lock_guard<std::mutex> lock(mutex_);
    // Handles are reused after close; the newest path for a handle wins.
    openPaths_[h] = path;
    SetLastError(saved);
  }
  return h;
}

bool FaultPlatform::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) {
  if (Fires(FaultOp::Read, PathOf(file))) {
    if (read) *read = 0;
    return false;
  }
  return Inner().ReadFile(file, buffer, count, read);
}

bool FaultPlatform::WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) {
  switch (Decide(FaultOp::Write, PathOf(file))) {
    case Verdict::Fail:
      if (written) *written = 0;
      return false;
    case Verdict::Short:
      // The disk took part of the bytes and says so, without an error.
      return Inner().WriteFile(file, buffer, count / 2, written);
    case Verdict::Pass:
      break;
  }
  return Inner().WriteFile(file, buffer, count, written);
}

// Counted as a write: a short one has no meaning here and passes.
bool FaultPlatform::SetEndOfFile(HANDLE file) {
  if (Decide(FaultOp::Write, PathOf(file)) == Verdict::Fail) return false;
  return Inner().SetEndOfFile(file);
}

HANDLE FaultPlatform::FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
  if (Fires(FaultOp::Find, pattern ? pattern : "")) return nullptr;
  return Inner().FindFirstFile(pattern, data);
}

DWORD FaultPlatform::GetFileAttributes(const char* path) {
  if (Fires(FaultOp::Attributes, path ? path : "")) return INVALID_FILE_ATTRIBUTES;
  return Inner().GetFileAttributes(path);
}

bool FaultPlatform::SetFileAttributes(const char* path, DWORD attributes) {
  if (Fires(FaultOp::Attributes, path ? path : "")) return false;
  return Inner().SetFileAttributes(path, attributes);
}

bool FaultPlatform::DeleteFile(const char* path) {
  if (Fires(FaultOp::Delete, path ? path : "")) return false;
  return Inner().DeleteFile(path);
}

bool FaultPlatform::CreateDirectory(const char* path) {
  if (Fires(FaultOp::CreateDir, path ? path : "")) return false;
  return Inner().CreateDirectory(path);
}

bool FaultPlatform::RemoveDirectory(const char* path) {
  if (Fires(FaultOp::Delete, path ? path : "")) return false;
  return Inner().RemoveDirectory(path);
}

bool FaultPlatform::MoveFile(const char* from, const char* to, bool replace) {
  if (Fires(FaultOp::Rename, std::string(from ? from : "") + "|" + (to ? to : ""))) return false;
  return Inner().MoveFile(from, to, replace);
}

bool FaultPlatform::GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller,
                                       std::uint64_t* total, std::uint64_t* totalFree) {
  if (Fires(FaultOp::FreeSpace, root ? root : "")) return false;
  return Inner().GetDiskFreeSpaceEx(root, freeToCaller, total, totalFree);
}

HANDLE FaultPlatform::CreateThread(ThreadProc proc, void* arg) {
  if (Fires(FaultOp::Thread, "")) return nullptr;
  return Inner().CreateThread(proc, arg);
}

}  // namespace plat
