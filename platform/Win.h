// The window API that the system's dialogs are written against: windows,
// window messages, modal dialogs from the module's templates and the common
// controls they use. A Windows build takes it from the system's own headers;
// elsewhere the window emulation of the platform stand-in provides it in
// namespace plat, with the same names and semantics (docs/dialogs.md).
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <commctrl.h>
#else
#include "platform/winemu/WinApi.h"
#endif
