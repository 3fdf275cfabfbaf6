#include "common/FlowLock.h"

#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE_AT("CnfFunc", 1000)

namespace {

// Holds taken by this thread and not yet let go.
thread_local int HoldsOfThisThread = 0;

}  // namespace

bool FlowLock::Take() {
  if (hold_ || nested_) return true;
  if (HoldsOfThisThread > 0) {
    nested_ = true;
    ++HoldsOfThisThread;
    return true;
  }
  char folder[MAX_PATH], path[MAX_PATH];
  if (!FORMAT_PATH(folder, "%s%s", RootPath, "\\PLAXON\\TMP") ||
      !FORMAT_PATH(path, "%s%s", folder, "\\cnflock")) {
    TRACE_TEXT("ERR FlowLock");
    TRACE_CODE(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  hold_ = exf_Hold(path, kFlowLockWaitMs);
  // The work folder is made where a fresh SVP lacks it.
  if (!hold_ && plat::GetLastError() == ERROR_PATH_NOT_FOUND && plat::CreateDirectory(folder))
    hold_ = exf_Hold(path, kFlowLockWaitMs);
  if (!hold_) {
    const DWORD error = plat::GetLastError();
    TRACE_TEXT("ERR FlowLock");
    TRACE_CODE(error);
    return false;
  }
  ++HoldsOfThisThread;
  return true;
}

FlowLock::~FlowLock() {
  if (!hold_ && !nested_) return;
  --HoldsOfThisThread;
  if (hold_) exf_Release(hold_);
}
