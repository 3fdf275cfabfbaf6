// Progress messages of the archiver stand-in to its owner window.
#pragma once

#include "Tar32.h"

namespace tar32 {

// Sends the registered "wm_arcextract" message with the code; the address of
// record (may be null) travels in lParam and is valid while the owner handles
// the message.
void NotifyOwner(HWND window, int code, const TarProgressRecord* record);

}  // namespace tar32
