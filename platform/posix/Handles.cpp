// Closing handles: every handle of this machine is a KernelObject that its
// platform half made, and closing it deletes it. A Windows half closes the
// system's handles with the system's own calls.
#include "platform/KernelObject.h"
#include "platform/Platform.h"

namespace plat {

BOOL CloseHandle(HANDLE handle) {
  if (!handle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete handle;
  return TRUE;
}

BOOL FindClose(HANDLE search) { return CloseHandle(search); }

long LiveHandles() { return gLiveKernelObjects.load(); }

}  // namespace plat
