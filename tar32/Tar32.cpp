// Archiver stand-in: gzip-compressed POSIX tar archives through libarchive,
// every file reached through the platform layer (docs/archiver.md). This
// file holds the command entry and the owner window; the jobs and the
// enumeration have files of their own.
#include "Tar32.h"

#include <atomic>
#include <cstdio>

#include "TarCommand.h"
#include "TarJob.h"

namespace {

std::atomic<HWND> gOwnerWindow{0};
std::atomic<bool> gCursorMode{false};

const char* FailureText(int code) {
  switch (code) {
    case kTarErrorCommand:
      return "malformed command line";
    case kTarErrorArchive:
      return "archive cannot be opened or created";
    case kTarErrorListFile:
      return "list file cannot be read";
    case kTarErrorSource:
      return "file to pack missing or unreadable";
    case kTarErrorWrite:
      return "write failed";
    case kTarErrorFormat:
      return "not a gzip tar archive or damaged";
    case kTarErrorUnsafe:
      return "entry outside the target refused";
    case kTarErrorStopped:
      return "stopped";
    case kTarErrorResources:
      return "out of resources";
    case kTarErrorTarget:
      return "target directory missing";
    case kTarErrorNotFound:
      return "named entry not in the archive";
    case kTarErrorPath:
      return "path too long";
    default:
      return "failed";
  }
}

}  // namespace

int Tar(HWND, const char* commandLine, char* output, DWORD outputSize) {
  tar32::TarCommand cmd;
  int entries = 0;
  int code = 0;
  if (!tar32::ParseTarCommand(commandLine, &cmd))
    code = kTarErrorCommand;
  else if (cmd.operation == 'c')
    code = tar32::RunCreate(cmd, &entries);
  else
    code = tar32::RunExtract(cmd, &entries);
  if (output && outputSize) {
    if (code)
      std::snprintf(output, outputSize, "error 0x%X: %s", static_cast<unsigned>(code),
                    FailureText(code));
    else
      std::snprintf(output, outputSize, "%d entries", entries);
  }
  return code;
}

BOOL TarSetOwnerWindow(HWND window) {
  if (!window) return FALSE;
  gOwnerWindow = window;
  return TRUE;
}

BOOL TarClearOwnerWindow() {
  gOwnerWindow = 0;
  return TRUE;
}

HWND TarOwnerWindow() { return gOwnerWindow.load(); }

BOOL TarSetCursorMode(BOOL mode) {
  gCursorMode = mode != 0;
  return TRUE;
}
