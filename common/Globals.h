// Module-wide state shared by every export and operation.
#pragma once

#include "platform/WinTypes.h"

// The software root ("C:"), refreshed at the start of each export.
extern char RootPath[MAX_PATH];
// The module's instance handle, kept at process attach.
extern HINSTANCE ModuleInstance;

// Copies the controller-identity library's root into RootPath (bounded).
// Also begins the call's trace (BeginCallTrace): every export calls it first.
void RefreshRootPath();
