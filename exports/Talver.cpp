// The exported functions and the frame each call runs in: root refresh,
// start and end trace lines, one operation with a result word, result.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "backupfile/AuditRecord.h"
#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "exports/Exports.h"
#include "exports/Operations.h"
#include "platform/Platform.h"
#include "resources/Resources.h"
#include "svpsvc/SvpServices.h"
#include "tar32/Tar32.h"

TALVER_SOURCE("Talver")

namespace {

// The version texts of a restore, as its flows read them.
constexpr std::size_t kRestoreVersionSize = 32;

// A call asked to stop (plat::RequestCallStop) ends as a cancel: its workers
// left at their next stop point and its questions were refused. A call that
// finished first keeps its result. True when the call ends stopped; the
// request is taken either way.
bool EndsStopped(int result, WORD* resultWord) {
  if (!plat::TakeCallStop() || result == 1) return false;
  TRACE_TEXT("Stopped on request");
  *resultWord = kWordCancelled;
  return true;
}

// The two backup exports turn a cancel into 2. The word is read only after
// the operation has returned (never in the same call that runs it).
int BackupResult(int result, WORD resultWord) {
  if (result != 0) return result;
  TRACE_WORD(resultWord);
  return resultWord == kWordCancelled ? 2 : 0;
}

}  // namespace

// Process attach: keep the instance handle; the archiver never switches the
// mouse cursor. On Windows the loader calls it as the DLL's entry point; on
// this machine as a constructor.
extern "C" int TalverDllMain(void* module, DWORD reason, void* /*reserved*/) {
  if (reason == 1) {
    ModuleInstance = static_cast<HINSTANCE>(module);
    RegisterModuleResources();
    TarSetCursorMode(0);
  }
  return 1;
}

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  return TalverDllMain(module, reason, reserved);
}
#else
namespace {
__attribute__((constructor)) void OnProcessAttach() {
  TalverDllMain(reinterpret_cast<void*>(&OnProcessAttach), 1, nullptr);
}
}  // namespace
#endif

WORD dsvp_TalverRancher(HWND owner) {
  RefreshRootPath();
  TRACE_TEXT("Rancher Start");
  ShowMessage(owner, 63, 4701, 20198, 1, 0x40);
  TRACE_TEXT("Rancher Close");
  return 1;
}

int dsvp_TalverBackup(HWND owner) {
  RefreshRootPath();
  TRACE_TEXT("Config Backup Start");
  WORD resultWord = 0;
  int result = Talver_BackupConfigToMedia(owner, &resultWord);
  if (EndsStopped(result, &resultWord)) result = 0;
  result = BackupResult(result, resultWord);
  TRACE_TEXT("Config Backup END");
  return result;
}

int dsvp_TalverIsUncompressed(HWND owner, const char* archivePath, const char* targetDir) {
  RefreshRootPath();
  TRACE_TEXT("Uncompressed Start");
  int result = 0;
  if (!PathExists(archivePath)) {
    TRACE_TEXT("ERR INVALID_HANDLE_VALUE");
  } else if (!PathExists(targetDir)) {
    TRACE_TEXT("ERR INVALID_HANDLE_VALUE");
  } else {
    result = Talver_ConfigIsUncompressed(owner, archivePath, targetDir);
    if (result == 0) TRACE_TEXT("ERR Talver_ConfigIsUncompressed");
  }
  WORD stopped = 0;
  if (EndsStopped(result, &stopped)) TRACE_WORD(stopped);
  TRACE_TEXT("Uncompressed END");
  return result;
}

int dsvCnf_ConfigIsUpdate(void) { return 1; }

int dsvCnf_ConfigIsHddBackup(HWND owner, DWORD mode, WORD* resultWord) {
  RefreshRootPath();
  TRACE_TEXT("Config HDD Backup Start");
  DWORD waitWindow = 0;
  DWORD display = 0;
  if (mode == 1)
    waitWindow = dsvp_ApiOpenWaitWindow(owner, 0, "Backup Configuration...", "TALVER Wait...");
  else if (mode == 2)
    display = 1;
  char archivePath[MAX_PATH] = {};
  int result = Talver_HddBacukupConfig(owner, archivePath, display, resultWord);
  EndsStopped(result, resultWord);
  if (result == 0) TRACE_WORD(*resultWord);
  char marker[MAX_PATH];
  if (FORMAT_PATH(marker, "%s%s", RootPath, "\\PLAXON\\OTHERS\\BACKUP\\cnfbkdir.tmp"))
    DeleteFileForced(marker);
  if (waitWindow != 0) dsvp_ApiCloseWaitWindow(waitWindow);
  TRACE_TEXT("Config HDD Backup END");
  return result;
}

void dsvCnf_ConfigUpdateTo2ndSVP(void) {
  RefreshRootPath();
  TRACE_TEXT("ConfigUpdateTo2ndSVP Start");
  int failures = 0;
  for (;;) {
    WORD resultWord = 0;
    if (UpdateConfigTo2ndSvp(&resultWord) == 1) break;
    if (EndsStopped(0, &resultWord)) {
      TRACE_WORD(resultWord);
      break;
    }
    TRACE_WORD(resultWord);
    ++failures;
    if (failures > 5) {
      TRACE_CODE(failures);
      break;
    }
  }
  TRACE_TEXT("ConfigUpdateTo2ndSVP END");
}

WORD dsvCnf_SetupConfigInSVP(HWND owner, const char* sourceRoot, const char* targetDir) {
  RefreshRootPath();
  TRACE_TEXT("SetupConfigInSVP Start");
  WORD resultWord = 0;
  WORD result = SetupConfigInSvp(owner, sourceRoot, targetDir, &resultWord);
  if (EndsStopped(result, &resultWord)) result = 2;
  if (result != 1) TRACE_WORD(resultWord);
  TRACE_TEXT("SetupConfigInSVP END");
  return result;
}

int dsvCnf_CheckConfigFile(const char* archivePath, DWORD selector, WORD* resultWord) {
  RefreshRootPath();
  TRACE_TEXT("Check Config File Start");
  int result = CheckConfigFileArchive(archivePath, selector, resultWord);
  if (result == 0) TRACE_TEXT("ERR");
  TRACE_TEXT("Check Config File END");
  return result;
}

int dsvp_TalverIsCompressed(void) {
  RefreshRootPath();
  TRACE_TEXT("Compressed Start");
  TRACE_TEXT("Compressed END");
  return 1;
}

int dsvCnf_GetStrConfigType(char* typeText, WORD* resultWord) {
  RefreshRootPath();
  auto* record = static_cast<BYTE*>(std::calloc(1, 32));
  if (!record) {
    *resultWord = kWordFailure;
    TRACE_CODE(kWordFailure);
    return 0;
  }
  char path[MAX_PATH];
  int result = 0;
  if (!FORMAT_PATH(path, "%s%s", RootPath, "\\Plaxon\\Config\\config4")) {
    *resultWord = kWordFailure;
    TRACE_CODE(kWordFailure);
  } else if (!ReadConfig4File(path, record, resultWord)) {
    TRACE_WORD(*resultWord);
    *resultWord = kWordFailure;
  } else {
    unsigned type = static_cast<unsigned>(record[10] | (record[11] << 8));
    std::snprintf(typeText, 5, "%.4X", type);
    result = 1;
  }
  std::free(record);
  return result;
}

int talver_ReadConfig4(const char* fileName, BYTE* record32) {
  return ReadConfig4Record(fileName, record32);
}

WORD _WEP_4(WORD /*value*/) { return 1; }

int WEP(int value) { return dsvp_WEP(value); }

int dsvCnf_OffSvpAllConf(HWND owner, WORD mode, DWORD modelSelector) {
  RefreshRootPath();
  TRACE_TEXT("Config Backup Start");
  WORD resultWord = 0;
  int result = (mode == 0 || mode == 2)
                   ? Talver_OffSvpBackupByModel(owner, modelSelector, mode, &resultWord)
                   : Talver_BackupConfigToMedia(owner, &resultWord);
  if (EndsStopped(result, &resultWord)) result = 0;
  result = BackupResult(result, resultWord);
  TRACE_TEXT("Config Backup END");
  return result;
}

// Both restores leave an audit record on every path but a cancel, with the
// version texts as far as the flow got to read them.
int dsvCnf_RestoreConf(HWND owner, WORD* restoreKind, WORD* resultWord) {
  TRACE_TEXT("Start dsvCnf_RestoreConf");
  char newVersion[kRestoreVersionSize];
  char oldVersion[kRestoreVersionSize];
  ResetVersionText(newVersion, sizeof newVersion);
  ResetVersionText(oldVersion, sizeof oldVersion);
  RefreshRootPath();
  int result = RestoreConfigFromMedia(owner, restoreKind, newVersion, oldVersion, resultWord);
  if (EndsStopped(result, resultWord)) TRACE_WORD(*resultWord);
  WriteAuditRecord(kAuditNewInstallation, newVersion, oldVersion, result, *resultWord);
  TRACE_TEXT("End dsvCnf_RestoreConf");
  return result;
}

int dsvCnf_RestoreConf2(HWND owner, WORD* resultWord) {
  TRACE_TEXT("Start dsvCnf_RestoreConf2");
  char newVersion[kRestoreVersionSize];
  char oldVersion[kRestoreVersionSize];
  ResetVersionText(newVersion, sizeof newVersion);
  ResetVersionText(oldVersion, sizeof oldVersion);
  RefreshRootPath();
  int result = RestoreConfigFromBackupFile(owner, newVersion, oldVersion, resultWord);
  if (EndsStopped(result, resultWord)) TRACE_WORD(*resultWord);
  WriteAuditRecord(kAuditNewInstallation, newVersion, oldVersion, result, *resultWord);
  TRACE_TEXT("End dsvCnf_RestoreConf2");
  return result;
}
