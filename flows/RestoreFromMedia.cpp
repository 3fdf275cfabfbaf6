// Restore of the configuration from the software medium: the controller
// names its model, which chooses the medium's directory; the archive is
// fetched into \PLAXON\TMP\ and unpacked over \PLAXON\.
#include "flows/RestoreFromMedia.h"

#include <cstring>
#include <memory>
#include <new>

#include "archive/CnfCmpDlg.h"
#include "common/CompressRequest.h"
#include "common/FlowLock.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "flows/FetchArchive.h"
#include "media/MediaSelection.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfProcess2.h"

TALVER_SOURCE_AT("CnfProcess", 6000)

const std::array<ModelEntry, kModelTableSize> ModelTable = {{
    {"6410", "P_AX"},
    {"6430", "Q_B1"},
    {"6470", "R_C2"},
    {"6470", "R_D"},
    {nullptr, nullptr},
    {"6470", "R_E"},
}};

namespace {

constexpr std::size_t kRestoreVersionSize = 32;
constexpr DWORD kRestorePromptMessage = 3683;
constexpr BYTE kPurposeSoftwareRestore = 4;
constexpr int kRestoreDoneMessage = 3188;

constexpr int kModelIndexCommand = 5;
constexpr int kModelIndexValue = 500;
constexpr DWORD kModelReplySize = 16;

// The paths of the restore, all below the software root.
struct RestorePaths {
  char workDirectory[MAX_PATH];
  char archive[MAX_PATH];
  char target[MAX_PATH];
  char versionSource[MAX_PATH];
};

bool FormRestorePaths(RestorePaths* p) {
  return FORMAT_PATH(p->workDirectory, "%s%s", RootPath, "\\PLAXON\\TMP\\") &&
         FORMAT_PATH(p->archive, "%s%s%s", RootPath, "\\PLAXON\\TMP\\", "svp_conf.tgz") &&
         FORMAT_PATH(p->target, "%s%s", RootPath, "\\PLAXON\\") &&
         FORMAT_PATH(p->versionSource, "%s%s", RootPath, "\\PLAXON\\CONFIG\\config.inf");
}

int FailRestore(HWND owner, WORD word, WORD* resultWord) {
  *resultWord = word;
  TRACE_WORD(word);
  ShowResultMessage(owner, word, 0);
  return 0;
}

// Looks the controller's model up: the texts the media selection forms the
// software medium's directory with.
int LookUpModel(HWND owner, WORD* resultWord) {
  TRACE_TEXT("Get Model Info");
  char line[256];
  TraceLine(TraceFormat(line, "Index=%d", 4));
  DWORD modelIndex = 0;
  if (!GetModelIndex(owner, &modelIndex, resultWord)) {
    TRACE_WORD(*resultWord);
    ShowResultMessage(owner, *resultWord, 0);
    return 0;
  }
  if (!ApplyModelIndex(modelIndex)) return FailRestore(owner, kWordFailure, resultWord);
  return 1;
}

int UnpackRestoredConfig(HWND owner, const RestorePaths& paths, WORD* resultWord) {
  TRACE_TEXT("Start Compress");
  char line[256];
  TraceLine(TraceFormat(line, "RootPath=%s, FilePath=%s", paths.target, paths.archive));
  if (!CompressDialog(owner, kArchiveExtractAll, 1, paths.archive, paths.target)) {
    TRACE_TEXT("ERR CompressDialog");
    *resultWord = kWordStepFailed;
    ShowResultMessage(owner, kWordStepFailed, 0);
    return 0;
  }
  return 1;
}

int RunRestore(HWND owner, MediaSelection* selection, WORD* restoreKind, char* newVersion,
               char* oldVersion, WORD* resultWord) {
  if (!LookUpModel(owner, resultWord)) return 0;
  RestorePaths paths;
  if (!FormRestorePaths(&paths)) return FailRestore(owner, kWordFailure, resultWord);

  TRACE_TEXT("Select Drive");
  int result = SelectMedia(owner, selection, 0, resultWord);
  if (result != 1) {
    TRACE_WORD(*resultWord);
    return result;
  }
  TRACE_TEXT("Get Config Data");
  result = FetchConfigArchive(owner, paths.workDirectory, selection, resultWord);
  if (result != 1) {
    TRACE_WORD(*resultWord);
    return result;
  }
  *restoreKind = kRestoreFromSoftwareMedium;
  ReadVersionText(paths.versionSource, oldVersion, kRestoreVersionSize);
  if (!UnpackRestoredConfig(owner, paths, resultWord)) return 0;

  ReadVersionText(paths.versionSource, newVersion, kRestoreVersionSize);
  char line[256];
  TraceLine(TraceFormat(line, "Media Remove (RootPath=%s)", paths.versionSource));
  ShowMessage(owner, 63, kRestoreDoneMessage, 20198, 1, 0x40);
  return 1;
}

}  // namespace

int ApplyModelIndex(DWORD modelIndex) {
  // The index is the controller's 32-bit word: one outside the table (also
  // one that reads as negative) never indexes it; were the bound wrong,
  // at() throws rather than read past the table.
  if (modelIndex >= kModelTableSize || !ModelTable.at(modelIndex).modelNumber) return 0;
  const ModelEntry& entry = ModelTable.at(modelIndex);
  return CopyBounded(ModelNumberText, sizeof ModelNumberText, entry.modelNumber) &&
         CopyBounded(SizeCodeText, sizeof SizeCodeText, entry.sizeCode);
}

int GetModelIndex(HWND /*owner*/, DWORD* modelIndex, WORD* resultWord) {
  BYTE reply[kModelReplySize] = {};
  DWORD status = 0;
  DWORD extra = 0;
  int answer = Svp_ExecGumTerminalCommunication(kModelIndexCommand, kModelIndexValue, reply,
                                                kModelReplySize, &status, &extra);
  if (answer == 0 && status == 0) {
    std::memcpy(modelIndex, reply, sizeof *modelIndex);
    return 1;
  }
  if (answer == 0 || answer == 1 || answer == 3)
    *resultWord = 0x0100;
  else if (answer == 2)
    *resultWord = 0x0400;
  else
    *resultWord = kWordFailure;
  return 0;
}

int RestoreConfigFromMedia(HWND owner, WORD* restoreKind, char* newVersion, char* oldVersion,
                           WORD* resultWord) {
  SelectionPurpose = kPurposeSoftwareRestore;
  std::unique_ptr<MediaSelection> selection(new (std::nothrow) MediaSelection{});
  if (!selection) return FailRestore(owner, kWordFailure, resultWord);
  selection->requestKind = kRequestRestore;
  selection->promptMessageId = kRestorePromptMessage;
  FlowLock lock;
  if (!lock.Take()) return FailRestore(owner, kWordStepFailed, resultWord);
  return RunRestore(owner, selection.get(), restoreKind, newVersion, oldVersion, resultWord);
}
