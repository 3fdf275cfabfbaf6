// Progress messages of the archiver stand-in.
#include "TarNotify.h"

#include "platform/Win.h"

namespace tar32 {
namespace {

constexpr char kProgressMessageName[] = "wm_arcextract";

}  // namespace

// Sent, not posted: the job waits until the owner has handled the message, so
// the record it points at (the job's own) is valid for as long as the owner
// reads it, and the owner sees the messages in the order the job made them.
// A job told to stop while its message waits is released by the stop.
void NotifyOwner(HWND window, int code, const TarProgressRecord* record) {
  UINT message = plat::RegisterWindowMessage(kProgressMessageName);
  plat::SendMessage(window, message, static_cast<plat::WPARAM>(code),
                    reinterpret_cast<plat::LPARAM>(record));
}

}  // namespace tar32
