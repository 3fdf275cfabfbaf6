// Progress messages of the archiver stand-in to its owner window.
#pragma once

#include "Tar32.h"

namespace tar32 {

// Posts the registered "wm_arcextract" message with the code; record (may be
// null) is copied into a ring of module-lived records whose address travels
// in lParam, so the receiver may read it after the job has moved on.
void NotifyOwner(HWND window, int code, const TarProgressRecord* record);

}  // namespace tar32
