// The archiver library's calls, as the system makes them. The stand-in
// writes and reads gzip-compressed POSIX tar archives with libarchive; every
// file it touches goes through the platform layer. Contracts, command lines
// and failure codes: docs/archiver.md.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

using HARC = void*;

// Failure codes of Tar (0 is success).
constexpr int kTarErrorCommand = 0x8001;    // malformed command line
constexpr int kTarErrorArchive = 0x8002;    // the archive cannot be opened or created
constexpr int kTarErrorListFile = 0x8003;   // the @ list file cannot be read
constexpr int kTarErrorSource = 0x8004;     // a file to pack is missing, unreadable or changed
constexpr int kTarErrorWrite = 0x8005;      // writing the archive or an extracted file failed
constexpr int kTarErrorFormat = 0x8006;     // not a gzip tar archive, or damaged
constexpr int kTarErrorUnsafe = 0x8007;     // an entry would land outside the target
constexpr int kTarErrorStopped = 0x8008;    // the job was asked to stop
constexpr int kTarErrorResources = 0x8009;  // memory or worker threads not available
constexpr int kTarErrorTarget = 0x800A;     // target directory missing or not creatable
constexpr int kTarErrorNotFound = 0x800B;   // a named entry is not in the archive
constexpr int kTarErrorPath = 0x800C;       // a path does not fit 260 characters

// The entry record that TarFindFirst / TarFindNext fill (558 bytes, packed).
#pragma pack(push, 1)
struct TarEntryRecord {
  DWORD originalSize;    // 0: size in bytes (low 32 bits)
  DWORD compressedSize;  // 4: the same (tar stores entries unpacked)
  DWORD crc;             // 8: 0
  UINT flags;            // 12: 0
  UINT osType;           // 16: 0
  WORD ratio;            // 20: 1000 (per mille, entries are stored whole)
  WORD dosDate;          // 22: modification date, DOS form
  WORD dosTime;          // 24: modification time, DOS form
  char fileName[513];    // 26: entry name as stored, NUL-terminated
  char reserved[3];
  char attribute[8];  // "-rw-", "dr--" ...
  char method[8];     // "-tar-"
};
#pragma pack(pop)
static_assert(sizeof(TarEntryRecord) == 558);
static_assert(__builtin_offsetof(TarEntryRecord, fileName) == 26);

// The record the progress message carries in its lParam (file name at byte 8).
struct TarProgressRecord {
  DWORD fileSize;         // 0: size of the entry
  DWORD writtenSize;      // 4: bytes done so far
  char fileName[512];     // 8: entry name as stored
  char destination[512];  // the file written (extraction) or read (creation)
};
static_assert(__builtin_offsetof(TarProgressRecord, fileName) == 8);

// Progress codes of the registered message "wm_arcextract" (wParam).
constexpr int kTarProgressEntry = 0;   // processing of an entry begins
constexpr int kTarProgressEnded = 2;   // the job has ended (success or not)
constexpr int kTarProgressOpened = 3;  // the archive has been opened

// The archiver's calls have C names, as the archiver library exports them.
extern "C" {

// Runs one command line ("--display-dialog=N cvfZ ARCHIVE DIR @LIST", ...).
// 0 on success, otherwise a failure code above. output gets a short report.
int Tar(HWND window, const char* commandLine, char* output, DWORD outputSize);
HARC TarOpenArchive(HWND window, const char* archivePath, DWORD mode);
int TarCloseArchive(HARC archive);
// Fill the 558-byte entry record; 0 while an entry was found, -1 at the end,
// a failure code when the archive is damaged.
int TarFindFirst(HARC archive, const char* pattern, void* entry558);
int TarFindNext(HARC archive, void* entry558);
// More of the entry the last find returned: the whole size, the modification
// time (seconds since 1970) and the kind (0 file, 1 folder, 2 other). 0 on
// success.
struct TarEntryDetail {
  std::uint64_t size;
  std::int64_t modified;
  int kind;
  DWORD mode;  // permission bits
};
int TarGetEntryDetail(HARC archive, TarEntryDetail* detail);
// Reads on in the data of the entry the last find returned: 0 with *got
// bytes (0 at its end), a failure code when the archive is damaged.
int TarReadEntryData(HARC archive, void* buffer, DWORD size, DWORD* got);
// Why the last failed open, find or read of this thread failed, in words
// ("gzip member 3 at byte 2097152 is damaged", "truncated at byte N").
// 1 when the text fits.
int TarLastFailure(char* text, DWORD size);
// Number of entries of an archive, -1 on failure.
int TarGetFileCount(const char* archivePath);
// The window that receives the progress messages of jobs run with
// "--display-dialog=1"; nonzero on success.
BOOL TarSetOwnerWindow(HWND window);
BOOL TarClearOwnerWindow();
// The owner window set now (0: none).
HWND TarOwnerWindow();
BOOL TarSetCursorMode(BOOL mode);

}  // extern "C"
