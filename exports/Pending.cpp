// Operations whose modules are not built yet: each fails cleanly with the
// result word 0x2000 and one trace line, so that every export already runs
// its whole frame.
#include <cstdio>

#include "common/Trace.h"
#include "exports/Exports.h"
#include "exports/Operations.h"

TALVER_SOURCE("Talver")

namespace {
WORD gPendingWord = 0x2000;

int NotAvailable(WORD* resultWord, const char* what) {
  char line[128];
  std::snprintf(line, sizeof line, "ERR %s (not available in this build)", what);
  TRACE_TEXT(line);
  if (resultWord) *resultWord = gPendingWord;
  return 0;
}
}  // namespace

WORD SetPendingResultWord(WORD word) {
  WORD previous = gPendingWord;
  gPendingWord = word;
  return previous;
}

int Talver_BackupConfigToMedia(HWND, WORD* rw) { return NotAvailable(rw, "Talver_BackupConfigToMedia"); }
int Talver_OffSvpBackupByModel(HWND, DWORD, WORD, WORD* rw) {
  return NotAvailable(rw, "Talver_OffSvpBackupByModel");
}
WORD SetupConfigInSvp(HWND, const char*, const char*, WORD* rw) {
  return static_cast<WORD>(NotAvailable(rw, "SetupConfigInSvp"));
}
int RestoreConfigFromMedia(HWND, WORD*, char*, char*, WORD* rw) {
  return NotAvailable(rw, "RestoreConfigFromMedia");
}
int RestoreConfigFromBackupFile(HWND, char*, char*, WORD* rw) {
  return NotAvailable(rw, "RestoreConfigFromBackupFile");
}
