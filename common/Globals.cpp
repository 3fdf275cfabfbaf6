#include "Globals.h"

#include <cstring>

#include "CompressRequest.h"
#include "Trace.h"
#include "svpsvc/SvpServices.h"

char RootPath[MAX_PATH];
HINSTANCE ModuleInstance = nullptr;
std::atomic<std::int32_t> CompressThreadState{0};

void RefreshRootPath() {
  // Every export's frame begins here: its call's trace lines count from 0.
  BeginCallTrace();
  const char* root = dsvw_GetDkcRootDir();
  // The root is a short drive prefix; a longer text is cut at the buffer.
  std::strncpy(RootPath, root ? root : "", sizeof RootPath - 1);
  RootPath[sizeof RootPath - 1] = '\0';
}
