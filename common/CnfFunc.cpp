// File and directory utilities: forced delete and copy, directory creation,
// the backup list walk, the cached serial number, the path splitter and the
// internal data files.
#include "CnfFunc.h"

#include <cctype>
#include <cstring>

#include "Format.h"
#include "Globals.h"
#include "Trace.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"
#include "platform/Temporary.h"
#include "platform/Win.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfFunc")

namespace {

// The serial number of the controller, read once for the module's life.
DWORD SerialNumberCache = 0;

// Names the backup list never holds: internal data files kept per SVP.
const char* const kExcludedNames[] = {"min500c.dat", "min500d.dat", "svphdev0.dat"};
const char* const kIntDataNames[] = {"min500c.dat", "min500d.dat"};

// True when the path names an existing file (not a folder); writes no trace.
bool IsExistingFile(const char* path) {
  DWORD attributes = plat::GetFileAttributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

plat::Stream* OpenGuardedStream(const char* path, const char* mode, int share) {
  plat::Stream* stream = nullptr;
  if (exf_BeginOpen(path, mode)) stream = plat::fsopen(path, mode, share);
  return exf_RegisterStream(stream, 0);
}

void CloseGuardedStream(plat::Stream* stream) {
  int closed = plat::fclose(stream);
  exf_EndOpen(closed, stream, -1);
}

int DeleteFileForced(const char* path) {
  if (!TalVer_FindFile(path, 0)) return 1;
  if (!plat::SetFileAttributes(path, FILE_ATTRIBUTE_NORMAL)) TRACE_CODE(plat::GetLastError());
  int result = exf_DeleteFile(path);
  if (!result) {
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  return result;
}

int CopyFileForced(const char* source, const char* destination, int /*ignored*/) {
  // The destination is cleared only for a copy that can take place: from an
  // existing file that is not the destination itself. Otherwise the copy
  // below fails and the destination stays as it was.
  bool copyable = IsExistingFile(source) && !plat::SameFile(source, destination);
  if (copyable && TalVer_FindFile(destination, 0)) {
    if (!plat::SetFileAttributes(destination, FILE_ATTRIBUTE_NORMAL))
      TRACE_CODE(plat::GetLastError());
    if (!DeleteFileForced(destination)) {
      TRACE_CODE(plat::GetLastError());
      return 0;
    }
  }
  WORD error = 0;
  int result = dsvp_ApiCopyFile(destination, source, &error);
  if (!result) {
    TRACE_WORD(error);
    return 0;
  }
  return result;
}

int PathExists(const char* path) {
  WIN32_FIND_DATA data;
  HANDLE search = plat::FindFirstFile(path, &data);
  if (!search) return 0;
  plat::FindClose(search);
  return 1;
}

int EnsureDirectory(const char* path, DWORD* error) {
  if (PathExists(path)) return 1;
  if (!plat::CreateDirectory(path)) {
    *error = plat::GetLastError();
    TRACE_CODE(*error);
    return 0;
  }
  return 1;
}

int CreateMediaConfigDirs(const char* root, DWORD* error) {
  DWORD serial = GetSerialNumber();
  char path[MAX_PATH];
  if (!FORMAT_PATH(path, "%s\\PLAXON", root) || !EnsureDirectory(path, error)) return 0;
  if (!FORMAT_PATH(path, "%s\\PLAXON\\CONFIG", root) || !EnsureDirectory(path, error)) return 0;
  if (!FORMAT_PATH(path, "%s\\PLAXON\\CONFIG\\%.6u", root, static_cast<unsigned>(serial)) ||
      !EnsureDirectory(path, error))
    return 0;
  return 1;
}

void CreateConfigSubdirs(const char* dir) {
  char base[MAX_PATH];
  std::size_t n = std::strlen(dir);
  bool endsInSeparator = n > 0 && dir[n - 1] == '\\';
  if (!FORMAT_PATH(base, endsInSeparator ? "%s" : "%s\\", dir)) {
    TRACE_TEXT("ERR CreateConfigSubdirs(path)");
    return;
  }
  char path[MAX_PATH];
  if (FORMAT_PATH(path, "%sconfig", base)) plat::CreateDirectory(path);
  if (FORMAT_PATH(path, "%sconfig\\CNFDATA", base)) plat::CreateDirectory(path);
}

int IsListedFile(const char* name) {
  // A file on its way (or left by a call that was killed) is no part of the
  // configuration, whatever final name it carries.
  if (plat::IsTemporaryName(name)) return 0;
  for (const char* excluded : kExcludedNames)
    if (std::strcmp(name, excluded) == 0) return 0;
  return 1;
}

namespace {

// A link is never followed: what it points at is not part of the
// configuration, and a linked folder could hold anything.
void TraceLinkPassedOver(const char* dir, const char* name) {
  char line[256];
  TRACE_TEXT(TraceFormat(line, "WARNING LINK %s%s", dir, name));
}

// The walk of the backup list. A folder that is gone by the time the walk
// reaches it is passed over, unless it is the one the list was asked for
// (`required`); one that is there but cannot be searched fails the list, or
// the archive would silently lack its files and still count as a backup.
int ListFolder(const char* dir, const char* prefix, plat::Stream* stream, bool required) {
  char pattern[MAX_PATH];
  if (!FORMAT_PATH(pattern, "%s*.*", dir)) {
    // A directory whose names do not fit a path cannot be listed whole.
    TRACE_TEXT("ERR ListDirectoryFiles(path)");
    return 0;
  }
  WIN32_FIND_DATA data;
  HANDLE search = plat::FindFirstFile(pattern, &data);
  if (!search) {
    // An unreadable configuration would make an empty backup that looks valid.
    const DWORD error = plat::GetLastError();
    if (!required && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) return 1;
    TRACE_TEXT("ERR ListDirectoryFiles(search)");
    return 0;
  }
  // The first entry (the "." of a subdirectory) is passed over unseen.
  while (plat::FindNextFile(search, &data)) {
    const char* name = data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      TraceLinkPassedOver(dir, name);
    } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      // A folder on its way (an extraction's, or one left by a killed call).
      if (plat::IsTemporaryName(name)) continue;
      char subdir[MAX_PATH];
      char subprefix[MAX_PATH];
      if (!FORMAT_PATH(subdir, "%s\\%s\\", dir, name) ||
          !FORMAT_PATH(subprefix, "%s/%s", prefix, name)) {
        TRACE_TEXT("ERR ListDirectoryFiles(path)");
        plat::FindClose(search);
        return 0;
      }
      if (!ListFolder(subdir, subprefix, stream, false)) {
        plat::FindClose(search);
        return 0;
      }
    } else if (IsListedFile(name)) {
      plat::fprintf(stream, "%s/%s\n", prefix, name);
    }
  }
  const bool whole = plat::SearchEnded();
  plat::FindClose(search);
  if (!whole) {
    TRACE_TEXT("ERR ListDirectoryFiles(search)");
    return 0;
  }
  return 1;
}

}  // namespace

int ListDirectoryFiles(const char* dir, const char* prefix, plat::Stream* stream) {
  return ListFolder(dir, prefix, stream, false);
}

int WriteBackupListFile() {
  char listPath[MAX_PATH];
  char configDir[MAX_PATH];
  if (!FORMAT_PATH(listPath, "%s%s", RootPath, "\\PLAXON\\TMP\\cnfbaklist") ||
      !FORMAT_PATH(configDir, "%s%s", RootPath, "\\PLAXON\\CONFIG\\")) {
    TRACE_TEXT("ERR fopen");
    return 0;
  }
  plat::Stream* stream = OpenGuardedStream(listPath, "w", plat::SH_DENYNO);
  if (!stream) {
    TRACE_TEXT("ERR fopen");
    return 0;
  }
  int result = ListFolder(configDir, "CONFIG", stream, true);
  bool writeFailed = plat::ferror(stream) != 0;
  int closed = plat::fclose(stream);
  exf_EndOpen(closed, stream, -1);
  // A list that did not reach the disk whole would make an archive that
  // silently lacks files.
  if (result && (writeFailed || closed != 0)) {
    TRACE_TEXT("ERR fwrite");
    return 0;
  }
  return result;
}

DWORD GetSerialNumber() {
  if (SerialNumberCache != 0) return SerialNumberCache;
  char configDir[MAX_PATH];
  if (!FORMAT_PATH(configDir, "%s%s", RootPath, "\\PLAXON\\CONFIG\\")) return 0;
  WORD error = 0;
  if (!dsvp_ApiGetSerialNumber(configDir, &SerialNumberCache, &error)) {
    SerialNumberCache = 0;
    TRACE_WORD(error);
  }
  return SerialNumberCache;
}

void ResetSerialNumberCache() { SerialNumberCache = 0; }

int GetFileDirectory(const char* path, char* out) {
  const char* afterDrive = path;
  char drive[3] = {};
  if (path[0] && path[1] == ':') {
    drive[0] = path[0];
    drive[1] = ':';
    afterDrive = path + 2;
  }
  const char* lastSep = nullptr;
  for (const char* p = afterDrive; *p; ++p)
    if (*p == '\\' || *p == '/') lastSep = p;
  if (!lastSep) {
    TRACE_CODE(0);
    return 0;
  }
  std::size_t dirLen = static_cast<std::size_t>(lastSep - afterDrive) + 1;
  std::size_t driveLen = std::strlen(drive);
  if (driveLen + dirLen >= MAX_PATH) {
    TRACE_CODE(0);
    return 0;
  }
  std::memcpy(out, drive, driveLen);
  std::memcpy(out + driveLen, afterDrive, dirLen);
  out[driveLen + dirLen] = '\0';
  return 1;
}

void CopyIntDataFiles(const char* root) {
  CreateConfigSubdirs(root);
  for (const char* name : kIntDataNames) {
    char from[MAX_PATH];
    char to[MAX_PATH];
    if (!FORMAT_PATH(from, "%s%s%s", root, "OTHERS\\INTDATA\\", name) ||
        !FORMAT_PATH(to, "%s%s%s", root, "Config\\", name)) {
      TRACE_TEXT("ERR CopyIntDataFiles(path)");
      continue;
    }
    CopyFileForced(from, to, 0);
  }
}

int CenterWindow(HWND window) {
  plat::RECT desktop{}, rect{};
  plat::GetWindowRect(plat::GetDesktopWindow(), &desktop);
  plat::GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int desktopWidth = desktop.right - desktop.left;
  int desktopHeight = desktop.bottom - desktop.top;
  plat::MoveWindow(window, desktopWidth / 2 - width / 2, desktopHeight / 2 - height / 2, width,
                   height, TRUE);
  return 1;
}

int CompareIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int left = std::tolower(static_cast<unsigned char>(*a));
    const int right = std::tolower(static_cast<unsigned char>(*b));
    if (left != right || left == 0) return left - right;
  }
}
