#include "flows/CheckRestoredDkcf.h"

#include <array>

#include "backupfile/CnfSimpleCnfReaderWriter.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

TALVER_SOURCE_AT("CnfProcess", 3000)

namespace {

constexpr int kDkcfTableIndex = 9;

int FailWithoutDetail(WORD* resultWord) {
  *resultWord = kWordFailure;
  TRACE_WORD(kWordFailure);
  return 0;
}

}  // namespace

int CheckRestoredDkcf(WORD* resultWord) {
  char tablesDir[MAX_PATH];
  char configDir[MAX_PATH];
  char serialNumberFile[MAX_PATH];
  if (!FORMAT_PATH(tablesDir, "%s%s", RootPath, "\\PLAXON\\TMP\\TABLES\\") ||
      !FORMAT_PATH(configDir, "%s%s", RootPath, "\\PLAXON\\CONFIG\\") ||
      !FORMAT_PATH(serialNumberFile, "%s%s", RootPath, "\\PLAXON\\MP\\PC\\SerialNumber"))
    return FailWithoutDetail(resultWord);

  char dkcfPath[MAX_PATH] = {};
  if (GetTifFileInf(kDkcfTableIndex, tablesDir, 0, 0, dkcfPath, MAX_PATH, resultWord) != 1) {
    TRACE_WORD(*resultWord);
    return 0;
  }
  std::array<BYTE, kDkcfSize> dkcf{};
  if (!CnfSimpleCnfReaderWriter::ReadContainer(dkcfPath, dkcf.data(), kDkcfSize))
    return FailWithoutDetail(resultWord);
  if (CheckBackupConfigInfType(configDir, dkcf.data(), resultWord) != 1) {
    TRACE_WORD(*resultWord);
    return 0;
  }
  int result = CheckBackupSerialNumber(configDir, dkcf.data(), serialNumberFile, resultWord);
  if (result != 1) TRACE_WORD(*resultWord);
  return result;
}
