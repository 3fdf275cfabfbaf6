// config4 records (the SVP's own and those of media), the volume check of a
// split archive, and the version texts of CONFIG.INF and of a DKCF.
#include "validate/CnfProcess2.h"

#include <cstring>

#include "backupfile/CnfSimpleCnfReaderWriter.h"
#include "common/CnfFunc.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/SerialNumber.h"
#include "common/Trace.h"
#include "platform/Platform.h"

TALVER_SOURCE("CnfProcess2")

// Reads 32 bytes of a config4 file. Only the read call's success counts: a
// shorter file leaves the rest of the buffer as it was.
int ReadConfig4Record(const char* fileName, BYTE* record32) {
  RefreshRootPath();
  HANDLE file = plat::CreateFile(fileName, GENERIC_READ, 0, OPEN_EXISTING, 0);
  if (!file) {
    TRACE_CODE(0);
    return 0;
  }
  DWORD got = 0;
  int result = plat::ReadFile(file, record32, sizeof(Config4Record), &got) ? 1 : 0;
  if (!result) TRACE_CODE(plat::GetLastError());
  plat::CloseHandle(file);
  return result;
}

int ReadConfig4File(const char* path, BYTE* record32, WORD* resultWord) {
  if (!PathExists(path)) {
    *resultWord = kWordFailure;
    return 0;
  }
  if (!ReadConfig4Record(path, record32)) {
    *resultWord = kWordFailure;
    TRACE_CODE(kWordFailure);
    return 0;
  }
  return 1;
}

int CheckNextVolume(const Config4Record* previous, const Config4Record* next, WORD* resultWord) {
  bool continues =
      next->volumeNumber == previous->volumeNumber + 1 &&
      next->archiveTimeHigh == previous->archiveTimeHigh &&
      next->archiveTimeLow == previous->archiveTimeLow &&
      (next->serialNumber == previous->serialNumber || next->serialNumber == DefaultSerialNumber);
  if (continues) return 1;
  *resultWord = kWordWrongDisk;
  TRACE_CODE(kWordWrongDisk);
  return 0;
}

// "XX-XX-XX/XX" from eight source characters.
void BuildVersionText(const char* c, char* text) {
  const char built[kVersionTextSize] = {c[0], c[1], '-', c[2], c[3], '-',
                                        c[4], c[5], '/', c[6], c[7], '\0'};
  std::memcpy(text, built, sizeof built);
}

void ResetVersionText(char* text, std::size_t size) {
  if (size >= sizeof kIdleVersionText) std::memcpy(text, kIdleVersionText, sizeof kIdleVersionText);
}

int ReadVersionText(const char* path, char* text, std::size_t size) {
  if (size < kVersionTextSize) return 0;
  std::memset(text, 0, size);
  plat::Stream* stream = OpenGuardedStream(path, "r", plat::SH_DENYNO);
  if (!stream) return 0;
  char line[256] = {};
  bool read = plat::fgets(line, sizeof line, stream) != nullptr;
  CloseGuardedStream(stream);
  if (!read) return 0;
  BuildVersionText(line + 8, text);
  return 1;
}

int ReadContainerVersionText(const char* path, char* text, std::size_t size) {
  if (size < kVersionTextSize) return 0;
  std::memset(text, 0, size);
  static_assert(kDkcfVersionOffset + 8 <= kDkcfSize);
  BYTE dkcf[kDkcfSize];
  if (!CnfSimpleCnfReaderWriter::ReadContainer(path, dkcf, sizeof dkcf)) return 0;
  BuildVersionText(reinterpret_cast<const char*>(dkcf + kDkcfVersionOffset), text);
  return 1;
}
