#include "flows/InstallByModel.h"

#include <cstdint>
#include <memory>
#include <new>

#include "archive/CnfCmpDlg.h"
#include "common/FlowLock.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "flows/FetchArchive.h"
#include "media/MediaSelection.h"
#include "validate/CnfImpKey.h"

TALVER_SOURCE_AT("CnfProcess", 5000)

namespace {

struct ModelSelector {
  std::int16_t selector;
  const char* modelNumber;
  const char* sizeCode;
};

constexpr ModelSelector kModelSelectors[] = {
    {1, "6410", "P_F0"}, {2, "6470", "R_D"},  {4, "6470", "R_E"},
    {6, "6430", "Q_B1"}, {7, "6470", "R_C2"},
};

constexpr DWORD kInstallPrompt = 3683;

int SetModelTexts(std::int16_t selector) {
  for (const ModelSelector& row : kModelSelectors) {
    if (row.selector != selector) continue;
    CopyBounded(ModelNumberText, sizeof ModelNumberText, row.modelNumber);
    CopyBounded(SizeCodeText, sizeof SizeCodeText, row.sizeCode);
    return 1;
  }
  return 0;
}

void TraceModelInfo() {
  char text[256];
  TraceLine(TraceFormat(text, "%s(%d) Model Info %s(%s)", kTraceSource, TRACE_LINE, ModelNumberText,
                        SizeCodeText));
}

// The software medium's folder of the chosen controller type: the type's two
// hexadecimal digits take the place of the type text in the model folder.
int AdjustArchivePathToType(MediaSelection* selection) {
  const WORD type = selection->config4.Config4TypeWord;
  if (!FORMAT_PATH(TypeHexText, "%02x", type & 0xFF) ||
      !FORMAT_PATH(selection->archivePath, "%s%s\\%s\\%s%s\\%s", selection->drivePath, "software",
                   SizeCodeText, ModelNumberText, TypeHexText, "svp_conf.tgz"))
    return 0;
  char text[256];
  TraceLine(
      TraceFormat(text, "%s(%d) szFils = %s\n", kTraceSource, TRACE_LINE, selection->archivePath));
  return 1;
}

int Install(HWND owner, MediaSelection* selection, WORD mode, WORD* resultWord) {
  selection->requestKind = mode != 0 ? kRequestInstallMode2 : kRequestInstallMode0;
  selection->promptMessageId = kInstallPrompt;
  int result = SelectMedia(owner, selection, 0, resultWord);
  if (result != 1) {
    TRACE_WORD(*resultWord);
    return result;
  }
  selection->requestKind = kRequestBackupVolumes;
  selection->promptMessageId = kInstallPrompt;
  if (selection->MediaKind == kMediaSoftware) {
    result = AskKeyCode(owner, selection, resultWord);
    if (result != 1) {
      TRACE_WORD(*resultWord);
      return result;
    }
    if (!AdjustArchivePathToType(selection)) {
      *resultWord = kWordFailure;
      TRACE_WORD(kWordFailure);
      return 0;
    }
  }
  char work[MAX_PATH];
  char archive[MAX_PATH];
  char target[MAX_PATH];
  if (!FORMAT_PATH(work, "%s%s", RootPath, "\\PLAXON\\TMP\\") ||
      !FORMAT_PATH(archive, "%s%s", work, "svp_conf.tgz") ||
      !FORMAT_PATH(target, "%s%s", RootPath, "\\PLAXON\\")) {
    *resultWord = kWordFailure;
    TRACE_WORD(kWordFailure);
    return 0;
  }
  result = FetchConfigArchive(owner, work, selection, resultWord);
  if (result != 1) {
    TRACE_WORD(*resultWord);
    return result;
  }
  if (!CompressDialog(owner, 1, 1, archive, target)) {
    *resultWord = kWordStepFailed;
    TRACE_WORD(kWordStepFailed);
    return 0;
  }
  ShowMessage(owner, 63, 3188, 20198, 1, 0x40);
  return 1;
}

}  // namespace

int Talver_OffSvpBackupByModel(HWND owner, DWORD modelSelector, WORD mode, WORD* resultWord) {
  std::unique_ptr<MediaSelection> selection(new (std::nothrow) MediaSelection{});
  if (!selection) {
    *resultWord = kWordFailure;
    TRACE_WORD(kWordFailure);
    ShowResultMessage(owner, kWordFailure, 0);
    return 0;
  }
  if (!SetModelTexts(static_cast<std::int16_t>(modelSelector))) {
    *resultWord = kWordFailure;
    TRACE_WORD(kWordFailure);
    return 0;
  }
  TraceModelInfo();
  FlowLock lock;
  if (!lock.Take()) {
    *resultWord = kWordStepFailed;
    ShowResultMessage(owner, kWordStepFailed, 0);
    return 0;
  }
  return Install(owner, selection.get(), mode, resultWord);
}
