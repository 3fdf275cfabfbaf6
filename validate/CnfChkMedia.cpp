// Identity checks of archives and backup files, and the file test they share.
#include "validate/CnfChkMedia.h"

#include <cstdio>
#include <cstring>

#include "archive/CnfCmpThd.h"
#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfProcess2.h"

TALVER_SOURCE("CnfChkMedia")

namespace {

// The service-processor type an archive must carry; nothing changes it.
char ExpectedSvpType[8] = "TQ520";

// The identity files unpacked from an archive, as they land in TMP.
constexpr const char* kCheckFileNames[] = {"DKCPRP.DAT", "CONFIG.INF", "LMCPT.DAT", "SVP_MAIN.INI"};

// RootPath followed by a relative path; a path that does not fit fails.
bool RootRelative(char (&out)[MAX_PATH], const char* relative) {
  if (FORMAT_PATH(out, "%s%s", RootPath, relative)) return true;
  TRACE_TEXT("ERR path too long");
  return false;
}

bool SameTextIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

using IdentityRead = int (*)(DWORD* value, const char* configDir, WORD* error);

// Reads one identity value from TMP, then from CONFIG, and compares them.
int CompareIdentityValue(IdentityRead read, WORD mismatch, WORD* resultWord) {
  char tmpDir[MAX_PATH], configDir[MAX_PATH];
  if (!RootRelative(tmpDir, "\\PLAXON\\TMP\\") || !RootRelative(configDir, "\\PLAXON\\CONFIG\\")) {
    *resultWord = kWordFailure;
    return 0;
  }
  DWORD archived = 0, current = 0;
  WORD error = 0;
  if (!read(&archived, tmpDir, &error) || !read(&current, configDir, &error)) {
    *resultWord = kWordFailure;
    TRACE_WORD(error);
    return 0;
  }
  if (archived == current) return 1;
  *resultWord = mismatch;
  return 0;
}

int ReadModel(DWORD* value, const char* dir, WORD* error) {
  return dsvp_ApiGetDkcModel(value, dir, error);
}
int ReadPcmType(DWORD* value, const char* dir, WORD* error) {
  return dsvp_ApiGetPcmType(value, dir, error);
}

// The serial number of a configuration directory; the error-code line with
// the library's error word and result word 0x2000 when it cannot be read.
int ReadDirectorySerialAt(const char* dir, DWORD* serial, WORD* resultWord) {
  WORD error = 0;
  if (!dsvp_ApiGetSerialNumber(dir, serial, &error)) {
    *resultWord = kWordFailure;
    TRACE_WORD(error);
    return 0;
  }
  return 1;
}

int ReadDirectorySerial(const char* relativeDir, DWORD* serial, WORD* resultWord) {
  char dir[MAX_PATH];
  if (!RootRelative(dir, relativeDir)) {
    *resultWord = kWordFailure;
    return 0;
  }
  return ReadDirectorySerialAt(dir, serial, resultWord);
}

void TraceSerialMismatch(DWORD hdd, DWORD other) {
  char line[64];
  std::snprintf(line, sizeof line, "Hdd=%d, Tmp=%d", static_cast<int>(hdd),
                static_cast<int>(other));
  TRACE_TEXT(line);
}

}  // namespace

int Talver_CheckZeLT330Data(WORD* resultWord) {
  char path[MAX_PATH];
  char type[64] = {};
  if (RootRelative(path, "\\PLAXON\\TMP\\SVP_MAIN.INI"))
    plat::GetPrivateProfileString("SVP_MAIN", "Type", "", type, sizeof type, path);
  if (SameTextIgnoringCase(type, ExpectedSvpType)) return 1;
  *resultWord = kWordWrongMedium;
  return 0;
}

int Talver_CheckDkcModel(WORD* resultWord) {
  return CompareIdentityValue(ReadModel, kWordModelMismatch, resultWord);
}

int Talver_CheckPcmType(WORD* resultWord) {
  return CompareIdentityValue(ReadPcmType, kWordPcmTypeMismatch, resultWord);
}

int ReadConfigInfType(const char* path, char type[3]) {
  plat::Stream* stream = OpenGuardedStream(path, "r", plat::SH_DENYNO);
  if (!stream) return 0;
  char line[32] = {};
  plat::fgets(line, sizeof line, stream);
  CloseGuardedStream(stream);
  type[0] = line[14];
  type[1] = line[15];
  type[2] = '\0';
  return 1;
}

int Talver_CheckConfigInfType(WORD* resultWord) {
  char tmpPath[MAX_PATH], configPath[MAX_PATH];
  char archived[3], current[3];
  if (!RootRelative(tmpPath, "\\PLAXON\\TMP\\CONFIG.INF") ||
      !RootRelative(configPath, "\\PLAXON\\CONFIG\\CONFIG.INF") ||
      !ReadConfigInfType(tmpPath, archived) || !ReadConfigInfType(configPath, current)) {
    *resultWord = kWordFailure;
    return 0;
  }
  if (std::strcmp(archived, current) == 0) return 1;
  *resultWord = kWordConfigTypeMismatch;
  return 0;
}

// The default serial number is accepted on either side.
int Talver_CheckSerialNumber(WORD* resultWord) {
  DWORD archived = 0, current = 0;
  if (!ReadDirectorySerial("\\PLAXON\\TMP\\", &archived, resultWord)) return 0;
  if (archived == DefaultSerialNumber) return 1;
  if (!ReadDirectorySerial("\\PLAXON\\CONFIG\\", &current, resultWord)) return 0;
  if (current == DefaultSerialNumber || current == archived) return 1;
  TraceSerialMismatch(current, archived);
  *resultWord = kWordSerialMismatch;
  return 0;
}

int CheckConfigIdentity(DWORD selector, WORD* resultWord) {
  struct Check {
    ConfigCheckSelector bit;
    int (*run)(WORD*);
    const char* failure;
  };
  static const Check kOrder[] = {
      {kCheckSvpType, Talver_CheckZeLT330Data, "ERR Talver_CheckZeLT330Data"},
      {kCheckDkcModel, Talver_CheckDkcModel, "ERR Talver_CheckDkcModel"},
      {kCheckPcmType, Talver_CheckPcmType, "ERR Talver_CheckPcmType"},
      {kCheckConfigInfType, Talver_CheckConfigInfType, "ERR Talver_CheckConfigInfType"},
      {kCheckSerialNumber, Talver_CheckSerialNumber, "ERR Talver_CheckSerialNumber"},
  };
  auto selected = static_cast<ConfigCheckSelector>(selector & 0xFF);
  for (const Check& check : kOrder) {
    if (!(selected & check.bit)) continue;
    if (!check.run(resultWord)) {
      TRACE_TEXT(check.failure);
      return 0;
    }
  }
  return 1;
}

int RemoveStaleCheckFiles() {
  for (const char* name : kCheckFileNames) {
    char path[MAX_PATH];
    if (!FORMAT_PATH(path, "%s%s%s", RootPath, "\\PLAXON\\TMP\\", name)) {
      TRACE_TEXT("ERR path too long");
      return 0;
    }
    if (!DeleteFileForced(path)) return 0;
  }
  return 1;
}

// The check of an archive: unpack the identity files into TMP, compare them
// with CONFIG, remove them again. Identity files left in TMP by an earlier
// run are removed first: the extraction accepts an archive that lacks one of
// the four names as long as another name matches twice, and a check must
// then fail on the missing file instead of reading a stale one.
int CheckConfigFileArchive(const char* archivePath, DWORD selector, WORD* resultWord) {
  if (!RemoveStaleCheckFiles()) {
    TRACE_TEXT("ERR RemoveStaleCheckFiles");
    *resultWord = kWordFailure;
    TRACE_WORD(*resultWord);
    return 0;
  }
  if (!Talver_ExtractCheckFiles(archivePath)) {
    *resultWord = kWordFailure;
    TRACE_WORD(*resultWord);
    return 0;
  }
  int result = CheckConfigIdentity(selector, resultWord);
  if (!result) TRACE_WORD(*resultWord);
  Talver_DeleteCheckFiles();
  return result;
}

int CheckBackupConfigInfType(const char* configDir, const BYTE* dkcf, WORD* resultWord) {
  char path[MAX_PATH];
  char current[3];
  if (!FORMAT_PATH(path, "%s%s", configDir, "CONFIG.INF")) {
    TRACE_TEXT("ERR path too long");
    *resultWord = kWordFailure;
    return 0;
  }
  if (!ReadConfigInfType(path, current)) {
    *resultWord = kWordFailure;
    return 0;
  }
  const char backup[3] = {static_cast<char>(dkcf[kDkcfTypeOffset]),
                          static_cast<char>(dkcf[kDkcfTypeOffset + 1]), '\0'};
  if (std::strcmp(current, backup) == 0) return 1;
  *resultWord = kWordConfigTypeMismatch;
  return 0;
}

int CheckBackupSerialNumber(const char* configDir, const BYTE* dkcf, const char* serialNumberFile,
                            WORD* resultWord) {
  DWORD stored = 0;
  std::memcpy(&stored, dkcf + kDkcfSerialOffset, sizeof stored);  // little-endian
  DWORD backup = stored + kDkcfSerialBase;
  if (backup == DefaultSerialNumber) {
    TRACE_TEXT("BackupFileSerialNo is DefaultSerialNo");
    *resultWord = kWordDefaultSerial;
    return 0;
  }
  DWORD svp = 0;
  if (!ReadDirectorySerialAt(configDir, &svp, resultWord)) return 0;
  bool fromFile = false;
  if (svp == DefaultSerialNumber) {
    TRACE_TEXT("HddSerialNo is DefaultSerialNo");
    if (!ReadSerialNumberFile(serialNumberFile, &svp)) {
      TRACE_TEXT("GetSerialNumberFalse");
      *resultWord = kWordDefaultSerial;
      return 0;
    }
    if (svp == DefaultSerialNumber) {
      TRACE_TEXT("SDLFileSerialNo is DefaultSerialNo");
      *resultWord = kWordDefaultSerial;
      return 0;
    }
    fromFile = true;
  }
  if (svp == backup) return 1;
  TraceSerialMismatch(svp, backup);
  *resultWord = fromFile ? kWordDefaultSerial : kWordFailure;
  return 0;
}

int ReadSerialNumberFile(const char* path, DWORD* serial) {
  plat::Stream* stream = OpenGuardedStream(path, "r", plat::SH_DENYNO);
  if (!stream) {
    TRACE_TEXT("SerialNumberFileOpenErr");
    return 0;
  }
  char text[16] = {};
  int result = 0;
  char line[64];
  if (!plat::fgets(text, sizeof text, stream)) {
    TRACE_TEXT("SerialNumberFileReadErr");
  } else if (std::strlen(text) != 6) {
    std::snprintf(line, sizeof line, "InvalidLength:%d(%s)", static_cast<int>(std::strlen(text)),
                  text);
    TRACE_TEXT(line);
  } else {
    // Leading digits only; the conversion stops at the first non-digit.
    DWORD value = 0;
    for (const char* c = text; *c >= '0' && *c <= '9'; ++c)
      value = value * 10 + static_cast<DWORD>(*c - '0');
    if (value == 0) {
      std::snprintf(line, sizeof line, "NotNumericChars:%s", text);
      TRACE_TEXT(line);
    } else {
      *serial = value;
      result = 1;
    }
  }
  CloseGuardedStream(stream);
  return result;
}
