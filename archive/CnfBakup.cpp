// HDD backup: a new timestamped folder below \PLAXON\OTHERS\BACKUP\ holding
// svp_conf.tgz, made by the archiver on a watched worker thread, copied into
// the DIFF folder; at most 100 valid backups are kept.
#include "archive/CnfBakup.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/CnfCmpThd.h"
#include "common/CnfFunc.h"
#include "common/FlowLock.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"
#include "platform/Temporary.h"
#include "svpsvc/SvpServices.h"
#include "tar32/Tar32.h"

TALVER_SOURCE("CnfBakup")

namespace {

// 0 running, 1 the archiver succeeded, -1 it failed.
std::atomic<std::int32_t> BackupThreadState{0};

constexpr int kWaitsPerAttempt = 60;
constexpr int kMaxAttempts = 2;

// One entry of the backup root as the scan hands it on: a folder (never "."
// or ".."), its system path ("" when the name makes no path that fits) and
// whether it holds a backup that counts.
struct ScannedFolder {
  const WIN32_FIND_DATA* data;
  char path[MAX_PATH];
  char archive[MAX_PATH];
  bool valid;
};

// The one scan of the backup root, which the retention counts by, the
// removal of interrupted backups walks and svpconf backups lists: every
// folder below the root in the order of the search, valid when it holds a
// non-empty svp_conf.tgz (so a linked folder, whose archive cannot be
// searched, never is).
enum class Scan { kNotStarted, kCutShort, kWhole };
template <typename Visit>
Scan ScanBackupRoot(Visit&& visit) {
  char pattern[MAX_PATH];
  if (!FORMAT_PATH(pattern, "%s\\plaxon\\others\\backup\\*.*", RootPath)) return Scan::kNotStarted;
  WIN32_FIND_DATA data;
  plat::ScopedFind find(pattern, &data);
  if (!find) return Scan::kNotStarted;
  for (bool more = true; more; more = find.Next(&data)) {
    const char* name = data.cFileName;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || std::strcmp(name, ".") == 0 ||
        std::strcmp(name, "..") == 0)
      continue;
    ScannedFolder folder{&data, {}, {}, false};
    if (FORMAT_PATH(folder.path, "%s%s%s", RootPath, "\\PLAXON\\OTHERS\\BACKUP\\", name) &&
        FORMAT_PATH(folder.archive, "%s\\svp_conf.tgz", folder.path))
      folder.valid = TalVer_FindFile(folder.archive, 1) != 0;
    else
      folder.path[0] = '\0';
    visit(folder);
  }
  // A search cut short knows neither the oldest backup nor the count.
  return plat::SearchEnded() ? Scan::kWhole : Scan::kCutShort;
}

// The retention's view of the scan. `exclude` (may be null) names a backup
// that is counted but never chosen as the oldest: the one just made.
int FindBackupDirectoryExcept(char* pathOut, WORD* count, WORD which, const char* exclude) {
  char oldest[MAX_PATH] = {};
  char newest[MAX_PATH] = {};
  bool haveOldest = false, haveNewest = false;
  WORD n = 0;
  const Scan scan = ScanBackupRoot([&](const ScannedFolder& folder) {
    const char* name = folder.data->cFileName;
    if (!folder.valid) {
      TRACE_TEXT("WARNING DIR");
      return;
    }
    bool excluded = exclude && CompareIgnoringCase(name, exclude) == 0;
    if (!excluded && (!haveOldest || CompareIgnoringCase(oldest, name) > 0)) {
      std::snprintf(oldest, sizeof oldest, "%s", name);
      haveOldest = true;
    }
    if (!haveNewest || CompareIgnoringCase(newest, name) < 0) {
      std::snprintf(newest, sizeof newest, "%s", name);
      haveNewest = true;
    }
    ++n;
  });
  if (scan != Scan::kWhole) {
    TRACE_TEXT("ERR Not DIR");
    // A search that never started leaves the count as it was.
    if (scan == Scan::kCutShort) *count = n;
    return 0;
  }
  if (!FormatBounded(pathOut, MAX_PATH, "%s\\plaxon\\others\\backup\\%s", RootPath,
                     which == 1 ? newest : oldest))
    TRACE_TEXT("ERR Talver_FindBackupDirectory(path)");
  *count = n;
  return n > 0 ? 1 : 0;
}

// Runs the archiver on a worker, at most twice, each within 60 timed waits.
// 1 when the archive was made; 0 with the result word set otherwise. Every
// attempt that started a worker closes its handle before the next attempt
// or the return, whatever the worker's outcome.
int RunBackupWorker(BackupThreadRecord* record, WORD* resultWord) {
  for (int attempts = 0;; ++attempts) {
    if (attempts > kMaxAttempts - 1) {
      TRACE_TEXT("Talver_HddBacukupConfig(Timeout)");
      *resultWord = kWordStepFailed;
      return 0;
    }
    BackupThreadState = 0;
    HANDLE thread = plat::CreateThread(Talver_CnfBackupThread, record);
    if (!thread) {
      TRACE_TEXT("Talver_HddBacukupConfig(hThread==NULL)");
      dsvp_ApiWaitTimer2(record->ownerWindow, 1, 5, resultWord);
      continue;
    }
    std::int32_t state = 0;
    for (int wait = 0; wait < kWaitsPerAttempt && state == 0; ++wait) {
      dsvp_ApiWaitTimer2(record->ownerWindow, 1, 5, resultWord);
      state = BackupThreadState;
    }
    if (state != 0) {
      // The worker has set its final state and is leaving; let it go first.
      plat::WaitForSingleObject(thread, INFINITE);
      plat::CloseHandle(thread);
      if (state == 1) {
        TraceLine("compress(done)");
        return 1;
      }
      TRACE_TEXT("Talver_HddBacukupConfig(Failure)");
      *resultWord = kWordStepFailed;
      return 0;
    }
    BOOL stopped = plat::TerminateThread(thread, 0);
    dsvp_ApiWaitTimer2(record->ownerWindow, 1, 5, resultWord);
    char line[128];
    std::snprintf(line, sizeof line, "[Retry]Terminate(Talver_CnfBackupThread)==%s",
                  stopped ? "TRUE" : "FALSE");
    TRACE_TEXT(line);
    plat::CloseHandle(thread);
    if (!stopped) {
      // A worker that could not be stopped still writes the archive; a
      // second archiver over the same files would corrupt it.
      TRACE_TEXT("Talver_HddBacukupConfig(Timeout)");
      *resultWord = kWordStepFailed;
      return 0;
    }
  }
}

// Keeps at most 100 valid backups, deleting the oldest; the backup just made
// is never the one deleted. 1, or 0 when the backup root cannot be scanned.
int ApplyRetention(const char* newStamp) {
  char path[MAX_PATH] = {};
  WORD count = 0;
  if (!FindBackupDirectoryExcept(path, &count, 2, newStamp)) {
    TRACE_TEXT("ERR CompressDialog");
    return 0;
  }
  while (count > kBackupRetentionLimit) {
    char deleted[MAX_PATH];
    std::snprintf(deleted, sizeof deleted, "%s", path);
    WORD before = count;
    Talver_DeleteDirectory(path);
    std::memset(path, 0, sizeof path);
    if (!FindBackupDirectoryExcept(path, &count, 2, newStamp)) {
      TRACE_TEXT("ERR CompressDialog");
      return 0;
    }
    if (count >= before && CompareIgnoringCase(path, deleted) == 0) {
      // The oldest backup could not be removed (a locked file): stop here
      // rather than try it again without end.
      TRACE_TEXT("ERR Talver_DeleteDirectory(retention stopped)");
      break;
    }
  }
  return 1;
}

// The archiver's create command of the backup: the archive, the PLAXON
// folder and the backup list, each quoted when it holds a blank.
bool FormatBackupCommand(char (&commandLine)[sizeof BackupThreadRecord::commandLine],
                         const char* archive, DWORD display) {
  char directory[MAX_PATH], listPath[MAX_PATH];
  CommandArgument archiveArgument, directoryArgument, listArgument;
  return FORMAT_PATH(directory, "%s\\PLAXON\\", RootPath) &&
         FORMAT_PATH(listPath, "%s%s", RootPath, "\\PLAXON\\TMP\\cnfbaklist") &&
         FormatArgument(archiveArgument, "", archive) &&
         FormatArgument(directoryArgument, "", directory) &&
         FormatArgument(listArgument, "@", listPath) &&
         FORMAT_PATH(commandLine, "--display-dialog=%d cvfZ %s %s %s", static_cast<int>(display),
                     archiveArgument, directoryArgument, listArgument);
}

// True when the backup folder holds a temporary of its own.
bool HoldsTemporary(const char* folder) {
  char pattern[MAX_PATH];
  if (!FORMAT_PATH(pattern, "%s\\*", folder)) return false;
  WIN32_FIND_DATA data;
  plat::ScopedFind find(pattern, &data);
  for (bool more = static_cast<bool>(find); more; more = find.Next(&data))
    if (plat::IsTemporaryName(data.cFileName)) return true;
  return false;
}

// The stamp a marker left by an earlier backup names; empty without one.
// Under the flow's hold no other backup is under way, so a marker found now
// is that of a backup that never ended.
void ReadLeftMarker(char (&stamp)[16]) {
  stamp[0] = '\0';
  char marker[MAX_PATH];
  if (!FORMAT_PATH(marker, "%s%s", RootPath, "\\PLAXON\\OTHERS\\BACKUP\\cnfbkdir.tmp") ||
      !TalVer_FindFile(marker, 1))
    return;
  plat::Stream* stream = OpenGuardedStream(marker, "r", plat::SH_DENYNO);
  if (!stream) return;
  char text[32] = {};
  if (!plat::fgets(text, sizeof text, stream)) text[0] = '\0';
  CloseGuardedStream(stream);
  if (std::strlen(text) == 14 && std::strspn(text, "0123456789") == 14)
    std::memcpy(stamp, text, 15);
}

// Whether a folder of the scan is what an interrupted backup (killed, power
// lost) left: no archive that counts, no link, and a temporary the archiver
// left or the marker of the interrupted run naming it. A folder with a whole
// archive is none, and neither is any folder that no backup made.
bool IsInterrupted(const ScannedFolder& folder, const char* leftStamp) {
  return !folder.valid && folder.path[0] &&
         !(folder.data->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (HoldsTemporary(folder.path) ||
          (leftStamp[0] && CompareIgnoringCase(folder.data->cFileName, leftStamp) == 0));
}

// Removes the folders of interrupted backups.
void RemoveInterruptedBackups() {
  char leftStamp[16];
  ReadLeftMarker(leftStamp);
  std::vector<std::string> interrupted;
  ScanBackupRoot([&](const ScannedFolder& folder) {
    if (IsInterrupted(folder, leftStamp)) interrupted.emplace_back(folder.path);
  });
  for (const std::string& folder : interrupted) {
    TRACE_TEXT("Interrupted backup removed");
    TRACE_TEXT(folder.c_str());
    Talver_DeleteDirectory(folder.c_str());
  }
}

}  // namespace

int Talver_GetLocalTime(char* stamp) {
  SYSTEMTIME t;
  plat::GetLocalTime(&t);
  char text[64];
  std::snprintf(text, sizeof text, "%.4d%.2d%.2d%.2d%.2d%.2d", t.wYear % 10000, t.wMonth % 100,
                t.wDay % 100, t.wHour % 100, t.wMinute % 100, t.wSecond % 100);
  std::memcpy(stamp, text, 15);
  return 1;
}

int Talver_WriteBackupDirFile(const char* stamp) {
  char marker[MAX_PATH];
  plat::Stream* stream = nullptr;
  if (FORMAT_PATH(marker, "%s%s", RootPath, "\\PLAXON\\OTHERS\\BACKUP\\cnfbkdir.tmp"))
    stream = OpenGuardedStream(marker, "w", plat::SH_DENYNO);
  if (!stream) {
    TRACE_TEXT("ERR fopen");
    return 0;
  }
  plat::fputs(stamp, stream);
  CloseGuardedStream(stream);
  return 1;
}

int Talver_CreateBackupDirectory(const char* stamp) {
  char dir[MAX_PATH];
  if (!FORMAT_PATH(dir, "%s\\plaxon\\others\\backup\\%s", RootPath, stamp)) return 0;
  return plat::CreateDirectory(dir);
}

int Talver_FindBackupDirectory(char* pathOut, WORD* count, WORD which) {
  return FindBackupDirectoryExcept(pathOut, count, which, nullptr);
}

int Talver_ListBackupDirectories(void (*each)(const BackupFolder& folder, void* context),
                                 void* context) {
  char leftStamp[16];
  ReadLeftMarker(leftStamp);
  const Scan scan = ScanBackupRoot([&](const ScannedFolder& scanned) {
    BackupFolder folder{};
    CopyBounded(folder.name, sizeof folder.name, scanned.data->cFileName);
    folder.valid = scanned.valid;
    if (folder.valid) plat::GetFileSizeByName(scanned.archive, &folder.archiveSize);
    folder.interrupted = IsInterrupted(scanned, leftStamp);
    each(folder, context);
  });
  if (scan == Scan::kCutShort) return -1;
  return scan == Scan::kWhole ? 1 : 0;
}

int Talver_DeleteDirectory(const char* path) {
  char pattern[MAX_PATH];
  if (!FORMAT_PATH(pattern, "%s\\*.*", path)) return 1;
  WIN32_FIND_DATA data;
  HANDLE search = plat::FindFirstFile(pattern, &data);
  if (!search) return 1;
  while (plat::FindNextFile(search, &data)) {
    const char* name = data.cFileName;
    char entry[MAX_PATH];
    if (!FORMAT_PATH(entry, "%s\\%s", path, name)) continue;
    const DWORD linkedFolder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((data.dwFileAttributes & linkedFolder) == linkedFolder) {
      // A link goes itself, never followed: the folder it points at lies
      // outside the backup. A link to a file goes below like a file.
      plat::RemoveDirectory(entry);
    } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      if (!Talver_DeleteDirectory(entry)) {
        TRACE_TEXT("ERR Talver_DeleteDirectory");
        plat::FindClose(search);
        return 0;
      }
    } else {
      plat::SetFileAttributes(entry, FILE_ATTRIBUTE_NORMAL);
      DeleteFileForced(entry);
    }
  }
  plat::FindClose(search);
  plat::RemoveDirectory(path);
  return 1;
}

void Talver_CnfBackupThread(void* arg) {
  auto* record = static_cast<BackupThreadRecord*>(arg);
  char output[256];
  int code = Tar(0, record->commandLine, output, sizeof output);
  // A worker that was terminated does nothing more: the watch has moved on.
  if (plat::StopRequested()) return;
  if (code == 0) {
    BackupThreadState = 1;
  } else {
    TRACE_CODE(code);
    BackupThreadState = -1;
  }
}

int Talver_HddBacukupConfig(HWND owner, char* archivePathOut, DWORD display, WORD* resultWord) {
  *resultWord = 0;
  FlowLock lock;
  if (!lock.Take()) {
    *resultWord = kWordStepFailed;
    return 0;
  }
  RemoveInterruptedBackups();
  char stamp[16] = {};
  Talver_GetLocalTime(stamp);
  Talver_WriteBackupDirFile(stamp);
  if (!Talver_CreateBackupDirectory(stamp)) {
    TRACE_TEXT("ERR Talver_CreateBackupDirectory");
    return 0;
  }
  char backupDir[MAX_PATH], archive[MAX_PATH], staleInner[MAX_PATH];
  if (!FORMAT_PATH(backupDir, "%s\\plaxon\\others\\backup\\%s", RootPath, stamp) ||
      !FORMAT_PATH(archive, "%s\\svp_conf.tgz", backupDir) ||
      !FORMAT_PATH(staleInner, "%s%s%s", RootPath, "\\", "PLAXON\\CONFIG\\svp_conf.tgz")) {
    TRACE_TEXT("ERR Talver_HddBacukupConfig(path)");
    *resultWord = kWordStepFailed;
    return 0;
  }
  DeleteFileForced(staleInner);
  if (!WriteBackupListFile()) {
    TRACE_CODE(1);
    *resultWord = kWordStepFailed;
    return 0;
  }
  BackupThreadRecord record{};
  record.ownerWindow = owner;
  if (!FormatBackupCommand(record.commandLine, archive, display)) {
    TRACE_TEXT("ERR Talver_HddBacukupConfig(command)");
    *resultWord = kWordStepFailed;
    return 0;
  }
  if (!RunBackupWorker(&record, resultWord)) return 0;

  char diffDir[MAX_PATH], diffCopy[MAX_PATH];
  if (!FORMAT_PATH(diffDir, "%s%s", RootPath, "\\PLAXON\\\\DIFF\\") ||
      !FORMAT_PATH(diffCopy, "%s%s%s", RootPath, "\\PLAXON\\\\DIFF\\", "svp_conf.tgz")) {
    TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  plat::CreateDirectory(diffDir);
  plat::RemoveTemporariesIn(diffDir);
  if (!CopyFileForced(archive, diffCopy, 0)) {
    TRACE_CODE(plat::GetLastError());
    return 0;
  }
  // The new folder's name is durable before the oldest backup goes.
  char backupRoot[MAX_PATH];
  if (FORMAT_PATH(backupRoot, "%s\\plaxon\\others\\backup", RootPath))
    plat::FlushFolder(backupRoot);
  if (!ApplyRetention(stamp)) return 0;
  std::snprintf(archivePathOut, MAX_PATH, "%s", archive);
  return 1;
}
