// The backup media and the volumes written onto them.
#include "flows/BackupVolumes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "archive/CpyFile.h"
#include "archive/FDCopy3.h"
#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/SameFailure.h"
#include "common/Trace.h"
#include "media/CnfSelPcDlg.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"
#include "platform/Temporary.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE_AT("CnfProcess", 2000)

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

// The volumes this run of the backup has written: each medium's config4
// record as written, byte for byte, with the size of its piece. A medium
// is told by what this run put on it, never by the second the archive was
// made: two backups within one second are two backups.
struct WrittenVolume {
  Config4Record record;
  std::uint64_t pieceSize;
};
using RunRecord = std::vector<WrittenVolume>;

struct Preparation {
  HWND owner;
  BackupTarget* target;
  BYTE volumeNumber;
  WORD* resultWord;
  // The volumes written so far, for a further medium (else null).
  const RunRecord* run = nullptr;
  int result = 0;
  SameFailureCount failures{};
};

// True when the medium holds a volume this very run wrote a moment ago (the
// medium just written, put back): the config4 beside its archive is one the
// run wrote, and the archive has that volume's size.
bool WrittenInThisRun(const char* archivePath, const RunRecord& run) {
  char directory[MAX_PATH];
  char config4[MAX_PATH];
  Config4Record beside{};
  WORD local = 0;
  std::uint64_t size = 0;
  if (!GetFileDirectory(archivePath, directory) ||
      !FORMAT_PATH(config4, "%s%s", directory, "config4") || !PathExists(config4) ||
      !ReadConfig4File(config4, reinterpret_cast<BYTE*>(&beside), &local) ||
      !plat::GetFileSizeByName(archivePath, &size))
    return false;
  for (const WrittenVolume& v : run)
    if (std::memcmp(&v.record, &beside, sizeof beside) == 0 && v.pieceSize == size) return true;
  return false;
}

// After a failed medium the choice comes back, unless the same failure has
// come back too often: then the preparation ends as a cancel.
Step BackToChoice(Preparation& p, WORD failure) {
  if (!p.failures.Repeated(p.target->drivePath, failure)) return Step::Choose;
  TRACE_TEXT("ERR The same failure again: cancelled");
  *p.resultWord = kWordCancelled;
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
  *p.resultWord = kWordInsertVolume;
  WORD answer = ShowMessage(p.owner, 63, 4036, 20198, 1, 0x41);
  if (answer == kAnswerOk) return Step::FreeSpace;
  if (answer == kAnswerCancel) *p.resultWord = kWordCancelled;
  return EndChoice(p);
}

// A run killed or cut off while it wrote this medium leaves its temporaries
// beside the backup's files. They never count as a backup, but they take
// room the capacity check would miss, so they go before the medium is
// measured (the backup holds the flow lock: no other run writes them).
void RemoveLeftTemporaries(const char* drivePath) {
  char folder[MAX_PATH];
  char own[MAX_PATH];
  if (FORMAT_PATH(folder, "%s%s%.6d\\", drivePath, "PLAXON\\CONFIG\\",
                  static_cast<int>(GetSerialNumber())))
    plat::RemoveTemporariesIn(folder);
  if (FORMAT_PATH(own, "%s%s", drivePath, kMediaConfig4)) plat::RemoveTemporariesOf(own);
}

Step FreeSpace(Preparation& p) {
  RemoveLeftTemporaries(p.target->drivePath);
  if (!Talver_GetMediaFreeSpace(p.target, p.resultWord)) {
    TRACE_WORD(*p.resultWord);
    ShowResultMessage(p.owner, *p.resultWord, 0);
    return BackToChoice(p, *p.resultWord);
  }
  return Step::ConfigMedium;
}

Step ConfigMedium(Preparation& p) {
  WORD local = 0;
  if (!CheckConfigFd(p.target, &local) && local != kWordNoConfig4) {
    ShowResultMessage(p.owner, kWordNotConfigurationDisk, 0);
    TRACE_TEXT("Not Config FD");
    return BackToChoice(p, kWordNotConfigurationDisk);
  }
  if (!FORMAT_PATH(p.target->archivePath, "%s%s%.6d\\%s", p.target->drivePath, "PLAXON\\CONFIG\\",
                   static_cast<int>(GetSerialNumber()), kArchiveName)) {
    *p.resultWord = kWordFailure;
    return EndChoice(p);
  }
  return Step::Overwrite;
}

Step Overwrite(Preparation& p) {
  if (p.run && !p.run->empty() && TalVer_FindFile(p.target->archivePath, 0) &&
      WrittenInThisRun(p.target->archivePath, *p.run)) {
    // The medium just written was put back: replacing its volume would lose
    // it. The operator is told which disk is wanted and asked again.
    TRACE_TEXT("ERR Volume of this backup");
    ShowResultMessage(p.owner, kWordWrongDisk,
                      static_cast<WORD>(p.run->back().record.volumeNumber + 2));
    return BackToChoice(p, kWordWrongDisk);
  }
  if (TalVer_FindFile(p.target->archivePath, 0) &&
      ShowMessage(p.owner, 63, 3351, 20198, 1, 0x124) == kAnswerNo) {
    TRACE_TEXT("Selected NO");
    *p.resultWord = kWordCancelled;
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
  *p.resultWord = kWordCancelled;
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
int PrepareFurtherMedium(HWND owner, BackupTarget* target, const RunRecord* run, WORD* resultWord) {
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
  RunRecord written = {};
};

// A failed copy, piece or config4 write. The word is set here whatever it
// held: after a further medium was asked for it still holds 0x4104, whose
// message would ask for the next medium instead of reporting the failure.
int FailVolume(WORD* resultWord) {
  *resultWord = kWordFailure;
  TRACE_WORD(kWordFailure);
  return 0;
}

// The files of one medium's backup: the archive (or piece), the config4
// beside it and the medium's own config4.
struct MediumFiles {
  char archive[MAX_PATH];
  char beside[MAX_PATH];
  char own[MAX_PATH];
};

bool FilesOf(const BackupTarget* t, MediumFiles* f) {
  char directory[MAX_PATH];
  return CopyBounded(f->archive, sizeof f->archive, t->archivePath) &&
         GetFileDirectory(t->archivePath, directory) &&
         FORMAT_PATH(f->beside, "%s%s", directory, "config4") &&
         FORMAT_PATH(f->own, "%s%s", t->drivePath, kMediaConfig4);
}

// A config4 written whole under a temporary beside its final name, flushed.
bool WriteConfig4Temporary(const char* final, const Config4Record* record, std::string* temporary) {
  HANDLE file = plat::CreateTemporaryBeside(final, temporary);
  if (!file) {
    TRACE_CODE(plat::GetLastError());
    return false;
  }
  DWORD written = 0;
  const bool ok = plat::WriteFile(file, record, sizeof *record, &written) &&
                  written == sizeof *record && plat::FlushFileBuffers(file);
  if (!ok) TRACE_CODE(plat::GetLastError());
  plat::CloseHandle(file);
  if (!ok) plat::DeleteFile(temporary->c_str());
  return ok;
}

// Puts a config4 temporary in its place; when the rename fails, the record
// is written in place instead (a short one is removed), so that a medium
// whose archive was replaced is never left with a stale record.
bool CommitConfig4(const std::string& temporary, const char* final, const Config4Record* record) {
  if (CommitCopy(temporary.c_str(), final)) return true;
  TRACE_CODE(plat::GetLastError());
  return Talver_WriteWholeFile(final, record, sizeof *record) != 0;
}

bool PutConfig4(const char* final, const Config4Record* record) {
  std::string temporary;
  if (WriteConfig4Temporary(final, record, &temporary))
    return CommitConfig4(temporary, final, record);
  return Talver_WriteWholeFile(final, record, sizeof *record) != 0;
}

// A config4 record of the medium as it is, to put back when the new
// archive could not take the old one's place.
struct OldRecord {
  bool there = false;
  Config4Record record{};
};

OldRecord ReadOld(const char* path) {
  OldRecord old;
  WORD local = 0;
  old.there =
      PathExists(path) && ReadConfig4File(path, reinterpret_cast<BYTE*>(&old.record), &local);
  return old;
}

void PutBack(const char* path, const OldRecord& old) {
  if (old.there) PutConfig4(path, &old.record);
}

// Makes the medium's old backup unrecognisable: the selection takes a
// medium by its own config4 and falls back on it where the config4 beside
// the archive is missing, so both go, the medium's own first.
bool Unrecognise(const MediumFiles& f) {
  if (DeleteFileForced(f.own) && DeleteFileForced(f.beside)) return true;
  TRACE_TEXT("ERR DeleteFileForced(config4)");
  return false;
}

// Room for the new archive and its records beside the old backup.
bool RoomForBoth(const BackupTarget* t, const MediumFiles& f, std::uint64_t pieceSize) {
  std::uint64_t old = 0;
  if (!plat::GetFileSizeByName(f.archive, &old)) old = 0;
  const std::uint64_t free = t->freeBytes > old ? t->freeBytes - old : 0;
  return free >= pieceSize + 2 * sizeof(Config4Record);
}

// The new records in place over an archive already there: the one beside
// it first, the medium's own last, so that the medium is taken only once
// both describe the new archive.
bool CommitRecords(const VolumeWriter& w, const MediumFiles& f, const std::string& beside,
                   const std::string& own) {
  const bool besideDone = CommitConfig4(beside, f.beside, w.record);
  if (!besideDone) plat::DeleteFile(own.c_str());
  if (!besideDone || !CommitConfig4(own, f.own, w.record)) {
    // A medium without its config4 cannot be read back by any setup.
    TRACE_TEXT("ERR WriteConfig4Beside");
    return false;
  }
  return true;
}

// Both archives fit: the new one and its records go under temporary names,
// whole and flushed, and take the old ones' places only then. A failure on
// the way leaves the old backup.
bool ReplaceBesideOld(VolumeWriter& w, const char* source, const MediumFiles& f) {
  char archiveTemporary[MAX_PATH];
  if (!Talver_CopyFileDialogToTemporary(w.owner, source, f.archive, archiveTemporary)) return false;
  std::string ownTemporary, besideTemporary;
  const bool records = WriteConfig4Temporary(f.own, w.record, &ownTemporary) &&
                       WriteConfig4Temporary(f.beside, w.record, &besideTemporary);
  const OldRecord oldOwn = ReadOld(f.own), oldBeside = ReadOld(f.beside);
  const bool unrecognised = records && Unrecognise(f);
  if (!unrecognised || !CommitCopy(archiveTemporary, f.archive)) {
    if (unrecognised) TRACE_CODE(plat::GetLastError());
    for (const std::string& t : {std::string(archiveTemporary), ownTemporary, besideTemporary})
      if (!t.empty()) plat::DeleteFile(t.c_str());
    if (records) {
      // The old archive is still there, whole: its records go back.
      PutBack(f.beside, oldBeside);
      PutBack(f.own, oldOwn);
    }
    TRACE_TEXT("ERR WriteConfig4Beside");
    return false;
  }
  return CommitRecords(w, f, besideTemporary, ownTemporary);
}

// No room for both: the old backup is made unrecognisable and removed, the
// new archive written, and the config4 records written last, the medium's
// own the very last, so that the medium holds a whole backup or none that
// a selection takes.
bool ReplaceOld(VolumeWriter& w, const char* source, const MediumFiles& f) {
  if (!Unrecognise(f) || !DeleteFileForced(f.archive)) return false;
  if (!Talver_CopyFileDialog(w.owner, source, f.archive)) return false;
  if (!PutConfig4(f.beside, w.record) || !PutConfig4(f.own, w.record)) {
    TRACE_TEXT("ERR WriteConfig4Beside");
    return false;
  }
  return true;
}

// One volume (the whole archive, or one piece) with both config4 records.
int WriteVolume(VolumeWriter& w, const char* source) {
  MediumFiles f;
  std::uint64_t size = 0;
  if (!FilesOf(w.target, &f) || !plat::GetFileSizeByName(source, &size))
    return FailVolume(w.resultWord);
  const bool written =
      RoomForBoth(w.target, f, size) ? ReplaceBesideOld(w, source, f) : ReplaceOld(w, source, f);
  if (!written) return FailVolume(w.resultWord);
  w.written.push_back({*w.record, size});
  return 1;
}

int WriteWhole(VolumeWriter& w) { return WriteVolume(w, w.info->path); }

int WriteSplit(VolumeWriter& w) {
  const DWORD size = w.info->sizeLow;
  const DWORD count = size / kFloppyArchiveLimit + (size % kFloppyArchiveLimit ? 1 : 0);
  if (count > kMaxVolumes) {
    *w.resultWord = kWordNoRoom;
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
    if (!FORMAT_PATH(piece, "%s%ssvp_conf.%d", RootPath, "\\PLAXON\\TMP\\", static_cast<int>(n)))
      return FailVolume(w.resultWord);
    if (!WriteVolume(w, piece)) return 0;
    if (count == static_cast<DWORD>(n) + 1) return 1;
    if (!PrepareFurtherMedium(w.owner, w.target, &w.written, w.resultWord)) {
      TRACE_WORD(*w.resultWord);
      return 0;
    }
  }
}

// The capacity rules; 1 when the archive may be written (split or whole).
int CheckCapacity(VolumeWriter& w) {
  BackupTarget* t = w.target;
  // The two config4 records beside each piece take room as well, less the
  // room of those they replace.
  std::uint64_t records = 2 * sizeof(Config4Record);
  MediumFiles f;
  if (FilesOf(t, &f)) {
    for (const char* path : {f.own, f.beside}) {
      std::uint64_t size = 0;
      if (plat::GetFileSizeByName(path, &size)) records -= std::min<std::uint64_t>(size, records);
    }
  }
  if (t->isFloppy == 1) {
    if (t->freeBytes < kFloppyArchiveLimit + records) {
      *w.resultWord = kWordNoRoom;
      return 0;
    }
    if (w.info->sizeLow > kFloppyArchiveLimit) {
      if (ShowResultMessage(w.owner, kWordLargerThanFloppy, 0) == kAnswerNo) {
        *w.resultWord = kWordCancelled;
        return 0;
      }
      t->splitVolumes = 1;
    }
    return 1;
  }
  if (w.info->sizeLow + records > t->freeBytes) {
    *w.resultWord = kWordNoRoom;
    return 0;
  }
  return 1;
}

int ReadOwnConfig4(Config4Record* record, WORD* resultWord) {
  char path[MAX_PATH];
  if (!FORMAT_PATH(path, "%s\\%s", RootPath, kMediaConfig4)) {
    *resultWord = kWordFailure;
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
    *w.resultWord = kWordFailure;
    TRACE_WORD(kWordFailure);
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
    TRACE_CODE(kWordFailure);
    return 0;
  }
  if (!PathExists(path)) {
    *resultWord = kWordNoConfig4;
    TRACE_CODE(kWordNoConfig4);
    return 0;
  }
  Config4Record record{};
  WORD local = 0;
  if (!ReadConfig4File(path, reinterpret_cast<BYTE*>(&record), &local)) {
    TRACE_CODE(kWordFailure);
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
    *resultWord = kWordFailure;
    TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  HANDLE file = exf_CreateFile(probe, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE,
                               FILE_FLAG_DELETE_ON_CLOSE);
  if (!file) {
    DWORD error = plat::GetLastError();
    *resultWord = error == ERROR_WRITE_PROTECT ? kWordWriteProtected : kWordFailure;
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
    *resultWord = kWordFailure;
    TRACE_WORD(kWordFailure);
  } else {
    VolumeWriter w{owner, info, target, resultWord, record.get()};
    result = WriteVolumes(w);
  }
  if (result == 0 && *resultWord != kWordCancelled) ShowResultMessage(owner, *resultWord, 0);
  return result;
}
