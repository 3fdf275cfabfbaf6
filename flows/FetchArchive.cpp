// The fetch of a configuration archive: the first volume is copied into the
// work folder, every further one is appended in place to what is there, so
// that after each volume the work folder holds the archive joined so far.
#include "flows/FetchArchive.h"

#include <memory>
#include <new>

#include "archive/FDCopy3.h"
#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/ResultWords.h"
#include "common/SameFailure.h"
#include "common/Trace.h"
#include "media/CnfSelPcDlg.h"
#include "media/MediaSelection.h"
#include "platform/Platform.h"

TALVER_SOURCE_AT("CnfProcess", 4000)

namespace {

constexpr char kFetchedArchive[] = "svp_conf.tgz";

int FailPath(WORD* resultWord) {
  *resultWord = kWordFailure;
  TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
  return 0;
}

int FailSystem(WORD* resultWord) {
  *resultWord = kWordFailure;
  TRACE_CODE(plat::GetLastError());
  return 0;
}

}  // namespace

int SelectNextVolume(HWND owner, MediaSelection* selection, const MediaSelection& previous,
                     BYTE volumeCounter, WORD* resultWord, MediaSelection* refused) {
  SameFailureCount failures;
  for (bool first = true;; first = false) {
    if (SelectMedia(owner, selection, volumeCounter, resultWord) != 1) return 0;
    if (CheckNextVolume(&previous.config4, &selection->config4, resultWord)) return 1;
    if (refused && first) *refused = *selection;
    // The same wrong volume again and again: the operator is not changing it.
    if (failures.Repeated(selection->drivePath, *resultWord, selection->config4.volumeNumber)) {
      TRACE_TEXT("ERR The same failure again: cancelled");
      *resultWord = kWordCancelled;
      return 0;
    }
    // The disk number the operator is asked for counts from 1.
    std::int32_t answer =
        ShowResultMessage(owner, *resultWord, static_cast<WORD>(volumeCounter + 1));
    if (answer == kDialogCancel) {
      *resultWord = kWordCancelled;
      return 0;
    }
  }
}

int FetchFirstVolume(const char* workDirectory, MediaSelection* selection, WORD* resultWord) {
  if (!TalVer_FindFile(selection->archivePath, 0)) {
    *resultWord = kWordWrongMedium;
    TRACE_TEXT(selection->archivePath);  // the archive that is not there
    TRACE_WORD(kWordWrongMedium);
    return 0;
  }
  char fetched[MAX_PATH];
  if (!FORMAT_PATH(fetched, "%s%s", workDirectory, kFetchedArchive)) return FailPath(resultWord);
  if (!CopyFileForced(selection->archivePath, fetched, 0)) return FailSystem(resultWord);
  const Config4Record& c4 = selection->config4;
  if (c4.volumeCount == 1) return 1;
  if (c4.volumeCount == 0) {
    *resultWord = kWordFailure;
    TRACE_WORD(kWordFailure);
    return 0;
  }
  // Only the first volume of a split archive can start it: a later one
  // would be joined without what precedes it and taken for the whole.
  if (c4.volumeNumber != 0) {
    *resultWord = kWordWrongMedium;
    TRACE_WORD(kWordWrongMedium);
    return 0;
  }
  return kFetchMoreVolumes;
}

int AppendNextVolume(const char* workDirectory, MediaSelection* selection, WORD* resultWord) {
  char joined[MAX_PATH];
  if (!FORMAT_PATH(joined, "%s%s", workDirectory, kFetchedArchive)) return FailPath(resultWord);
  if (!Talver_AppendToArchive(joined, selection->archivePath, resultWord)) {
    TRACE_WORD(*resultWord);
    return 0;
  }
  const Config4Record& c4 = selection->config4;
  return c4.volumeCount == c4.volumeNumber + 1 ? 1 : kFetchMoreVolumes;
}

int FetchConfigArchive(HWND owner, const char* workDirectory, MediaSelection* selection,
                       WORD* resultWord) {
  int fetched = FetchFirstVolume(workDirectory, selection, resultWord);
  if (fetched == 0) {
    ShowResultMessage(owner, *resultWord, 0);
    return 0;
  }
  if (fetched == 1) return 1;
  std::unique_ptr<MediaSelection> previous(new (std::nothrow) MediaSelection(*selection));
  if (!previous) {
    *resultWord = kWordFailure;
    ShowResultMessage(owner, *resultWord, 0);
    return 0;
  }
  BYTE volumeCounter = 0;
  for (;;) {
    ++volumeCounter;
    *previous = *selection;
    if (!SelectNextVolume(owner, selection, *previous, volumeCounter, resultWord)) return 0;
    int appended = AppendNextVolume(workDirectory, selection, resultWord);
    if (appended == 0) {
      ShowResultMessage(owner, *resultWord, 0);
      return 0;
    }
    if (appended == 1) return 1;
  }
}
