// The hold that a flow writing the SVP's backups or configuration keeps for
// its whole run: a second caller, in another process or on another thread,
// waits a few seconds for it and then fails, instead of writing into the
// same folders, list files and temporaries at the same time.
#pragma once

#include "platform/WinTypes.h"

// How long a second caller waits for the hold.
constexpr DWORD kFlowLockWaitMs = 5000;

class FlowLock {
 public:
  FlowLock() = default;
  ~FlowLock();
  FlowLock(const FlowLock&) = delete;
  FlowLock& operator=(const FlowLock&) = delete;

  // True once held; a flow called inside another on the same thread shares
  // the outer hold. False after the trace line "ERR FlowLock" and the
  // error-code line (ERROR_LOCK_VIOLATION: another caller kept it).
  bool Take();

 private:
  HANDLE hold_ = nullptr;
  bool nested_ = false;
};
