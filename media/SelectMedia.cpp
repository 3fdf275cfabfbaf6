// The media selection's step machine: choose a drive (or the next volume in
// the same drive), check that it is ready, classify the medium and form the
// path of the archive on it. Every failed medium leads back to the choice.
#include <cstdint>
#include <cstring>

#include "backupfile/CnfBakCnfList.h"
#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/SameFailure.h"
#include "common/Trace.h"
#include "media/CnfSelPcDlg.h"
#include "media/MediaSelection.h"
#include "platform/Platform.h"

TALVER_SOURCE_AT("CnfSelPcDlg", 3000)

char ModelNumberText[kModelNumberTextSize];
char SizeCodeText[kSizeCodeTextSize];
char TypeHexText[kTypeHexTextSize];
BYTE SelectionPurpose = 0;

namespace {

constexpr DWORD kStepEnd = 0;
constexpr char kArchiveName[] = "svp_conf.tgz";
constexpr BYTE kPurposeSoftwareRestore = 4;
constexpr BYTE kPurposeBackupDrives = 5;

void TraceStep(int line, DWORD step) {
  char text[256];
  TraceFormat(text, "%s(%d) sMode = 0x%x\n", kTraceSource, line, static_cast<unsigned>(step));
  TraceLine(text);
}

// The state of one selection between its steps.
struct SelectionRun {
  HWND owner;
  MediaSelection* selection;
  BYTE volumeNumber;
  WORD* resultWord;
  MediaDialogParam dialogParam;
  bool networkDrive;
  int result;
  SameFailureCount failures{};
};

DWORD FailSelection(SelectionRun& run) {
  TRACE_WORD(*run.resultWord);
  ShowResultMessage(run.owner, *run.resultWord, 0);
  run.result = 0;
  return kStepEnd;
}

// After a failed medium the choice comes back, unless the same failure has
// come back too often: then the selection ends as a cancel (the failure's
// message has been shown each time).
DWORD BackToChoice(SelectionRun& run) {
  if (!run.failures.Repeated(run.selection->drivePath, *run.resultWord)) return kStepChoose;
  TRACE_TEXT("ERR The same failure again: cancelled");
  *run.resultWord = kWordCancelled;
  TRACE_WORD(kWordCancelled);
  run.result = 0;
  return kStepEnd;
}

DWORD ChooseMedium(SelectionRun& run) {
  if (run.volumeNumber == 0) {
    if (SelectMediaDialog(run.owner, &run.dialogParam, run.selection->drivePath, run.resultWord) ==
        kDialogOk)
      return kStepCheckDrive;
    return FailSelection(run);
  }
  // The next volume goes into the drive chosen before.
  *run.resultWord = kWordInsertVolume;
  std::int32_t answer =
      ShowResultMessage(run.owner, kWordInsertVolume, static_cast<WORD>(run.volumeNumber + 1));
  if (answer == kDialogOk) return kStepCheckDrive;
  if (answer == kDialogCancel) *run.resultWord = kWordCancelled;
  return FailSelection(run);
}

// A drive letter connected to a network share stands for the share.
void UseNetworkName(SelectionRun& run) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    char root[4];
    FORMAT_PATH(root, "%c:\\", letter);
    if (CompareIgnoringCase(root, run.selection->drivePath) != 0) continue;
    char local[3];
    FORMAT_PATH(local, "%c:", letter);
    char remote[MAX_PATH] = {};
    DWORD length = sizeof remote;
    DWORD status = plat::WNetGetConnection(local, remote, &length);
    if (status != NO_ERROR && status != ERROR_CONNECTION_UNAVAIL) return;
    char networkRoot[MAX_PATH];
    if (!FORMAT_PATH(networkRoot, "%s\\", remote)) return;
    CopyBounded(run.selection->drivePath, sizeof run.selection->drivePath, networkRoot);
    run.networkDrive = true;
    return;
  }
}

DWORD CheckDrive(SelectionRun& run) {
  run.networkDrive = false;
  if (run.selection->requestKind == kRequestInstallMode0) UseNetworkName(run);
  if (!CheckMediaReady(run.selection->drivePath, run.resultWord)) {
    TRACE_WORD(*run.resultWord);
    ShowResultMessage(run.owner, *run.resultWord, 0);
    return BackToChoice(run);
  }
  return kStepClassify;
}

bool IsCdromOrFixed(const char* drivePath) {
  UINT type = plat::GetDriveType(drivePath);
  return type == DRIVE_CDROM || type == DRIVE_FIXED;
}

int Classify(SelectionRun& run) {
  MediaSelection* s = run.selection;
  switch (s->requestKind) {
    case kRequestRestore:
      return SelectionPurpose == kPurposeSoftwareRestore
                 ? ClassifySoftwareMedia(s, run.resultWord)
                 : ClassifyMediaByConfig4(s, run.resultWord);
    case kRequestBackupVolumes:
      return IsCdromOrFixed(s->drivePath) ? ClassifySoftwareMedia(s, run.resultWord)
                                          : ClassifyMediaByConfig4(s, run.resultWord);
    case kRequestInstallMode0:
      if (run.networkDrive || IsCdromOrFixed(s->drivePath)) {
        // Installation media are taken as they are.
        CopyBounded(TypeHexText, sizeof TypeHexText, "xx");
        s->MediaKind = kMediaSoftware;
        return 1;
      }
      return ClassifyMediaByConfig4(s, run.resultWord);
    default:
      return ClassifyMediaByConfig4(s, run.resultWord);
  }
}

DWORD ClassifyMedium(SelectionRun& run) {
  if (Classify(run)) return kStepArchivePath;
  ShowResultMessage(run.owner, *run.resultWord, 0);
  return BackToChoice(run);
}

DWORD ChooseBackup(SelectionRun& run) {
  MediaSelection* s = run.selection;
  CopyBounded(s->archivePath, sizeof s->archivePath, s->drivePath);
  int chosen = SelectBackupConfig(run.owner, s->requestKind, s->archivePath, run.resultWord);
  if (chosen) {
    char archive[MAX_PATH];
    if (!FORMAT_PATH(archive, "%s%s", s->archivePath, kArchiveName)) {
      *run.resultWord = kWordFailure;
      return FailSelection(run);
    }
    CopyBounded(s->archivePath, sizeof s->archivePath, archive);
    LoadArchiveConfig4(s, run.resultWord);
    run.result = chosen;
    return kStepEnd;
  }
  ShowResultMessage(run.owner, *run.resultWord, 0);
  if (*run.resultWord == kWordWrongMedium) return BackToChoice(run);
  run.result = 0;
  return kStepEnd;
}

DWORD FormArchivePath(SelectionRun& run) {
  MediaSelection* s = run.selection;
  char text[256];
  TraceFormat(text, "%s(%d) Drive = %s\n", kTraceSource, TRACE_LINE, s->drivePath);
  TraceLine(text);
  switch (s->MediaKind) {
    case kMediaSoftware:
      if (!FORMAT_PATH(s->archivePath, "%s%s\\%s\\%s%s\\%s", s->drivePath, "software", SizeCodeText,
                       ModelNumberText, TypeHexText, kArchiveName)) {
        *run.resultWord = kWordFailure;
        return FailSelection(run);
      }
      return kStepEnd;
    case kMediaBackup:
      return ChooseBackup(run);
    default:
      return kStepEnd;  // the flow forms its own path
  }
}

DWORD RunStep(SelectionRun& run, DWORD step) {
  switch (step) {
    case kStepChoose:
      return ChooseMedium(run);
    case kStepCheckDrive:
      return CheckDrive(run);
    case kStepClassify:
      return ClassifyMedium(run);
    case kStepArchivePath:
      return FormArchivePath(run);
    default:
      return kStepEnd;  // 0x1004 to 0x1009 are not used
  }
}

}  // namespace

BYTE DriveClassOfRequest(WORD requestKind) {
  switch (requestKind) {
    case kRequestRestore:
      return SelectionPurpose == kPurposeBackupDrives ? kDriveClassBackup : kDriveClassInstallCdr;
    case kRequestInstallMode0:
      return kDriveClassInstall;
    case kRequestInstallMode2:
      return kDriveClassBackup;
    default:
      return kDriveClassInstall;
  }
}

int CheckMediaReady(const char* driveRoot, WORD* resultWord) {
  std::uint64_t freeToCaller = 0, total = 0, totalFree = 0;
  if (plat::GetDiskFreeSpaceEx(driveRoot, &freeToCaller, &total, &totalFree)) return 1;
  DWORD error = plat::GetLastError();
  *resultWord = error == ERROR_NOT_READY ? kWordMediumNotReady : kWordDriveQueryFailed;
  TRACE_CODE(error);
  return 0;
}

int SelectMedia(HWND owner, MediaSelection* selection, BYTE volumeNumber, WORD* resultWord) {
  SelectionRun run{owner,
                   selection,
                   volumeNumber,
                   resultWord,
                   {DriveClassOfRequest(selection->requestKind), selection->promptMessageId},
                   false,
                   1};
  DWORD step = kStepChoose;
  TraceStep(TRACE_LINE, step);
  while (step >= kStepChoose && step <= kStepArchivePath) {
    DWORD next = RunStep(run, step);
    if (next >= kStepChoose && next <= kStepArchivePath) TraceStep(TRACE_LINE, next);
    step = next;
  }
  TRACE_TEXT(selection->archivePath);
  return run.result;
}
