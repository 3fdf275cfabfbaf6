#include "flows/RestoreFromBackupFile.h"

#include <cstdint>
#include <cstring>

#include "archive/CnfBakup.h"
#include "archive/CnfCmpDlg.h"
#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/CnfSelFileDlg.h"
#include "backupfile/CnfSimpleCnfReaderWriter.h"
#include "common/CnfFunc.h"
#include "common/CompressRequest.h"
#include "common/FlowLock.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "flows/CheckRestoredDkcf.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfConfirmSerialNoDlg.h"
#include "validate/CnfProcess2.h"

TALVER_SOURCE_AT("Talver", 1000)

namespace {

constexpr int kSelectFileMessage = 4700;
constexpr int kConfirmMessage = 4705;
constexpr int kMediaRemoveMessage = 3188;
constexpr UINT kInformationStyle = 0x40;
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;

// Table 63 holds the DKCF and the CFREV table files back to back; bytes
// after them are ignored.
constexpr int kTableNo63 = 63;
constexpr int kDkcfTableIndex = 9;
constexpr int kCfrevTableIndex = 54;
constexpr DWORD kCfrevSize = 32;
static_assert(kDkcfSize == 13088, "the DKCF part of table 63");

// The export's version buffers.
constexpr std::size_t kVersionSize = 32;

struct RestorePaths {
  char gpfmCopy[MAX_PATH];
  char lz4Dir[MAX_PATH];
  char table63[MAX_PATH];
  char tablesDir[MAX_PATH];
  char configInf[MAX_PATH];
};

bool FormRestorePaths(RestorePaths* p) {
  return FORMAT_PATH(p->gpfmCopy, "%s%s%s", RootPath, "\\PLAXON\\TMP\\", "bkcnf.gpfm") &&
         FORMAT_PATH(p->lz4Dir, "%s%s", RootPath, "\\PLAXON\\TMP\\LZ4\\") &&
         FORMAT_PATH(p->table63, "%s%s%d.lz4", RootPath, "\\PLAXON\\TMP\\LZ4\\", kTableNo63) &&
         FORMAT_PATH(p->tablesDir, "%s%s", RootPath, "\\PLAXON\\TMP\\TABLES\\") &&
         FORMAT_PATH(p->configInf, "%s%s", RootPath, "\\PLAXON\\CONFIG\\config.inf");
}

// A failed step: its trace text, the result word 0x4004 and its message.
int FailStep(HWND owner, int line, const char* text, WORD* resultWord, int result = 0) {
  TraceText(kTraceSource, line, text);
  *resultWord = kWordStepFailed;
  ShowResultMessage(owner, kWordStepFailed, 0);
  return result;
}
#define FAIL_STEP(text, ...) \
  FailStep(owner, TRACE_LINE, (text), resultWord __VA_OPT__(, ) __VA_ARGS__)

int SignedWord(WORD word) { return static_cast<std::int16_t>(word); }

// Removes the directory with everything in it and makes it again, empty.
void ClearDirectory(const char* dir) {
  Talver_DeleteDirectory(dir);
  plat::CreateDirectory(dir);
}

int ChooseBackupFile(HWND owner, char* path, WORD* resultWord) {
  int chosen = SelectBackupFile(owner, kSelectFileMessage, path, resultWord);
  if (chosen == kDialogOk) return 1;
  if (chosen == kDialogCancel) {
    TRACE_TEXT("Cancel");
    return 0;
  }
  char text[256];
  TRACE_TEXT(TraceFormat(text, "ERR CnfSelFileDataDialog Err=%d", SignedWord(*resultWord)));
  ShowResultMessage(owner, *resultWord, 0);
  return 0;
}

// Table 63 becomes the DKCF and CFREV table files of the tables directory
// and is then removed, so that the conversion does not take it for an LZ4
// block.
int SplitTableNo63(HWND owner, const RestorePaths& p, WORD* resultWord) {
  char text[256];
  char dkcfPath[MAX_PATH] = {};
  int named = GetTifFileInf(kDkcfTableIndex, p.tablesDir, 0, 0, dkcfPath, MAX_PATH, resultWord);
  if (named != 1) {
    return FAIL_STEP(TraceFormat(text, "ERR GetTifFileInf(DKCF) Err=%d", SignedWord(*resultWord)),
                     named);
  }
  if (!CnfSimpleCnfReaderWriter::CopyRange(p.table63, 0, kDkcfSize, dkcfPath))
    return FAIL_STEP("ERR MakeFile(DKCF)");

  char cfrevPath[MAX_PATH] = {};
  named = GetTifFileInf(kCfrevTableIndex, p.tablesDir, 0, 0, cfrevPath, MAX_PATH, resultWord);
  if (named != 1) {
    return FAIL_STEP(TraceFormat(text, "ERR GetTifFileInf(CFREV) Err=%d", SignedWord(*resultWord)),
                     named);
  }
  if (!CnfSimpleCnfReaderWriter::CopyRange(p.table63, kDkcfSize, kCfrevSize, cfrevPath))
    return FAIL_STEP("ERR MakeFile(CFREV)");

  if (!DeleteFileForced(p.table63)) return FAIL_STEP("ERR DeleteFile(TblNo63)");
  return 1;
}

int ConvertTables(HWND owner, const RestorePaths& p, WORD* resultWord) {
  TRACE_TEXT("Start Compress");
  char line[2 * MAX_PATH + 32];
  if (FORMAT_PATH(line, "RootPath=%s, FilePath=%s", p.tablesDir, p.lz4Dir)) TraceLine(line);
  if (CompressDialog2(owner, kArchiveTableConversion, 1, p.lz4Dir, p.tablesDir) != 1) {
    // Part of the tables is no configuration: none of them stays, the DKCF
    // and the CFREV of table 63 neither.
    ClearDirectory(p.tablesDir);
    return FAIL_STEP("ERR CompressDialog");
  }
  return 1;
}

// The check of the new DKCF; where a default serial number keeps it from
// deciding, the operator confirms. The result word of a confirmed check
// stays as the check left it.
int CheckNewConfiguration(HWND owner, WORD* resultWord) {
  int checked = CheckRestoredDkcf(resultWord);
  if (checked == 1) return 1;
  if (*resultWord != kWordDefaultSerial) {
    ShowResultMessage(owner, kWordBackupFileNotRestored, 0);
    TRACE_WORD(*resultWord);
    return checked;
  }
  int confirmed = AskConfirmConfigInfo(owner, kConfirmMessage, resultWord);
  if (confirmed == kDialogOk) return 1;
  if (confirmed == kDialogCancel) {
    TRACE_TEXT("Cancel");
    return 0;
  }
  char text[256];
  TRACE_TEXT(TraceFormat(text, "ERR CnfConfirmSerialNoDialog Err=%d", SignedWord(*resultWord)));
  ShowResultMessage(owner, *resultWord, 0);
  return 0;
}

// The old version from CONFIG.INF, the new one from the new DKCF. A text is
// handed on only when it was read, so that a failed read leaves "----".
int ReadVersions(HWND owner, const RestorePaths& p, char* newVersion, char* oldVersion,
                 char* dkcfPath, WORD* resultWord) {
  char text[kVersionSize] = {};
  if (!ReadVersionText(p.configInf, text, sizeof text)) return FAIL_STEP("ERR GetCNFINF OLD");
  std::memcpy(oldVersion, text, kVersionSize);

  if (GetTifFileInf(kDkcfTableIndex, p.tablesDir, 0, 0, dkcfPath, MAX_PATH, resultWord) != 1)
    return FAIL_STEP("ERR GetTifFileInf(DKCF)");
  std::memset(text, 0, sizeof text);
  if (!ReadContainerVersionText(dkcfPath, text, sizeof text))
    return FAIL_STEP("ERR GetDkcVerFromFxDkc NEW");
  std::memcpy(newVersion, text, kVersionSize);
  return 1;
}

void AskMediaRemove(HWND owner, const char* dkcfPath) {
  char line[MAX_PATH + 32];
  if (FORMAT_PATH(line, "Media Remove (RootPath=%s)", dkcfPath)) TraceLine(line);
  ShowMessage(owner, 63, kMediaRemoveMessage, 20198, 1, kInformationStyle);
}

}  // namespace

int RestoreConfigFromBackupFile(HWND owner, char* newVersion, char* oldVersion, WORD* resultWord) {
  FlowLock lock;
  if (!lock.Take()) return FAIL_STEP("ERR FlowLock");
  char chosenFile[MAX_PATH] = {};
  if (!ChooseBackupFile(owner, chosenFile, resultWord)) return 0;

  TRACE_TEXT("Get Config Data");
  RestorePaths p;
  if (!FormRestorePaths(&p)) return FAIL_STEP("ERR Copy File");
  int copied = CopyFileForced(chosenFile, p.gpfmCopy, 0);
  if (copied != 1) return FAIL_STEP("ERR Copy File", copied);

  ClearDirectory(p.lz4Dir);
  if (ParseGpfmFile(p.gpfmCopy, p.lz4Dir) != 1) return FAIL_STEP("ERR ParseGpfmFile");
  ClearDirectory(p.tablesDir);

  int split = SplitTableNo63(owner, p, resultWord);
  if (split != 1) return split;
  if (!ConvertTables(owner, p, resultWord)) return 0;

  int checked = CheckNewConfiguration(owner, resultWord);
  if (checked != 1) return checked;

  char dkcfPath[MAX_PATH] = {};
  if (!ReadVersions(owner, p, newVersion, oldVersion, dkcfPath, resultWord)) return 0;
  AskMediaRemove(owner, dkcfPath);
  return 1;
}
