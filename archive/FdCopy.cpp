// Free space of a backup target medium, with the recognition of a floppy.
#include "archive/FdCopy.h"

#include <cstdint>

#include "common/CnfFunc.h"
#include "common/Format.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "platform/Platform.h"

TALVER_SOURCE("FdCopy")

namespace {

// Byte counts of large media do not fit the record's 32 bits: they are held
// at the largest value rather than wrapped round to a small one.
DWORD Clamp32(std::uint64_t bytes) {
  return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(bytes);
}

// Size of this controller's archive on the medium, 0 when there is none.
std::uint64_t ExistingArchiveSize(const char* drivePath) {
  char archive[MAX_PATH];
  if (!FORMAT_PATH(archive, "%sPLAXON\\CONFIG\\%.6d\\svp_conf.tgz", drivePath,
                   static_cast<int>(GetSerialNumber())))
    return 0;
  std::uint64_t size = 0;
  return plat::GetFileSizeByName(archive, &size) ? size : 0;
}

}  // namespace

int Talver_GetMediaFreeSpace(BackupTarget* target, WORD* resultWord) {
  std::uint64_t freeToCaller = 0, totalBytes = 0, totalFree = 0;
  BOOL result = plat::GetDiskFreeSpaceEx(target->drivePath, &freeToCaller, &totalBytes, &totalFree);
  if (!result) {
    DWORD error = plat::GetLastError();
    *resultWord = error == ERROR_NOT_READY ? kWordMediumNotReady : kWordDriveQueryFailed;
    TRACE_CODE(error);
    return 0;
  }
  target->freeBytes = Clamp32(totalFree + ExistingArchiveSize(target->drivePath));
  if (totalBytes == kFloppyTotalBytes) target->isFloppy = 1;
  return result;
}
