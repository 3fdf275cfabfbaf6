// The unpacking step of dsvp_TalverIsUncompressed: an archive unpacked into a
// directory under the progress dialog.
#pragma once

#include "platform/WinTypes.h"

int Talver_ConfigIsUncompressed(HWND owner, const char* archivePath, const char* targetDir);
