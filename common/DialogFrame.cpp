// The opening steps shared by the module's dialogs.
#include "DialogFrame.h"

#include <cstdio>

#include "CnfFunc.h"
#include "Trace.h"
#include "platform/Win.h"
#include "svpsvc/SvpServices.h"

void AppendCaptionSuffix(HWND dialog, char* title, std::size_t size) {
  char suffix[48] = {};
  DWORD unusedA = 0, unusedB = 0;
  dsvp_ApiGetCaptionSuffix(0, suffix, &unusedA, &unusedB);
  suffix[sizeof suffix - 1] = '\0';
  char caption[MAX_PATH] = {};
  plat::GetWindowText(dialog, caption, sizeof caption);
  std::snprintf(title, size, "%s%s", caption, suffix);
  plat::SetWindowText(dialog, title);
}

void OpenDialogFrame(HWND dialog, const char* source, int line) {
  char title[MAX_PATH];
  AppendCaptionSuffix(dialog, title, sizeof title);
  TraceText(source, line, title);
  CenterWindow(dialog);
}
