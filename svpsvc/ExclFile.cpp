// The exclusive-file library stand-in: lets every open proceed and counts the
// guarded opens so that tests can check each one was ended.
#include <atomic>

#include "SvpServices.h"
#include "platform/Platform.h"

namespace {
std::atomic<int> gBegun{0}, gRegistered{0}, gEnded{0};
}

namespace svc {
ExclusiveCounts GetExclusiveCounts() { return {gBegun.load(), gRegistered.load(), gEnded.load()}; }
void ResetExclusiveCounts() {
  gBegun = 0;
  gRegistered = 0;
  gEnded = 0;
}
}  // namespace svc

int exf_BeginOpen(const char* path, const char* mode) {
  ++gBegun;
  return path && mode ? 1 : 0;
}

plat::Stream* exf_RegisterStream(plat::Stream* stream, int /*flags*/) {
  if (stream) ++gRegistered;
  return stream;
}

void exf_EndOpen(int /*closeResult*/, plat::Stream* /*stream*/, int /*flags*/) { ++gEnded; }

int exf_DeleteFile(const char* path) { return plat::DeleteFile(path); }

HANDLE exf_CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                      DWORD /*attributes*/, DWORD flags) {
  return plat::CreateFile(path, access, share, disposition, flags);
}

void exf_CloseFile(HANDLE file) {
  if (file) plat::CloseHandle(file);
}
