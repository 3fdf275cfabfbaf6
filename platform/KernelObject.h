// What a handle made by this machine's own code points at: every file,
// search, thread, mapping and enumeration of the POSIX half, and the handles
// a decorating platform (a test's) hands out on either half, derive from
// KernelObject; closing the handle deletes it.
#pragma once

#include <atomic>

#include "platform/WinTypes.h"

namespace plat {

// The handles alive now (made and not yet closed), for the tests' leak checks.
inline std::atomic<long> gLiveKernelObjects{0};

#if defined(_WIN32)
// On Windows a handle is the system's own or one of these: the Windows half
// keeps their addresses to tell them apart when it closes one.
void NoteKernelObject(const void* object, bool alive);
#else
inline void NoteKernelObject(const void*, bool) {}
#endif

struct KernelObject {
  KernelObject() { Made(); }
  KernelObject(const KernelObject&) { Made(); }
  KernelObject& operator=(const KernelObject&) = default;
  virtual ~KernelObject() {
    gLiveKernelObjects.fetch_sub(1);
    NoteKernelObject(this, false);
  }

 private:
  void Made() {
    gLiveKernelObjects.fetch_add(1);
    NoteKernelObject(this, true);
  }
};

}  // namespace plat
