#include "platform/testing/FaultPlatform.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

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
    case FaultOp::FindNext:
      return "search-next";
    case FaultOp::Seek:
      return "seek";
    case FaultOp::Flush:
      return "flush";
    case FaultOp::Profile:
      return "profile";
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
  cutAt_ = 0;
  unflushed_.clear();
  writeKeys_.clear();
  names_.clear();
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

void FaultPlatform::CutPowerAt(int k) {
  std::lock_guard<std::mutex> lock(mutex_);
  cutAt_ = k;
  unflushed_.clear();
  writeKeys_.clear();
  names_.clear();
  nthFailed_ = false;
}

int FaultPlatform::Restart() {
  std::lock_guard<std::mutex> lock(mutex_);
  namespace fs = std::filesystem;
  int changed = 0;
  for (const auto& [host, durable] : unflushed_) {
    std::error_code error;
    if (!durable) {
      changed += fs::remove(host, error) ? 1 : 0;
    } else if (fs::is_directory(fs::path(host).parent_path(), error)) {
      std::ofstream(host, std::ios::binary | std::ios::trunc) << *durable;
      ++changed;
    }
  }
  // Then the names not made durable, the newest first.
  for (auto it = names_.rbegin(); it != names_.rend(); ++it) {
    std::error_code error;
    if (!it->from.empty() && fs::exists(it->to, error)) fs::rename(it->to, it->from, error);
    if (it->from.empty()) fs::remove(it->to, error);
    if (it->replaced) std::ofstream(it->to, std::ios::binary | std::ios::trunc) << *it->replaced;
    if (it->emptyFolderReplaced) fs::create_directory(it->to, error);
    ++changed;
  }
  names_.clear();
  unflushed_.clear();
  writeKeys_.clear();
  cutAt_ = 0;
  return changed;
}

std::string FaultPlatform::HostKey(const char* path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cutAt_ == 0) return std::string();  // nothing to keep without a cut
  }
  std::string host;
  if (!path || !Inner().ResolveHostPath(path, &host)) return std::string();
  return std::filesystem::path(host).lexically_normal().string();
}

// The bytes a file holds now are its durable ones, unless it has changed
// since its last flush already.
void FaultPlatform::BeforeChange(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cutAt_ == 0 || key.empty() || unflushed_.count(key)) return;
  std::error_code error;
  if (!std::filesystem::is_regular_file(key, error)) {
    unflushed_[key] = std::nullopt;
    return;
  }
  std::ifstream in(key, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  unflushed_[key] = bytes.str();
}

// The bytes a file would hold after a cut now (none when it is not there).
// Called with the lock held.
std::optional<std::string> FaultPlatform::DurableBytes(const std::string& key) {
  auto it = unflushed_.find(key);
  if (it != unflushed_.end()) return it->second;
  std::error_code error;
  if (!std::filesystem::is_regular_file(key, error)) return std::nullopt;
  std::ifstream in(key, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A rename takes the file's durable bytes along (a folder those of every
// file below it); it lasts once the new name's folder is flushed.
void FaultPlatform::Renamed(const std::string& from, const std::string& to,
                            std::optional<std::string> replaced, bool emptyFolderReplaced) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cutAt_ == 0 || from.empty() || to.empty()) return;
  names_.push_back({std::filesystem::path(to).parent_path().string(), from, to, std::move(replaced),
                    emptyFolderReplaced});
  std::map<std::string, std::optional<std::string>> moved;
  for (auto it = unflushed_.begin(); it != unflushed_.end();) {
    if (it->first == from || it->first.rfind(from + "/", 0) == 0) {
      moved[to + it->first.substr(from.size())] = std::move(it->second);
      it = unflushed_.erase(it);
    } else {
      ++it;
    }
  }
  unflushed_.erase(to);  // what the new name held is gone for good
  for (auto& [name, durable] : moved) unflushed_[name] = std::move(durable);
  for (auto& [handle, key] : writeKeys_)
    if (key == from) key = to;
}

void FaultPlatform::Removed(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (cutAt_ == 0 || key.empty()) return;
  for (auto it = unflushed_.begin(); it != unflushed_.end();)
    it = it->first == key || it->first.rfind(key + "/", 0) == 0 ? unflushed_.erase(it)
                                                                : std::next(it);
}

FaultPlatform::Verdict FaultPlatform::Decide(FaultOp op, const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counted_;
  if (keepLog_) log_.push_back({op, path});
  if (cutAt_ > 0 && counted_ >= cutAt_) {
    // The machine has stopped: nothing reaches the disk any more.
    if (counted_ == cutAt_) {
      nthFailed_ = true;
      nthOp_ = {op, path};
      ++injected_;
    }
    SetLastError(ERROR_NOT_READY);
    return Verdict::Fail;
  }
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
  std::string key;
  bool existed = true;
  if ((access & GENERIC_WRITE) || disposition != OPEN_EXISTING) {
    key = HostKey(path);
    std::error_code error;
    existed = key.empty() || std::filesystem::exists(key, error);
    BeforeChange(key);
  }
  HANDLE h = Inner().CreateFile(path, access, share, disposition, flags);
  if (h) {
    DWORD saved = GetLastError();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!existed && cutAt_ > 0)
      names_.push_back({std::filesystem::path(key).parent_path().string(), {}, key, {}});
    // Handles are reused after close; the newest path for a handle wins.
    openPaths_[h] = path;
    writeKeys_[h] = key;
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

std::string FaultPlatform::WriteKeyOf(HANDLE file) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = writeKeys_.find(file);
  return it == writeKeys_.end() ? std::string() : it->second;
}

bool FaultPlatform::WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) {
  const Verdict verdict = Decide(FaultOp::Write, PathOf(file));
  if (verdict != Verdict::Fail) BeforeChange(WriteKeyOf(file));
  switch (verdict) {
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

bool FaultPlatform::SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                                   std::uint64_t* position) {
  if (Fires(FaultOp::Seek, PathOf(file))) return false;
  return Inner().SetFilePointer(file, offset, method, position);
}

bool FaultPlatform::FlushFile(HANDLE file) {
  if (Fires(FaultOp::Flush, PathOf(file))) return false;
  if (!Inner().FlushFile(file)) return false;
  const std::string key = WriteKeyOf(file);
  std::lock_guard<std::mutex> lock(mutex_);
  unflushed_.erase(key);  // its bytes now are the durable ones
  return true;
}

bool FaultPlatform::FlushFolder(const char* path) {
  if (Fires(FaultOp::Flush, path ? path : "")) return false;
  if (!Inner().FlushFolder(path)) return false;
  std::string key = HostKey(path);
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  std::lock_guard<std::mutex> lock(mutex_);
  names_.erase(std::remove_if(names_.begin(), names_.end(),
                              [&](const NameChange& n) { return n.folder == key; }),
               names_.end());
  return true;
}

// Counted as a write: a short one has no meaning here and passes. A cut
// before the next flush brings the old length back.
bool FaultPlatform::SetEndOfFile(HANDLE file) {
  if (Decide(FaultOp::Write, PathOf(file)) == Verdict::Fail) return false;
  BeforeChange(WriteKeyOf(file));
  return Inner().SetEndOfFile(file);
}

HANDLE FaultPlatform::FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
  if (Fires(FaultOp::Find, pattern ? pattern : "")) return nullptr;
  HANDLE h = Inner().FindFirstFile(pattern, data);
  if (h) {
    DWORD saved = GetLastError();
    std::lock_guard<std::mutex> lock(mutex_);
    openPaths_[h] = pattern;
    writeKeys_.erase(h);
    SetLastError(saved);
  }
  return h;
}

bool FaultPlatform::FindNextFile(HANDLE search, WIN32_FIND_DATA* data) {
  if (Fires(FaultOp::FindNext, PathOf(search))) return false;
  return Inner().FindNextFile(search, data);
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
  const std::string key = HostKey(path);
  if (!Inner().DeleteFile(path)) return false;
  Removed(key);
  return true;
}

bool FaultPlatform::CreateDirectory(const char* path) {
  if (Fires(FaultOp::CreateDir, path ? path : "")) return false;
  return Inner().CreateDirectory(path);
}

bool FaultPlatform::RemoveDirectory(const char* path) {
  if (Fires(FaultOp::Delete, path ? path : "")) return false;
  const std::string key = HostKey(path);
  if (!Inner().RemoveDirectory(path)) return false;
  Removed(key);
  return true;
}

bool FaultPlatform::MoveFile(const char* from, const char* to, bool replace) {
  if (Fires(FaultOp::Rename, std::string(from ? from : "") + "|" + (to ? to : ""))) return false;
  const std::string key = HostKey(from);
  std::optional<std::string> replaced;
  if (!key.empty()) {
    const std::string target = HostKey(to);
    std::lock_guard<std::mutex> lock(mutex_);
    replaced = DurableBytes(target);
  }
  if (!Inner().MoveFile(from, to, replace)) return false;
  DWORD saved = GetLastError();
  Renamed(key, HostKey(to), std::move(replaced));
  SetLastError(saved);
  return true;
}

bool FaultPlatform::ReplaceEmptyFolder(const char* from, const char* to) {
  if (Fires(FaultOp::Rename, std::string(from ? from : "") + "|" + (to ? to : ""))) return false;
  const std::string key = HostKey(from);
  if (!Inner().ReplaceEmptyFolder(from, to)) return false;
  const DWORD saved = GetLastError();
  Renamed(key, HostKey(to), std::nullopt, true);
  SetLastError(saved);
  return true;
}

DWORD FaultPlatform::GetPrivateProfileString(const char* section, const char* key,
                                             const char* defaultText, char* out, DWORD size,
                                             const char* path) {
  if (Fires(FaultOp::Profile, path ? path : "")) {
    // The system's reader gives the default when it cannot read the file.
    const DWORD error = GetLastError();
    const std::string fallback = defaultText ? defaultText : "";
    DWORD n = 0;
    if (size > 0) {
      n = static_cast<DWORD>(std::min<std::size_t>(fallback.size(), size - 1));
      std::copy_n(fallback.data(), n, out);
      out[n] = '\0';
    }
    SetLastError(error);
    return n;
  }
  return Inner().GetPrivateProfileString(section, key, defaultText, out, size, path);
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
