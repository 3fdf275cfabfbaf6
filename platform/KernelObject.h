// What a handle made by this machine's own code points at: every file,
// search, thread, mapping and enumeration of the POSIX half, and the handles
// a decorating platform (a test's) hands out on either half, derive from
// KernelObject; closing the handle deletes it.
#pragma once

#include <atomic>
#include <string>

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

// An open folder (Platform::OpenFolder): the path it was opened by, ending
// in a separator. A half that holds the folder itself derives from it.
struct FolderObject : KernelObject {
  FolderObject();
  ~FolderObject() override;
  std::string path;
};
// The open folder `handle` is; null for any other handle (on Windows also
// for one of the system's own, which is never looked into).
FolderObject* FolderObjectOf(HANDLE handle);

}  // namespace plat
