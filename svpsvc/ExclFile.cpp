// The exclusive-file library stand-in: lets every open proceed and counts the
// guarded opens so that tests can check each one was ended.
#include <atomic>
#include <cstdint>

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

HANDLE exf_Hold(const char* path, DWORD waitMs) {
  constexpr DWORD kPollMs = 20;
  HANDLE file = plat::CreateFile(path, GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, 0);
  if (!file) return nullptr;
  const std::uint32_t start = plat::GetTickCount();
  while (!plat::TryLockFile(file)) {
    const DWORD error = plat::GetLastError();
    if (error != ERROR_LOCK_VIOLATION || plat::GetTickCount() - start >= waitMs) {
      plat::CloseHandle(file);
      plat::SetLastError(error);
      return nullptr;
    }
    plat::Sleep(kPollMs);
  }
  return file;
}

void exf_Release(HANDLE hold) {
  if (hold) plat::CloseHandle(hold);
}
