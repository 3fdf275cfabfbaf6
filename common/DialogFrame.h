// What every dialog of the module does first when it opens: the common
// library's caption suffix appended to its title, the new title written as a
// trace line, the dialog centred on the desktop.
#pragma once

#include <cstddef>

#include "platform/WinTypes.h"

// Appends the caption suffix (at most 47 characters) to the dialog's title
// and returns the new title in title (at most size characters).
void AppendCaptionSuffix(HWND dialog, char* title, std::size_t size);

// The three opening steps; the title's trace line carries the source name
// and line given (OPEN_DIALOG_FRAME passes the caller's).
void OpenDialogFrame(HWND dialog, const char* source, int line);
#define OPEN_DIALOG_FRAME(dialog) OpenDialogFrame((dialog), kTraceSource, TRACE_LINE)
