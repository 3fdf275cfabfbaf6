#include "flows/BackupToMedia.h"

#include <memory>
#include <new>

#include "archive/CnfCmpDlg.h"
#include "backupfile/AuditRecord.h"
#include "common/FlowLock.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "flows/BackupVolumes.h"
#include "validate/CnfProcess2.h"

TALVER_SOURCE_AT("CnfProcess", 1000)

namespace {

constexpr std::size_t kBackupVersionSize = 32;

// Packs the configuration tree into \PLAXON\TMP\svp_conf.tgz.
int PackConfiguration(HWND owner, ArchiveFileInfo* info, WORD* resultWord) {
  char directory[MAX_PATH];
  if (FORMAT_PATH(info->path, "%s%s%s", RootPath, "\\PLAXON\\TMP\\", "svp_conf.tgz") &&
      FORMAT_PATH(directory, "%s%s", RootPath, "\\PLAXON\\") &&
      Talver_BackupConfigDialog(owner, 4, 1, info->path, directory))
    return 1;
  TRACE_TEXT("ERR Talver_BackupConfigDialog");
  *resultWord = kWordStepFailed;
  ShowResultMessage(owner, kWordStepFailed, 0);
  return 0;
}

int BackUp(HWND owner, BackupTarget* target, ArchiveFileInfo* info, char* newVersion,
           WORD* resultWord) {
  // \PLAXON\TMP\svp_conf.tgz is written and copied: one caller at a time.
  FlowLock lock;
  if (!lock.Take()) {
    *resultWord = kWordStepFailed;
    ShowResultMessage(owner, kWordStepFailed, 0);
    return 0;
  }
  if (PrepareBackupMedia(owner, target, 0, resultWord) != 1) {
    TRACE_WORD(*resultWord);
    return 0;
  }
  if (!PackConfiguration(owner, info, resultWord)) return 0;
  if (WriteBackupVolumes(owner, info, target, resultWord) != 1) {
    TRACE_WORD(*resultWord);
    return 0;
  }
  char configInf[MAX_PATH];
  if (FORMAT_PATH(configInf, "%s%s", RootPath, "\\PLAXON\\CONFIG\\config.inf"))
    ReadVersionText(configInf, newVersion, kBackupVersionSize);
  ShowMessage(owner, 63, 3188, 20198, 1, 0x40);
  return 1;
}

}  // namespace

int Talver_BackupConfigToMedia(HWND owner, WORD* resultWord) {
  char newVersion[kBackupVersionSize];
  char oldVersion[kBackupVersionSize];
  ResetVersionText(newVersion, sizeof newVersion);
  ResetVersionText(oldVersion, sizeof oldVersion);
  std::unique_ptr<BackupTarget> target(new (std::nothrow) BackupTarget{});
  std::unique_ptr<ArchiveFileInfo> info(new (std::nothrow) ArchiveFileInfo{});
  int result = 0;
  if (!target || !info) {
    *resultWord = kWordFailure;
    TRACE_WORD(kWordFailure);
    ShowResultMessage(owner, kWordFailure, 0);
  } else {
    result = BackUp(owner, target.get(), info.get(), newVersion, resultWord);
  }
  WriteAuditRecord(kAuditBackupConfig, newVersion, oldVersion, result, *resultWord);
  return result;
}
