#include "platform/win32/Win32Platform.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/KernelObject.h"
#include "platform/PlatformInternal.h"

namespace plat {
namespace {

// The last error of the system call that just failed becomes the caller's.
bool Fail() {
  plat::SetLastError(::GetLastError());
  return false;
}

HANDLE NullOnInvalid(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE || !h) {
    Fail();
    return nullptr;
  }
  return h;
}

// A search: every matching name, read at once and put in order. The live
// searches are known by address, so a search handle is told from the
// system's handles without reading behind either.
struct Search {
  std::vector<WIN32_FIND_DATA> entries;
  std::size_t next = 0;
};
std::mutex gSearchesMutex;
std::set<const void*> gSearches;

int Rank(const char* name) {
  if (!std::strcmp(name, ".")) return 0;
  if (!std::strcmp(name, "..")) return 1;
  return 2;
}

bool NameBefore(const WIN32_FIND_DATA& a, const WIN32_FIND_DATA& b) {
  int ra = Rank(a.cFileName), rb = Rank(b.cFileName);
  if (ra != rb) return ra < rb;
  return _stricmp(a.cFileName, b.cFileName) < 0;
}

// What a thread of this half shares with whoever stops it.
struct ThreadState {
  ThreadProc proc = nullptr;
  void* arg = nullptr;
  std::atomic<bool> stop{false};
  std::atomic<DWORD> stopCode{0};
};

thread_local ThreadState* tCurrentThread = nullptr;
std::mutex gThreadsMutex;
std::map<DWORD, std::shared_ptr<ThreadState>> gThreads;  // by thread id, while running

DWORD WINAPI ThreadStart(void* raw) {
  std::shared_ptr<ThreadState> state;
  {
    std::lock_guard<std::mutex> lock(gThreadsMutex);
    state = gThreads[::GetCurrentThreadId()] = *static_cast<std::shared_ptr<ThreadState>*>(raw);
  }
  delete static_cast<std::shared_ptr<ThreadState>*>(raw);
  tCurrentThread = state.get();
  state->proc(state->arg);
  tCurrentThread = nullptr;
  std::lock_guard<std::mutex> lock(gThreadsMutex);
  gThreads.erase(::GetCurrentThreadId());
  return state->stop.load() ? state->stopCode.load() : 0;
}

}  // namespace

bool ThreadStopRequested() { return tCurrentThread && tCurrentThread->stop.load(); }
bool IsPlatformThread() { return tCurrentThread != nullptr; }

std::mutex gObjectsMutex;
std::set<const void*> gObjects;  // the handles made by decorating platforms

bool IsKernelObject(HANDLE handle) {
  std::lock_guard<std::mutex> lock(gObjectsMutex);
  return gObjects.count(handle) != 0;
}

void NoteKernelObject(const void* object, bool alive) {
  std::lock_guard<std::mutex> lock(gObjectsMutex);
  if (alive)
    gObjects.insert(object);
  else
    gObjects.erase(object);
}

bool IsWin32Search(HANDLE handle) {
  std::lock_guard<std::mutex> lock(gSearchesMutex);
  return gSearches.count(handle) != 0;
}

BOOL CloseHandle(HANDLE handle) {
  if (IsWin32Search(handle)) return FindClose(handle);
  if (IsKernelObject(handle)) {
    delete static_cast<KernelObject*>(handle);
    return TRUE;
  }
  if (!handle || !::CloseHandle(handle)) {
    plat::SetLastError(handle ? ::GetLastError() : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE search) {
  HANDLE handle = search;
  {
    std::lock_guard<std::mutex> lock(gSearchesMutex);
    if (!gSearches.erase(handle)) handle = nullptr;
  }
  if (!handle) {
    // A search of a decorating platform is one of its handles.
    if (IsKernelObject(search)) {
      delete static_cast<KernelObject*>(search);
      return TRUE;
    }
    plat::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete static_cast<Search*>(handle);
  return TRUE;
}

// The system counts its own handles; this half keeps no count of them.
long LiveHandles() { return 0; }

// ------------------------------------------------------------------ files

HANDLE Win32Platform::CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                                 DWORD flags) {
  return NullOnInvalid(::CreateFileA(path, access, share, nullptr, disposition,
                                     FILE_ATTRIBUTE_NORMAL | flags, nullptr));
}

bool Win32Platform::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) {
  DWORD got = 0;
  if (!::ReadFile(file, buffer, count, &got, nullptr)) return Fail();
  if (read) *read = got;
  return true;
}

bool Win32Platform::WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) {
  DWORD put = 0;
  if (!::WriteFile(file, buffer, count, &put, nullptr)) return Fail();
  if (written) *written = put;
  return true;
}

bool Win32Platform::SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                                   std::uint64_t* position) {
  LARGE_INTEGER distance, now;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(file, distance, &now, method)) return Fail();
  if (position) *position = static_cast<std::uint64_t>(now.QuadPart);
  return true;
}

bool Win32Platform::GetFileSize(HANDLE file, std::uint64_t* size) {
  LARGE_INTEGER s;
  if (!::GetFileSizeEx(file, &s)) return Fail();
  *size = static_cast<std::uint64_t>(s.QuadPart);
  return true;
}

bool Win32Platform::FlushFile(HANDLE file) { return ::FlushFileBuffers(file) || Fail(); }

// NTFS and FAT keep a rename with the file's own flush.
bool Win32Platform::FlushFolder(const char*) { return true; }

bool Win32Platform::TryLockFile(HANDLE file) {
  OVERLAPPED at{};
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) ||
         Fail();
}

bool Win32Platform::SetEndOfFile(HANDLE file) { return ::SetEndOfFile(file) || Fail(); }

// ------------------------------------------------------------------ names

HANDLE Win32Platform::FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
  // "dir\" looks up the directory itself, as the other halves do; a drive
  // root has no entry.
  std::string trimmed = pattern;
  while (!trimmed.empty() && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
  if (trimmed.size() != std::strlen(pattern)) {
    if (trimmed.empty() || (trimmed.size() == 2 && trimmed[1] == ':')) {
      plat::SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    return FindFirstFile(trimmed.c_str(), data);
  }
  WIN32_FIND_DATA entry;
  HANDLE h = ::FindFirstFileA(pattern, &entry);
  if (h == INVALID_HANDLE_VALUE) {
    Fail();
    return nullptr;
  }
  auto search = std::make_unique<Search>();
  do {
    search->entries.push_back(entry);
  } while (::FindNextFileA(h, &entry));
  ::FindClose(h);
  std::stable_sort(search->entries.begin(), search->entries.end(), NameBefore);
  *data = search->entries[0];
  search->next = 1;
  std::lock_guard<std::mutex> lock(gSearchesMutex);
  gSearches.insert(search.get());
  return search.release();
}

bool Win32Platform::FindNextFile(HANDLE handle, WIN32_FIND_DATA* data) {
  if (!IsWin32Search(handle)) {
    plat::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  auto* search = static_cast<Search*>(handle);
  if (search->next >= search->entries.size()) {
    plat::SetLastError(ERROR_NO_MORE_FILES);
    return false;
  }
  *data = search->entries[search->next++];
  return true;
}

DWORD Win32Platform::GetFileAttributes(const char* path) {
  DWORD a = ::GetFileAttributesA(path);
  if (a == INVALID_FILE_ATTRIBUTES) Fail();
  return a;
}

bool Win32Platform::SetFileAttributes(const char* path, DWORD attributes) {
  return ::SetFileAttributesA(path, attributes) || Fail();
}

bool Win32Platform::DeleteFile(const char* path) { return ::DeleteFileA(path) || Fail(); }

bool Win32Platform::CreateDirectory(const char* path) {
  return ::CreateDirectoryA(path, nullptr) || Fail();
}

bool Win32Platform::RemoveDirectory(const char* path) { return ::RemoveDirectoryA(path) || Fail(); }

bool Win32Platform::MoveFile(const char* from, const char* to, bool replace) {
  DWORD flags = MOVEFILE_COPY_ALLOWED | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  return ::MoveFileExA(from, to, flags) || Fail();
}

bool Win32Platform::ResolveHostPath(const char* path, std::string* host) {
  // A Windows path is the host's own; only made absolute.
  char full[MAX_PATH];
  DWORD n = ::GetFullPathNameA(path, sizeof full, full, nullptr);
  if (n == 0) return Fail();
  if (n >= sizeof full) {
    plat::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  *host = full;
  return true;
}

// ----------------------------------------------------------------- drives

DWORD Win32Platform::GetLogicalDrives() { return ::GetLogicalDrives(); }

UINT Win32Platform::GetDriveType(const char* root) { return ::GetDriveTypeA(root); }

bool Win32Platform::GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller,
                                       std::uint64_t* total, std::uint64_t* totalFree) {
  ULARGE_INTEGER caller, all, free;
  if (!::GetDiskFreeSpaceExA(root, &caller, &all, &free)) return Fail();
  if (freeToCaller) *freeToCaller = caller.QuadPart;
  if (total) *total = all.QuadPart;
  if (totalFree) *totalFree = free.QuadPart;
  return true;
}

// --------------------------------------------------------------- network

DWORD Win32Platform::WNetOpenEnum(DWORD scope, DWORD type, DWORD usage,
                                  const NETRESOURCE* container, HANDLE* enumeration) {
  return ::WNetOpenEnumA(scope, type, usage, const_cast<NETRESOURCE*>(container), enumeration);
}

DWORD Win32Platform::WNetEnumResource(HANDLE enumeration, DWORD* count, void* buffer,
                                      DWORD* bufferSize) {
  return ::WNetEnumResourceA(enumeration, count, buffer, bufferSize);
}

DWORD Win32Platform::WNetCloseEnum(HANDLE enumeration) { return ::WNetCloseEnum(enumeration); }

DWORD Win32Platform::WNetGetConnection(const char* localName, char* remoteName, DWORD* length) {
  return ::WNetGetConnectionA(localName, remoteName, length);
}

// ------------------------------------------------------- threads and time

HANDLE Win32Platform::CreateThread(ThreadProc proc, void* arg) {
  auto state = std::make_shared<ThreadState>();
  state->proc = proc;
  state->arg = arg;
  auto* start = new std::shared_ptr<ThreadState>(state);
  HANDLE h = ::CreateThread(nullptr, 0, ThreadStart, start, 0, nullptr);
  if (!h) {
    delete start;
    Fail();
    return nullptr;
  }
  // The thread registers itself; until it has, a stop request finds it here.
  std::lock_guard<std::mutex> lock(gThreadsMutex);
  gThreads.emplace(::GetThreadId(h), state);
  return h;
}

DWORD Win32Platform::WaitForSingleObject(HANDLE thread, DWORD milliseconds) {
  DWORD r = ::WaitForSingleObject(thread, milliseconds);
  if (r == WAIT_FAILED) Fail();
  return r;
}

bool Win32Platform::TerminateThread(HANDLE thread, DWORD exitCode) {
  std::shared_ptr<ThreadState> state;
  {
    std::lock_guard<std::mutex> lock(gThreadsMutex);
    auto it = gThreads.find(::GetThreadId(thread));
    if (it != gThreads.end()) state = it->second;
  }
  if (state) {
    state->stopCode.store(exitCode);
    state->stop.store(true);
  }
  // A thread is never killed where it stands: it leaves at a stop point.
  DWORD r = ::WaitForSingleObject(thread, kTerminateWaitMs);
  if (r == WAIT_FAILED) return Fail();
  if (r != WAIT_OBJECT_0) {
    plat::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

bool Win32Platform::GetExitCodeThread(HANDLE thread, DWORD* code) {
  return ::GetExitCodeThread(thread, code) || Fail();
}

void Win32Platform::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

void Win32Platform::GetLocalTime(SYSTEMTIME* time) { ::GetLocalTime(time); }

std::uint32_t Win32Platform::GetTickCount() { return ::GetTickCount(); }

// ---------------------------------------------------------- shared memory

HANDLE Win32Platform::CreateFileMapping(const char* name, DWORD size) {
  HANDLE h = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
  // ERROR_ALREADY_EXISTS comes with a handle; success leaves 0.
  plat::SetLastError(::GetLastError());
  return h;
}

HANDLE Win32Platform::OpenFileMapping(const char* name) {
  return NullOnInvalid(::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name));
}

void* Win32Platform::MapViewOfFile(HANDLE mapping) {
  void* view = ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (!view) Fail();
  return view;
}

bool Win32Platform::UnmapViewOfFile(void* view) { return ::UnmapViewOfFile(view) || Fail(); }

}  // namespace plat
