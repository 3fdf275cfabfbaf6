// Setup of the configuration in an SVP tree: the archive of the controller
// type from the configuration CD-R (chosen by key code) or a backup medium's
// archive is fetched into the tree's TMP\ and unpacked into the tree.
#include "flows/SetupInSvp.h"

#include <memory>
#include <new>

#include "archive/CnfCmpDlg.h"
#include "common/CompressRequest.h"
#include "common/FlowLock.h"
#include "common/Format.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "flows/FetchArchive.h"
#include "media/CnfSetupDlg.h"
#include "media/MediaSelection.h"
#include "validate/CnfImpKey.h"

TALVER_SOURCE_AT("CnfProcess", 7000)

namespace {

constexpr DWORD kSetupPromptMessage = 4040;
constexpr DWORD kSetupSourceMessage = 4061;
constexpr int kSetupDoneMessage = 4037;
constexpr char kFetchedArchive[] = "svp_conf.tgz";

// The end of a setup that did not get through: 2 for the operator's cancel.
WORD Abandon(WORD resultWord) {
  TRACE_WORD(resultWord);
  return resultWord == kWordCancelled ? 2 : 0;
}

// The configuration CD-R holds one archive per controller type, below
// PLAXON\CONFIG\ in a folder named by the type in hexadecimal.
int ChooseCdrArchive(HWND owner, const char* sourceRoot, MediaSelection* selection,
                     WORD* resultWord) {
  if (!AskKeyCode(owner, selection, resultWord)) return 0;
  const unsigned type = selection->config4.Config4TypeWord;
  if (!FORMAT_PATH(selection->archivePath, "%s%s%x\\%s", sourceRoot, "PLAXON\\CONFIG\\", type,
                   kFetchedArchive) ||
      !CopyBounded(selection->drivePath, sizeof selection->drivePath, sourceRoot)) {
    *resultWord = kWordFailure;
    ShowResultMessage(owner, kWordFailure, 0);
    return 0;
  }
  return 1;
}

int ChooseSetupArchive(HWND owner, BYTE setupSourceChoice, const char* sourceRoot,
                       MediaSelection* selection, WORD* resultWord) {
  if (setupSourceChoice == kSetupSourceCdr)
    return ChooseCdrArchive(owner, sourceRoot, selection, resultWord);
  return SelectMedia(owner, selection, 0, resultWord) == 1;
}

}  // namespace

WORD SetupConfigInSvp(HWND owner, const char* sourceRoot, const char* targetDir, WORD* resultWord) {
  std::unique_ptr<MediaSelection> selection(new (std::nothrow) MediaSelection{});
  if (!selection) {
    *resultWord = kWordFailure;
    TRACE_WORD(kWordFailure);
    ShowResultMessage(owner, kWordFailure, 0);
    return 0;
  }
  selection->requestKind = kRequestSetup;
  selection->promptMessageId = kSetupPromptMessage;
  FlowLock lock;
  if (!lock.Take()) {
    *resultWord = kWordStepFailed;
    TRACE_WORD(kWordStepFailed);
    ShowResultMessage(owner, kWordStepFailed, 0);
    return 0;
  }

  BYTE setupSourceChoice = kSetupSourceCdr;
  if (SelectSetupConfigDialog(owner, kSetupSourceMessage, &setupSourceChoice, resultWord) != 1)
    return Abandon(*resultWord);
  if (!ChooseSetupArchive(owner, setupSourceChoice, sourceRoot, selection.get(), resultWord))
    return Abandon(*resultWord);

  char workDirectory[MAX_PATH];
  char archive[MAX_PATH];
  if (!FORMAT_PATH(workDirectory, "%sTMP\\", targetDir) ||
      !FORMAT_PATH(archive, "%sTMP\\%s", targetDir, kFetchedArchive)) {
    *resultWord = kWordFailure;
    ShowResultMessage(owner, kWordFailure, 0);
    return Abandon(kWordFailure);
  }
  if (!FetchConfigArchive(owner, workDirectory, selection.get(), resultWord))
    return Abandon(*resultWord);
  if (!CompressDialog(owner, kArchiveExtractAll, 1, archive, targetDir)) {
    *resultWord = kWordStepFailed;
    TRACE_WORD(kWordStepFailed);
    return 0;
  }
  if (setupSourceChoice == kSetupSourceBackupMedium)
    ShowMessage(owner, 63, kSetupDoneMessage, 20198, 1, 0x40);
  return 1;
}
