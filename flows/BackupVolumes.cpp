// The backup media and the volumes written onto them.
#include "flows/BackupVolumes.h"

#include <cstring>
#include <memory>
#include <new>

#include "archive/CpyFile.h"
#include "archive/FDCopy3.h"
#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/SameFailure.h"
#include "common/Trace.h"
#include "media/CnfSelPcDlg.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfProcess")

namespace {

// Answers of the operator's message boxes.
constexpr WORD kAnswerOk = 1;
constexpr WORD kAnswerCancel = 2;
constexpr WORD kAnswerRetry = 4;
constexpr WORD kAnswerNo = 7;

constexpr char kArchiveName[] = "svp_conf.tgz";
constexpr char kMediaConfig4[] = "Plaxon\\Config\\config4";
// Volume counts of 0xFF mean "no volume information" to every reader.
constexpr DWORD kMaxVolumes = 0xFE;

enum class Step { Choose, FreeSpace, ConfigMedium, Overwrite, WriteTest, Done };

struct Preparation {
  HWND owner;
  BackupTarget* target;
  BYTE volumeNumber;
  WORD* resultWord;
  // The record of the backup being written, for a further medium (else null):
  // it tells a medium already written in this backup.
  const Config4Record* run = nullptr;
  int result = 0;
  SameFailureCount failures{};
};

// True when the archive of the medium sits beside a config4 of this very
// backup (same serial number, archive time and volume count): a volume of it
// was written there a moment ago.
bool WrittenInThisBackup(const char* archivePath, const Config4Record& run) {
  char directory[MAX_PATH];
  char config4[MAX_PATH];
  Config4Record beside{};
  WORD local = 0;
  if (!GetFileDirectory(archivePath, directory) ||
      !FORMAT_PATH(config4, "%s%s", directory, "config4") || !PathExists(config4) ||
      !ReadConfig4File(config4, reinterpret_cast<BYTE*>(&beside), &local))
    return false;
  return static_cast<DWORD>(beside.serialNumber) == static_cast<DWORD>(run.serialNumber) &&
         static_cast<DWORD>(beside.archiveTimeHigh) == static_cast<DWORD>(run.archiveTimeHigh) &&
         static_cast<DWORD>(beside.archiveTimeLow) == static_cast<DWORD>(run.archiveTimeLow) &&
         beside.volumeCount == run.volumeCount;
}

// After a failed medium the choice comes back, unless the same failure has
// come back too often: then the preparation ends as a cancel.
Step BackToChoice(Preparation& p, WORD failure) {
  if (!p.failures.Repeated(p.target->drivePath, failure)) return Step::Choose;
  TRACE_TEXT("ERR The same failure again: cancelled");
  *p.resultWord = 0x4000;
  p.result = 0;
  return Step::Done;
}

// Choose ends the preparation on anything but a usable answer.
Step EndChoice(Preparation& p) {
  TRACE_WORD(*p.resultWord);
  ShowResultMessage(p.owner, *p.resultWord, 0);
  p.result = 0;
  return Step::Done;
}

Step Choose(Preparation& p) {
  if (p.volumeNumber == 0) {
    MediaDialogParam parameter{kDriveClassBackup, 3686};
    if (SelectMediaDialog(p.owner, &parameter, p.target->drivePath, p.resultWord) != kDialogOk)
      return EndChoice(p);
    return Step::FreeSpace;
  }
  *p.resultWord = 0x4104;
  WORD answer = ShowMessage(p.owner, 63, 4036, 20198, 1, 0x41);
  if (answer == kAnswerOk) return Step::FreeSpace;
  if (answer == kAnswerCancel) *p.resultWord = 0x4000;
  return EndChoice(p);
}

Step FreeSpace(Preparation& p) {
  if (!Talver_GetMediaFreeSpace(p.target, p.resultWord)) {
    TRACE_WORD(*p.resultWord);
    ShowResultMessage(p.owner, *p.resultWord, 0);
    return BackToChoice(p, *p.resultWord);
  }
  return Step::ConfigMedium;
}

Step ConfigMedium(Preparation& p) {
  WORD local = 0;
  if (!CheckConfigFd(p.target, &local) && local != 0x4001) {
    ShowResultMessage(p.owner, 0x2007, 0);
    TRACE_TEXT("Not Config FD");
    return BackToChoice(p, 0x2007);
  }
  if (!FORMAT_PATH(p.target->archivePath, "%s%s%.6d\\%s", p.target->drivePath, "PLAXON\\CONFIG\\",
                   static_cast<int>(GetSerialNumber()), kArchiveName)) {
    *p.resultWord = 0x2000;
    return EndChoice(p);
  }
  return Step::Overwrite;
}

Step Overwrite(Preparation& p) {
  if (p.run && TalVer_FindFile(p.target->archivePath, 0) &&
      WrittenInThisBackup(p.target->archivePath, *p.run)) {
    // The medium just written was put back: replacing its volume would lose
    // it. The operator is told which disk is wanted and asked again.
    TRACE_TEXT("ERR Volume of this backup");
    ShowResultMessage(p.owner, 0x4103, static_cast<WORD>(p.run->volumeNumber + 2));
    return BackToChoice(p, 0x4103);
  }
  if (TalVer_FindFile(p.target->archivePath, 0) &&
      ShowMessage(p.owner, 63, 3351, 20198, 1, 0x124) == kAnswerNo) {
    TRACE_TEXT("Selected NO");
    *p.resultWord = 0x4000;
    p.result = 0;
    return Step::Done;
  }
  return Step::WriteTest;
}

Step WriteTest(Preparation& p) {
  if (CheckMediaWritable(p.target, p.resultWord)) {
    DWORD error = 0;
    CreateMediaConfigDirs(p.target->drivePath, &error);
    p.result = 1;
    return Step::Done;
  }
  TRACE_WORD(*p.resultWord);
  if (ShowResultMessage(p.owner, *p.resultWord, 0) == kAnswerRetry)
    return BackToChoice(p, *p.resultWord);
  TRACE_TEXT("Cancel");
  *p.resultWord = 0x4000;
  p.result = 0;
  return Step::Done;
}

Step RunStep(Preparation& p, Step step) {
  switch (step) {
    case Step::Choose:
      return Choose(p);
    case Step::FreeSpace:
      return FreeSpace(p);
    case Step::ConfigMedium:
      return ConfigMedium(p);
    case Step::Overwrite:
      return Overwrite(p);
    case Step::WriteTest:
      return WriteTest(p);
    case Step::Done:
      break;
  }
  return Step::Done;
}

// The next medium of a split backup whose record is `run`.
int PrepareFurtherMedium(HWND owner, BackupTarget* target, const Config4Record* run,
                         WORD* resultWord) {
  Preparation p{owner, target, 1, resultWord, run};
  for (Step step = Step::Choose; step != Step::Done;) step = RunStep(p, step);
  TRACE_TEXT(target->archivePath);
  return p.result;
}

// The record written to every medium of one backup.
struct VolumeWriter {
  HWND owner;
  ArchiveFileInfo* info;
  BackupTarget* target;
  WORD* resultWord;
  Config4Record* record;
};

// A failed copy, piece or config4 write. The word is set here whatever it
// held: after a further medium was asked for it still holds 0x4104, whose
// message would ask for the next medium instead of reporting the failure.
int FailVolume(WORD* resultWord) {
  *resultWord = 0x2000;
  TRACE_WORD(0x2000);
  return 0;
}

// Both config4 records of the medium: at its own place and beside the archive.
int WriteVolumeConfig4(VolumeWriter& w) {
  char mediaConfig4[MAX_PATH];
  if (!FORMAT_PATH(mediaConfig4, "%s%s", w.target->drivePath, kMediaConfig4) ||
      !WriteConfig4Beside(mediaConfig4, w.record) ||
      !WriteConfig4Beside(w.target->archivePath, w.record)) {
    // A medium without its config4 cannot be read back by any setup.
    TRACE_TEXT("ERR WriteConfig4Beside");
    return FailVolume(w.resultWord);
  }
  return 1;
}

int WriteWhole(VolumeWriter& w) {
  if (!Talver_CopyFileDialog(w.owner, w.info->path, w.target->archivePath))
    return FailVolume(w.resultWord);
  return WriteVolumeConfig4(w);
}

int WriteSplit(VolumeWriter& w) {
  const DWORD size = w.info->sizeLow;
  const DWORD count = size / kFloppyArchiveLimit + (size % kFloppyArchiveLimit ? 1 : 0);
  if (count > kMaxVolumes) {
    *w.resultWord = 0x4107;
    return 0;
  }
  w.record->volumeCount = static_cast<BYTE>(count);
  WORD pieces = 0;
  if (!Talver_SplitArchive(w.info->path, kFloppyArchiveLimit, &pieces, w.resultWord))
    return FailVolume(w.resultWord);
  // The archive changed size since it was measured.
  if (pieces != count) return FailVolume(w.resultWord);
  for (BYTE n = 0;; ++n) {
    w.record->volumeNumber = n;
    char piece[MAX_PATH];
    if (!FORMAT_PATH(piece, "%s%ssvp_conf.%d", RootPath, "\\PLAXON\\TMP\\", static_cast<int>(n)) ||
        !Talver_CopyFileDialog(w.owner, piece, w.target->archivePath))
      return FailVolume(w.resultWord);
    if (!WriteVolumeConfig4(w)) return 0;
    if (count == static_cast<DWORD>(n) + 1) return 1;
    if (!PrepareFurtherMedium(w.owner, w.target, w.record, w.resultWord)) {
      TRACE_WORD(*w.resultWord);
      return 0;
    }
  }
}

// The capacity rules; 1 when the archive may be written (split or whole).
int CheckCapacity(VolumeWriter& w) {
  BackupTarget* t = w.target;
  if (t->isFloppy == 1) {
    if (t->freeBytes < kFloppyArchiveLimit) {
      *w.resultWord = 0x4107;
      return 0;
    }
    if (w.info->sizeLow > kFloppyArchiveLimit) {
      if (ShowResultMessage(w.owner, 0x4106, 0) == kAnswerNo) {
        *w.resultWord = 0x4000;
        return 0;
      }
      t->splitVolumes = 1;
    }
    return 1;
  }
  if (w.info->sizeLow > t->freeBytes) {
    *w.resultWord = 0x4107;
    return 0;
  }
  return 1;
}

int ReadOwnConfig4(Config4Record* record, WORD* resultWord) {
  char path[MAX_PATH];
  if (!FORMAT_PATH(path, "%s\\%s", RootPath, kMediaConfig4)) {
    *resultWord = 0x2000;
    return 0;
  }
  return ReadConfig4File(path, reinterpret_cast<BYTE*>(record), resultWord);
}

int WriteVolumes(VolumeWriter& w) {
  if (!ReadOwnConfig4(w.record, w.resultWord)) {
    TRACE_WORD(*w.resultWord);
    return 0;
  }
  char configDir[MAX_PATH];
  DWORD serial = 0;
  if (!FORMAT_PATH(configDir, "%s%s", RootPath, "\\PLAXON\\CONFIG\\") ||
      !dsvp_ApiGetSerialNumber(configDir, &serial, w.resultWord)) {
    TRACE_WORD(*w.resultWord);
    return 0;
  }
  w.record->serialNumber = serial;
  if (!GetArchiveFileInfo(w.info)) {
    *w.resultWord = 0x2000;
    TRACE_WORD(0x2000);
    return 0;
  }
  w.record->archiveTimeHigh = w.info->timeHigh;
  w.record->archiveTimeLow = w.info->timeLow;
  w.record->volumeCount = 1;
  w.record->volumeNumber = 0;
  if (!CheckCapacity(w)) return 0;
  return w.target->splitVolumes == 1 ? WriteSplit(w) : WriteWhole(w);
}

}  // namespace

int CheckConfigFd(BackupTarget* target, WORD* resultWord) {
  char path[MAX_PATH];
  if (!FORMAT_PATH(path, "%s%s", target->drivePath, kMediaConfig4)) {
    TRACE_CODE(0x2000);
    return 0;
  }
  if (!PathExists(path)) {
    *resultWord = 0x4001;
    TRACE_CODE(0x4001);
    return 0;
  }
  Config4Record record{};
  WORD local = 0;
  if (!ReadConfig4File(path, reinterpret_cast<BYTE*>(&record), &local)) {
    TRACE_CODE(0x2000);
    return 0;
  }
  if (record.volumeCount < kConfig4NoVolumeInfo && record.Config4TypeWord < kConfig4NoType)
    return 1;
  TRACE_CODE(0);
  return 0;
}

int CheckMediaWritable(BackupTarget* target, WORD* resultWord) {
  char probe[MAX_PATH];
  if (!FORMAT_PATH(probe, "%s%s", target->drivePath, "xonf")) {
    *resultWord = 0x2000;
    TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  HANDLE file = exf_CreateFile(probe, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE,
                               FILE_FLAG_DELETE_ON_CLOSE);
  if (!file) {
    DWORD error = plat::GetLastError();
    *resultWord = error == ERROR_WRITE_PROTECT ? 0x2005 : 0x2000;
    TRACE_CODE(error);
    return 0;
  }
  exf_CloseFile(file);
  return 1;
}

int PrepareBackupMedia(HWND owner, BackupTarget* target, BYTE volumeNumber, WORD* resultWord) {
  Preparation p{owner, target, volumeNumber, resultWord};
  for (Step step = Step::Choose; step != Step::Done;) step = RunStep(p, step);
  TRACE_TEXT(target->archivePath);
  return p.result;
}

int GetArchiveFileInfo(ArchiveFileInfo* info) {
  WIN32_FIND_DATA data;
  if (!plat::ScopedFind(info->path, &data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    TRACE_TEXT(info->path);
    return 0;
  }
  // An archive of 4 GiB or more is held at the largest size, never wrapped
  // round to a small one that a floppy would seem to take.
  info->sizeLow = data.nFileSizeHigh ? 0xFFFFFFFFu : data.nFileSizeLow;
  info->timeHigh = data.ftLastWriteTime.dwHighDateTime;
  info->timeLow = data.ftLastWriteTime.dwLowDateTime;
  return 1;
}

int WriteConfig4Beside(const char* path, const Config4Record* record) {
  char directory[MAX_PATH];
  char config4[MAX_PATH];
  if (!GetFileDirectory(path, directory) || !FORMAT_PATH(config4, "%s%s", directory, "config4"))
    return 0;
  return Talver_WriteWholeFile(config4, record, sizeof *record);
}

int WriteBackupVolumes(HWND owner, ArchiveFileInfo* info, BackupTarget* target, WORD* resultWord) {
  std::unique_ptr<Config4Record> record(new (std::nothrow) Config4Record{});
  int result = 0;
  if (!record) {
    *resultWord = 0x2000;
    TRACE_WORD(0x2000);
  } else {
    VolumeWriter w{owner, info, target, resultWord, record.get()};
    result = WriteVolumes(w);
  }
  if (result == 0 && *resultWord != 0x4000) ShowResultMessage(owner, *resultWord, 0);
  return result;
}
