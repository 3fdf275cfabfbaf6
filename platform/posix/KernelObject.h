// What a handle of the POSIX half points at. Every file, search, thread,
// mapping and enumeration that a half of this machine makes derives from
// KernelObject; closing the handle deletes it.
#pragma once

#include <atomic>

#include "platform/WinTypes.h"

namespace plat {

// The handles alive now (made and not yet closed), for the tests' leak checks.
inline std::atomic<long> gLiveKernelObjects{0};

struct KernelObject {
  KernelObject() { gLiveKernelObjects.fetch_add(1); }
  KernelObject(const KernelObject&) { gLiveKernelObjects.fetch_add(1); }
  KernelObject& operator=(const KernelObject&) = default;
  virtual ~KernelObject() { gLiveKernelObjects.fetch_sub(1); }
};

}  // namespace plat
