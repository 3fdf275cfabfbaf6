// The Windows half of the platform interface: the system services
// themselves (files, searches, drives, threads, file mapping, the network
// provider), with the interface's promises kept where Windows differs:
// handles are null on failure, a search yields "." and ".." first and then
// its names in case-insensitive order, a thread leaves at its stop points.
#pragma once

#include "platform/Platform.h"

namespace plat {

class Win32Platform : public Platform {
 public:
  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override;
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override;
  bool SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                      std::uint64_t* position) override;
  bool GetFileSize(HANDLE file, std::uint64_t* size) override;
  bool FlushFile(HANDLE file) override;
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

  // How long TerminateThread waits for a thread to reach a stop point.
  static constexpr DWORD kTerminateWaitMs = 10000;
};

// True when the handle is a live search of this half (FindFirstFile); a
// search is closed with FindClose or CloseHandle.
bool IsWin32Search(HANDLE handle);

}  // namespace plat
