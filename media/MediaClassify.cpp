// Classification of a chosen medium by the config4 record it carries, and the
// config4 beside a chosen backup.
#include <cstring>
#include <memory>
#include <new>

#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "media/MediaSelection.h"

TALVER_SOURCE_AT("CnfSelPcDlg", 2000)

namespace {

constexpr char kMediumConfig4[] = "Plaxon\\Config\\config4";
constexpr char kSvpConfig4[] = "\\Plaxon\\Config\\config4";

// The SVP's own config4.
int ReadSvpConfig4(Config4Record* record, WORD* resultWord) {
  char path[MAX_PATH];
  if (!FORMAT_PATH(path, "%s%s", RootPath, kSvpConfig4)) {
    *resultWord = kWordFailure;
    return 0;
  }
  return ReadConfig4File(path, reinterpret_cast<BYTE*>(record), resultWord);
}

BYTE KindOfRecord(const Config4Record& record) {
  if (record.volumeCount == kConfig4NoVolumeInfo) return kMediaKeyCode;
  return record.Config4TypeWord < kConfig4NoType ? kMediaBackup : kMediaSoftware;
}

// Whether the request takes the kind; kind 2 for setup becomes one volume.
bool AcceptKind(MediaSelection* selection, BYTE kind, WORD* resultWord) {
  switch (selection->requestKind) {
    case kRequestBackupVolumes:
      return kind == kMediaBackup || kind == kMediaKeyCode || kind == kMediaSoftware;
    case kRequestSetup:
      if (kind == kMediaBackup) return true;
      if (kind == kMediaKeyCode) {
        selection->config4.volumeNumber = 0;
        selection->config4.volumeCount = 1;
        return true;
      }
      if (kind == kMediaSoftware) {
        *resultWord = kWordWrongMediumKind;
        return false;
      }
      break;
    case kRequestRestore:
      if (kind == kMediaBackup) return true;
      break;
    case kRequestSoftware:
      if (kind == kMediaSoftware) return true;
      break;
    default:
      if (kind == kMediaBackup || kind == kMediaSoftware) return true;
      break;
  }
  *resultWord = kWordWrongMedium;
  return false;
}

int ClassifyFailed(MediaSelection* selection, WORD savedType) {
  selection->MediaKind = kMediaNone;
  selection->config4.Config4TypeWord = savedType;
  return 0;
}

}  // namespace

int ClassifyMediaByConfig4(MediaSelection* selection, WORD* resultWord) {
  const WORD savedType = selection->config4.Config4TypeWord;
  std::unique_ptr<Config4Record> record(new (std::nothrow) Config4Record{});
  if (!record) {
    *resultWord = kWordFailure;
    return ClassifyFailed(selection, savedType);
  }
  char path[MAX_PATH];
  if (!FORMAT_PATH(path, "%s%s", selection->drivePath, kMediumConfig4) || !PathExists(path)) {
    *resultWord = kWordWrongMedium;
    TRACE_WORD(kWordWrongMedium);
    return ClassifyFailed(selection, savedType);
  }
  if (!ReadConfig4File(path, reinterpret_cast<BYTE*>(record.get()), resultWord)) {
    TRACE_WORD(*resultWord);
    return ClassifyFailed(selection, savedType);
  }
  std::memcpy(&selection->config4, record.get(), sizeof selection->config4);
  const BYTE kind = KindOfRecord(selection->config4);
  selection->MediaKind = kind;
  const WORD request = selection->requestKind;
  if (kind == kMediaSoftware && request != kRequestSetup && request != kRequestSoftware &&
      request != kRequestInstallMode0) {
    // A medium without a type takes the SVP's own.
    Config4Record own{};
    if (!ReadSvpConfig4(&own, resultWord)) {
      TRACE_WORD(*resultWord);
      return ClassifyFailed(selection, savedType);
    }
    selection->config4.Config4TypeWord = static_cast<WORD>(own.Config4TypeWord);
    selection->config4.volumeNumber = 0;
    selection->config4.volumeCount = 1;
  }
  if (kind == kMediaSoftware && request == kRequestSoftware)
    selection->config4.Config4TypeWord = savedType;
  if (!AcceptKind(selection, kind, resultWord)) {
    TRACE_WORD(*resultWord);
    return ClassifyFailed(selection, savedType);
  }
  return 1;
}

int ClassifySoftwareMedia(MediaSelection* selection, WORD* resultWord) {
  const WORD savedType = selection->config4.Config4TypeWord;
  Config4Record own{};
  if (!ReadSvpConfig4(&own, resultWord)) {
    TRACE_WORD(*resultWord);
    return ClassifyFailed(selection, savedType);
  }
  const WORD ownType = own.Config4TypeWord;
  selection->config4.Config4TypeWord = ownType;
  selection->config4.volumeNumber = 0;
  selection->config4.volumeCount = 1;
  FORMAT_PATH(TypeHexText, "%02x", ownType & 0xFF);
  char path[MAX_PATH];
  if (!FORMAT_PATH(path, "%s%s\\%s\\%s%s\\%s", selection->drivePath, "software", SizeCodeText,
                   ModelNumberText, TypeHexText, "config4") ||
      !TalVer_FindFile(path, 0)) {
    *resultWord = kWordWrongMedium;
    TRACE_WORD(kWordWrongMedium);
    return ClassifyFailed(selection, savedType);
  }
  selection->MediaKind = kMediaSoftware;
  if (selection->requestKind == kRequestSoftware) selection->config4.Config4TypeWord = savedType;
  return 1;
}

int LoadArchiveConfig4(MediaSelection* selection, WORD* resultWord) {
  char directory[MAX_PATH];
  char path[MAX_PATH];
  if (!GetFileDirectory(selection->archivePath, directory) ||
      !FORMAT_PATH(path, "%s%s", directory, "config4") || !PathExists(path)) {
    *resultWord = kWordWrongMedium;
    TRACE_WORD(kWordWrongMedium);
    return 0;
  }
  Config4Record record{};
  if (!ReadConfig4File(path, reinterpret_cast<BYTE*>(&record), resultWord)) {
    TRACE_WORD(*resultWord);
    return 0;
  }
  std::memcpy(&selection->config4, &record, sizeof selection->config4);
  return 1;
}
