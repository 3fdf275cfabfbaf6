#include "platform/Platform.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "platform/PlatformInternal.h"
#include "platform/Temporary.h"

namespace plat {
namespace {

std::mutex gInstallMutex;
std::shared_ptr<Platform> gPlatform;
thread_local DWORD tLastError = 0;

std::mutex gDebugMutex;
std::vector<std::string> gDebugLines;

}  // namespace

Platform& Current() {
  std::lock_guard<std::mutex> lock(gInstallMutex);
  if (!gPlatform) {
    std::fprintf(stderr, "talver: no world is loaded\n");
    std::abort();
  }
  return *gPlatform;
}

bool HasCurrent() {
  std::lock_guard<std::mutex> lock(gInstallMutex);
  return gPlatform != nullptr;
}

std::shared_ptr<Platform> Install(std::shared_ptr<Platform> platform) {
  std::lock_guard<std::mutex> lock(gInstallMutex);
  std::swap(gPlatform, platform);
  return platform;
}

std::shared_ptr<Platform> InstalledShared() {
  std::lock_guard<std::mutex> lock(gInstallMutex);
  return gPlatform;
}

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD code) { tLastError = code; }
namespace {
std::atomic<bool> gCallStop{false};
std::atomic<std::uint64_t> gBytesWritten{0};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the stop request");
}  // namespace

bool StopRequested() { return ThreadStopRequested() || (IsPlatformThread() && gCallStop.load()); }
void RequestCallStop() { gCallStop.store(true); }
bool CallStopRequested() { return gCallStop.load(); }
bool TakeCallStop() { return gCallStop.exchange(false); }

HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return Current().CreateFile(path, access, share, disposition, flags);
}
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) {
  return Current().ReadFile(file, buffer, count, read);
}
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) {
  const BOOL ok = Current().WriteFile(file, buffer, count, written);
  if (ok && written) gBytesWritten.fetch_add(*written, std::memory_order_relaxed);
  return ok;
}
std::uint64_t BytesWritten() { return gBytesWritten.load(std::memory_order_relaxed); }
BOOL SetFilePointerEx(HANDLE file, std::int64_t offset, DWORD method, std::uint64_t* position) {
  return Current().SetFilePointer(file, offset, method, position);
}
BOOL GetFileSizeEx(HANDLE file, std::uint64_t* size) { return Current().GetFileSize(file, size); }
BOOL FlushFileBuffers(HANDLE file) { return Current().FlushFile(file); }
BOOL FlushFiles(const HANDLE* files, std::size_t count) {
  return Current().FlushFiles(files, count);
}

// A decorator that overrides FlushFile sees every file of a FlushFiles.
bool Platform::FlushFiles(const HANDLE* files, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (!FlushFile(files[i])) return false;
  return true;
}
BOOL FlushFolder(const char* path) { return Current().FlushFolder(path); }
BOOL TryLockFile(HANDLE file) { return Current().TryLockFile(file); }
BOOL SetEndOfFile(HANDLE file) { return Current().SetEndOfFile(file); }

HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
  return Current().FindFirstFile(pattern, data);
}
BOOL FindNextFile(HANDLE search, WIN32_FIND_DATA* data) {
  return Current().FindNextFile(search, data);
}
DWORD GetFileAttributes(const char* path) { return Current().GetFileAttributes(path); }
BOOL SetFileAttributes(const char* path, DWORD attributes) {
  return Current().SetFileAttributes(path, attributes);
}
BOOL DeleteFile(const char* path) { return Current().DeleteFile(path); }
BOOL CreateDirectory(const char* path) { return Current().CreateDirectory(path); }
BOOL RemoveDirectory(const char* path) { return Current().RemoveDirectory(path); }
BOOL MoveFileEx(const char* from, const char* to, bool replace) {
  return Current().MoveFile(from, to, replace);
}
BOOL ReplaceEmptyFolder(const char* from, const char* to) {
  return Current().ReplaceEmptyFolder(from, to);
}
bool Platform::ReplaceEmptyFolder(const char* from, const char* to) {
  const DWORD attributes = GetFileAttributes(to);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  // The new folder keeps the spelling of the one it replaces.
  std::string target(to);
  WIN32_FIND_DATA data;
  if (HANDLE search = FindFirstFile(to, &data)) {
    target = FolderOf(target) + data.cFileName;
    FindClose(search);
  }
  // A folder that is not empty is refused here.
  if (!RemoveDirectory(target.c_str())) return false;
  if (MoveFile(from, target.c_str(), false)) return true;
  const DWORD error = GetLastError();
  CreateDirectory(target.c_str());
  SetLastError(error);
  return false;
}
bool ResolveHostPath(const char* path, std::string* host) {
  return Current().ResolveHostPath(path, host);
}
DWORD GetLogicalDrives() { return Current().GetLogicalDrives(); }
UINT GetDriveType(const char* root) { return Current().GetDriveType(root); }
BOOL GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller, std::uint64_t* total,
                        std::uint64_t* totalFree) {
  return Current().GetDiskFreeSpaceEx(root, freeToCaller, total, totalFree);
}
DWORD WNetOpenEnum(DWORD scope, DWORD type, DWORD usage, const NETRESOURCE* container,
                   HANDLE* enumeration) {
  return Current().WNetOpenEnum(scope, type, usage, container, enumeration);
}
DWORD WNetEnumResource(HANDLE enumeration, DWORD* count, void* buffer, DWORD* bufferSize) {
  return Current().WNetEnumResource(enumeration, count, buffer, bufferSize);
}
DWORD WNetCloseEnum(HANDLE enumeration) { return Current().WNetCloseEnum(enumeration); }
DWORD WNetGetConnection(const char* localName, char* remoteName, DWORD* length) {
  return Current().WNetGetConnection(localName, remoteName, length);
}
HANDLE CreateThread(ThreadProc proc, void* arg) { return Current().CreateThread(proc, arg); }
DWORD WaitForSingleObject(HANDLE thread, DWORD ms) {
  return Current().WaitForSingleObject(thread, ms);
}
BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
  return Current().TerminateThread(thread, exitCode);
}
BOOL GetExitCodeThread(HANDLE thread, DWORD* code) {
  return Current().GetExitCodeThread(thread, code);
}
void Sleep(DWORD ms) { Current().Sleep(ms); }
void GetLocalTime(SYSTEMTIME* time) { Current().GetLocalTime(time); }
std::uint32_t GetTickCount() { return Current().GetTickCount(); }
HANDLE CreateFileMapping(const char* name, DWORD size) {
  return Current().CreateFileMapping(name, size);
}
HANDLE OpenFileMapping(const char* name) { return Current().OpenFileMapping(name); }
void* MapViewOfFile(HANDLE mapping) { return Current().MapViewOfFile(mapping); }
BOOL UnmapViewOfFile(void* view) { return Current().UnmapViewOfFile(view); }

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The root that answers the free-space query for path: "X:\\" for a drive
// path, "\\\\server\\share\\" for a client drive, else the folder itself
// (or the folder that holds the file).
std::string FreeSpaceRootOf(const std::string& path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
    return path.substr(0, 2) + "\\";
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    std::size_t server = path.find_first_of("\\/", 2);
    std::size_t share =
        server == std::string::npos ? server : path.find_first_of("\\/", server + 1);
    return (share == std::string::npos ? path : path.substr(0, share)) + "\\";
  }
  DWORD attributes = GetFileAttributes(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return path;
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut + 1);
}

}  // namespace

BOOL GetFreeBytesOfDrive(const char* path, std::uint64_t* freeToCaller) {
  if (!path || !*path || !freeToCaller) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return GetDiskFreeSpaceEx(FreeSpaceRootOf(path).c_str(), freeToCaller, nullptr, nullptr);
}

bool GetFileSizeByName(const char* path, std::uint64_t* size) {
  WIN32_FIND_DATA data;
  HANDLE h = plat::FindFirstFile(path, &data);
  if (!h) return false;
  FindClose(h);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  *size = FileSizeOf(data);
  return true;
}

bool SameFile(const char* a, const char* b) {
  std::string hostA, hostB;
  if (!ResolveHostPath(a, &hostA) || !ResolveHostPath(b, &hostB)) return false;
  std::error_code error;
  return std::filesystem::equivalent(hostA, hostB, error) && !error;
}

DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                              char* out, DWORD size, const char* path) {
  return Current().GetPrivateProfileString(section, key, defaultText, out, size, path);
}

void OutputDebugString(const char* text) {
  std::lock_guard<std::mutex> lock(gDebugMutex);
  // The sink keeps the most recent lines only, so a long run never grows it
  // without bound.
  if (gDebugLines.size() >= 10000) gDebugLines.erase(gDebugLines.begin());
  gDebugLines.emplace_back(text ? text : "");
  if (std::getenv("TALVER_DEBUG_OUTPUT")) std::fprintf(stderr, "[debug] %s", text ? text : "");
}

std::vector<std::string> TakeDebugOutput() {
  std::lock_guard<std::mutex> lock(gDebugMutex);
  std::vector<std::string> lines;
  lines.swap(gDebugLines);
  return lines;
}

}  // namespace plat
