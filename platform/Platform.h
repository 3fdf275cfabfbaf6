// The platform interface: the only way the system's code reaches files,
// directories, drives, threads, shared memory, time and profile strings.
//
// The system speaks in Windows-style paths ("C:\PLAXON\CONFIG\config.inf").
// A Platform resolves them: a POSIX half over a world of host directories
// (PosixPlatform), a native Windows half over Win32 (Win32Platform,
// platform/win32/), and a fault-injecting half for tests (FaultPlatform) that
// decorates another one.
//
// The free functions in namespace plat forward to the current Platform and
// keep the per-thread last error, as the system services do.
//
// Handles: every call that makes one (CreateFile, FindFirstFile, CreateThread,
// CreateFileMapping, OpenFileMapping) returns a null handle on failure, on
// every half; a Windows half turns the system's INVALID_HANDLE_VALUE of
// CreateFile and FindFirstFile into null. Callers test handles with !h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace plat {

// The handles alive now (made and not yet closed), for the tests' leak
// checks; a half that cannot count them answers 0.
long LiveHandles();

using ThreadProc = void (*)(void* arg);

// --- network resources, in the shape of the system's network-provider
// enumeration (WNetOpenEnum ...) and connection query (WNetGetConnection).
// The names and values are the system's; a Windows half takes them from the
// system headers.
// The entry count that asks WNetEnumResource for as many entries as fit.
constexpr DWORD kEnumAllEntries = 0xFFFFFFFF;

class Platform {
 public:
  virtual ~Platform() = default;

  // --- files --------------------------------------------------------------
  virtual HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                            DWORD flags) = 0;
  virtual bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) = 0;
  virtual bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) = 0;
  virtual bool SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                              std::uint64_t* position) = 0;
  virtual bool GetFileSize(HANDLE file, std::uint64_t* size) = 0;
  // Writes the file's bytes through to the medium.
  virtual bool FlushFile(HANDLE file) = 0;
  // Writes the bytes of several files through, as FlushFile does each; a
  // half may write them together, in fewer waits for the medium. False with
  // the last error of the first file that could not be flushed.
  virtual bool FlushFiles(const HANDLE* files, std::size_t count);
  // Makes the folder's names (a rename or creation in it) durable; a half
  // whose system does that with the file itself succeeds at once.
  virtual bool FlushFolder(const char* path) = 0;
  // Takes an exclusive lock on an open file without waiting: false with
  // ERROR_LOCK_VIOLATION while another open of it holds one. The lock ends
  // with the handle, also when its process is killed.
  virtual bool TryLockFile(HANDLE file) = 0;
  // The file ends at its file pointer: cut there, or grown to there (the
  // bytes between the old end and the pointer read as zeros and, where the
  // drive allows, take no room).
  virtual bool SetEndOfFile(HANDLE file) = 0;

  // --- names --------------------------------------------------------------
  // A non-root directory yields "." and ".." first, then its entries in
  // case-insensitive name order. "*" and "*.*" match every name.
  virtual HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) = 0;
  virtual bool FindNextFile(HANDLE search, WIN32_FIND_DATA* data) = 0;
  virtual DWORD GetFileAttributes(const char* path) = 0;
  virtual bool SetFileAttributes(const char* path, DWORD attributes) = 0;
  virtual bool DeleteFile(const char* path) = 0;
  virtual bool CreateDirectory(const char* path) = 0;
  virtual bool RemoveDirectory(const char* path) = 0;
  virtual bool MoveFile(const char* from, const char* to, bool replace) = 0;
  // Gives the folder `from` the name of the empty folder `to`, which it
  // replaces; false, with `to` left as it was, when `to` is no folder, a
  // link, or not empty. A half whose system can do it in one step does, and
  // `to` is never missing meanwhile; this default removes `to` first.
  virtual bool ReplaceEmptyFolder(const char* from, const char* to);

  // --- folders held open ----------------------------------------------------
  // A job that makes many entries in one folder (an extraction) opens it
  // once and names its entries by their names alone; the calls then act on
  // the folder the path named when it was opened, with the rules of the
  // calls on paths above (case, links, read-only files, write protection).
  // A half that keeps no folders open composes the paths (these defaults).
  // The free functions below refuse a name that is not one entry's.
  virtual HANDLE OpenFolder(const char* path);
  virtual DWORD GetFileAttributesIn(HANDLE folder, const char* name);
  virtual HANDLE CreateFileIn(HANDLE folder, const char* name, DWORD access, DWORD share,
                              DWORD disposition, DWORD flags);
  virtual bool MoveFileIn(HANDLE folder, const char* from, const char* to, bool replace);

  // --- profile strings (the free GetPrivateProfileString below) --------------
  virtual DWORD GetPrivateProfileString(const char* section, const char* key,
                                        const char* defaultText, char* out, DWORD size,
                                        const char* path) = 0;

  // The host path that a system path names (for stand-ins that hand paths to
  // host libraries, and for the tools). A missing last component is allowed.
  virtual bool ResolveHostPath(const char* path, std::string* host) = 0;

  // --- drives -------------------------------------------------------------
  virtual DWORD GetLogicalDrives() = 0;
  virtual UINT GetDriveType(const char* root) = 0;
  // root: a drive root ("C:\\"), a client drive's root, or any existing
  // directory, which answers for the drive that holds it.
  virtual bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller,
                                  std::uint64_t* total, std::uint64_t* totalFree) = 0;

  // --- network resources ----------------------------------------------------
  // An enumeration of the resources of a container (nullptr: the top level,
  // the network providers). Results are system error codes (NO_ERROR).
  virtual DWORD WNetOpenEnum(DWORD scope, DWORD type, DWORD usage, const NETRESOURCE* container,
                             HANDLE* enumeration) = 0;
  // Fills buffer with up to *count entries (kEnumAllEntries: as many as
  // fit), their texts behind them; *count becomes the number written.
  // ERROR_NO_MORE_ITEMS after the last, ERROR_MORE_DATA with the size needed
  // in *bufferSize when not even one entry fits.
  virtual DWORD WNetEnumResource(HANDLE enumeration, DWORD* count, void* buffer,
                                 DWORD* bufferSize) = 0;
  virtual DWORD WNetCloseEnum(HANDLE enumeration) = 0;
  // The remote name of a drive letter's connection ("F:"); ERROR_NOT_CONNECTED
  // when it has none, ERROR_CONNECTION_UNAVAIL (the name is still given) when
  // it is remembered but not connected, ERROR_MORE_DATA with the length needed.
  virtual DWORD WNetGetConnection(const char* localName, char* remoteName, DWORD* length) = 0;

  // --- threads and time ---------------------------------------------------
  virtual HANDLE CreateThread(ThreadProc proc, void* arg) = 0;
  // Waits for a thread; WAIT_OBJECT_0 once it has ended, else WAIT_TIMEOUT.
  virtual DWORD WaitForSingleObject(HANDLE thread, DWORD milliseconds) = 0;
  // Asks the thread to stop at its next stop point (see StopRequested) and
  // waits a bounded time for it; true when it has left.
  virtual bool TerminateThread(HANDLE thread, DWORD exitCode) = 0;
  virtual bool GetExitCodeThread(HANDLE thread, DWORD* code) = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual void GetLocalTime(SYSTEMTIME* time) = 0;
  virtual std::uint32_t GetTickCount() = 0;

  // --- shared memory ------------------------------------------------------
  // A named section of `size` bytes; sets ERROR_ALREADY_EXISTS (and still
  // returns a handle) when another creator has it.
  virtual HANDLE CreateFileMapping(const char* name, DWORD size) = 0;
  virtual HANDLE OpenFileMapping(const char* name) = 0;
  virtual void* MapViewOfFile(HANDLE mapping) = 0;
  virtual bool UnmapViewOfFile(void* view) = 0;
};

// The platform the system runs on. Never null once a world is loaded.
Platform& Current();
bool HasCurrent();
// Installs a platform; returns the previous one (tests restore it).
std::shared_ptr<Platform> Install(std::shared_ptr<Platform> platform);
std::shared_ptr<Platform> InstalledShared();

// The per-thread last error.
DWORD GetLastError();
void SetLastError(DWORD code);

// Stop points: a thread asked to stop (TerminateThread) sees true here and
// leaves at its next chance, releasing what it holds. So does every worker
// while the running call is asked to stop (RequestCallStop).
bool StopRequested();
// The host's request that the running call stop (a signal, a program's
// TalverHost_RequestStop): safe in a signal handler. The export's frame
// takes it when the call ends (TakeCallStop).
void RequestCallStop();
bool CallStopRequested();
// Whether a stop was requested, forgetting it.
bool TakeCallStop();
// Bytes that ReadFile and WriteFile have moved in this process: what a
// progress line measures its rate by.
std::uint64_t BytesWritten();

// --- forwarding functions in the system services' shape ------------------
HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written);
BOOL SetFilePointerEx(HANDLE file, std::int64_t offset, DWORD method, std::uint64_t* position);
BOOL GetFileSizeEx(HANDLE file, std::uint64_t* size);
BOOL FlushFileBuffers(HANDLE file);
BOOL FlushFiles(const HANDLE* files, std::size_t count);
BOOL FlushFolder(const char* path);
BOOL TryLockFile(HANDLE file);
BOOL SetEndOfFile(HANDLE file);
BOOL CloseHandle(HANDLE handle);
HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data);
BOOL FindNextFile(HANDLE search, WIN32_FIND_DATA* data);
BOOL FindClose(HANDLE search);
DWORD GetFileAttributes(const char* path);
BOOL SetFileAttributes(const char* path, DWORD attributes);
BOOL DeleteFile(const char* path);
BOOL CreateDirectory(const char* path);
BOOL RemoveDirectory(const char* path);
BOOL MoveFileEx(const char* from, const char* to, bool replace);
BOOL ReplaceEmptyFolder(const char* from, const char* to);
// The folder `path` names, held open (see Platform::OpenFolder); null with
// the last error set when it is missing, no folder, or a link.
HANDLE OpenFolder(const char* path);
// The same calls for the entry `name` of an open folder. A name with a
// separator or a drive, "." or "..": ERROR_INVALID_NAME.
DWORD GetFileAttributesIn(HANDLE folder, const char* name);
HANDLE CreateFileIn(HANDLE folder, const char* name, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags);
BOOL MoveFileExIn(HANDLE folder, const char* from, const char* to, bool replace);
// The path an open folder was opened by, ending in a separator.
std::string PathOfFolder(HANDLE folder);
bool ResolveHostPath(const char* path, std::string* host);
DWORD GetLogicalDrives();
UINT GetDriveType(const char* root);
BOOL GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller, std::uint64_t* total,
                        std::uint64_t* totalFree);
DWORD WNetOpenEnum(DWORD scope, DWORD type, DWORD usage, const NETRESOURCE* container,
                   HANDLE* enumeration);
DWORD WNetEnumResource(HANDLE enumeration, DWORD* count, void* buffer, DWORD* bufferSize);
DWORD WNetCloseEnum(HANDLE enumeration);
DWORD WNetGetConnection(const char* localName, char* remoteName, DWORD* length);
HANDLE CreateThread(ThreadProc proc, void* arg);
DWORD WaitForSingleObject(HANDLE thread, DWORD milliseconds);
BOOL TerminateThread(HANDLE thread, DWORD exitCode);
BOOL GetExitCodeThread(HANDLE thread, DWORD* code);
void Sleep(DWORD milliseconds);
void GetLocalTime(SYSTEMTIME* time);
std::uint32_t GetTickCount();
HANDLE CreateFileMapping(const char* name, DWORD size);
HANDLE OpenFileMapping(const char* name);
void* MapViewOfFile(HANDLE mapping);
BOOL UnmapViewOfFile(void* view);
// Profile strings as the system reads them: section and key case-insensitive,
// the first match wins; the value is the text after "=" with its blanks
// trimmed and one pair of surrounding quotes removed (no inline comments);
// the default when either is missing, at most size-1 characters copied.
DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                              char* out, DWORD size, const char* path);
// Debugger output: a sink that keeps every line for the tests (and echoes it
// to stderr when TALVER_DEBUG_OUTPUT is set).
void OutputDebugString(const char* text);
std::vector<std::string> TakeDebugOutput();

// The bytes free to the caller on the drive that holds `path` (a file or
// directory below a drive root, a client drive, or a host folder): the
// free-space query of that drive's root.
BOOL GetFreeBytesOfDrive(const char* path, std::uint64_t* freeToCaller);

// Size of a named file, without opening it for the caller (find-first data).
bool GetFileSizeByName(const char* path, std::uint64_t* size);

// True when both paths name one existing file, however each is spelt (case,
// separators, "." and "..", a drive path or the host path behind it).
bool SameFile(const char* a, const char* b);
// --- find-first data ------------------------------------------------------
// The size and the time stamps of WIN32_FIND_DATA come in two 32-bit halves.
constexpr std::uint64_t FileSizeOf(const WIN32_FIND_DATA& data) {
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// FILETIME counts 100 ns from 1601-01-01; Unix time counts seconds from 1970.
constexpr std::int64_t kFileTimeTicksPerSecond = 10000000;
constexpr std::int64_t kFileTimeUnixEpochSeconds = 11644473600;

constexpr std::int64_t UnixSecondsOf(const FILETIME& time) {
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<std::int64_t>(ticks / kFileTimeTicksPerSecond) - kFileTimeUnixEpochSeconds;
}

// Times before 1601 become 1601-01-01.
constexpr FILETIME FileTimeOfUnixSeconds(std::int64_t seconds) {
  const std::int64_t since1601 = seconds + kFileTimeUnixEpochSeconds;
  const std::uint64_t ticks =
      since1601 > 0 ? static_cast<std::uint64_t>(since1601) * kFileTimeTicksPerSecond : 0;
  FILETIME time{};
  time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

}  // namespace plat
