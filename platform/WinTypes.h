// Basic types, handles and system error codes of the SVP's system services,
// as the system's code sees them on every platform.
//
// A Windows build takes all of them from the system's own headers, in their
// 8-bit ("A") form: the system's text and paths are 8-bit. Elsewhere they are
// defined here, with the same names, field names and layouts wherever the
// system's code touches them, so that one source compiles on both.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)

#if defined(UNICODE) || defined(_UNICODE)
#error "the system's code calls the 8-bit forms of the system services"
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winnetwk.h>

#else  // !_WIN32

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using LONG = std::int32_t;
using WCHAR = char16_t;

// Window handles are 32-bit numbers here; 0 is "no window". On Windows they
// are pointers: the system's code only stores, passes and compares them.
using HWND = std::uint32_t;

// A loaded module (the library itself): its dialog templates and strings.
using HINSTANCE = void*;

// Every kernel object (file, search, thread, mapping) is reached through one
// handle type and closed with plat::CloseHandle. The calls that make handles
// return a null handle on failure (platform/Platform.h); there is no
// INVALID_HANDLE_VALUE for the system to compare with.
namespace plat {
struct KernelObject;
}
using HANDLE = plat::KernelObject*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr std::size_t MAX_PATH = 260;

// System error codes (a per-thread last error holds one of these).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DRIVE = 15;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_WRITE_PROTECT = 19;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_BAD_NETPATH = 53;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_BAD_DEVICE = 1200;
constexpr DWORD ERROR_CONNECTION_UNAVAIL = 1201;
constexpr DWORD ERROR_NOT_CONNECTED = 2250;

// File attributes.
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// CreateFile access, sharing, disposition and flags.
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

// Drive types.
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

// 100-nanosecond intervals since 1601-01-01 (UTC), split in two halves.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// Find-first data in the Windows layout; plat::FileSizeOf and
// plat::UnixSecondsOf (platform/Platform.h) read the split fields.
struct WIN32_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};

// The network provider's resources (client drives, connections).
struct NETRESOURCE {
  DWORD dwScope;
  DWORD dwType;
  DWORD dwDisplayType;
  DWORD dwUsage;
  char* lpLocalName;
  char* lpRemoteName;
  char* lpComment;
  char* lpProvider;
};
constexpr DWORD RESOURCE_CONNECTED = 0x1;
constexpr DWORD RESOURCE_GLOBALNET = 0x2;
constexpr DWORD RESOURCETYPE_ANY = 0x0;
constexpr DWORD RESOURCETYPE_DISK = 0x1;
constexpr DWORD RESOURCEUSAGE_CONNECTABLE = 0x1;
constexpr DWORD RESOURCEUSAGE_CONTAINER = 0x2;
constexpr DWORD RESOURCEDISPLAYTYPE_GENERIC = 0x0;
constexpr DWORD RESOURCEDISPLAYTYPE_SERVER = 0x2;
constexpr DWORD RESOURCEDISPLAYTYPE_SHARE = 0x3;
constexpr DWORD RESOURCEDISPLAYTYPE_NETWORK = 0x6;
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NOT_CONTAINER = 1207;
constexpr DWORD ERROR_NO_NETWORK = 1222;

#endif  // !_WIN32
