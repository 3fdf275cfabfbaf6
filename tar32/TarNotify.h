// Progress messages of the archiver stand-in to its owner window, and the
// archiver's own progress dialog.
#pragma once

#include <memory>
#include <string>

#include "Tar32.h"
#include "platform/Win.h"

namespace tar32 {

// Sends the registered "wm_arcextract" message with the code; the address of
// record (may be null) travels in lParam and is valid while the owner handles
// the message.
void NotifyOwner(HWND window, int code, const TarProgressRecord* record);
// The same without waiting for the owner: `inFlight` takes its answer, and
// record stays valid until then.
void NotifyOwner(HWND window, int code, const TarProgressRecord* record,
                 plat::MessageInFlight& inFlight);

// The archiver's own progress dialog, for a job run with "--display-dialog=1"
// that has no owner window to report to: a bar over the job's entries and
// the name of the entry being processed. A thread of its own runs the dialog
// (through the platform's dialogs, so the operator sees it as it sees the
// system's progress dialogs); the job sends it the same messages it sends an
// owner. It has no button: the operator only watches it.
class ProgressDialog {
 public:
  ProgressDialog();
  ~ProgressDialog();
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  // Opens the dialog with its caption and the number of entries expected;
  // false when its thread or window cannot be made (the job then runs
  // without a display).
  bool Open(const std::string& caption, int total);
  // The dialog's window; 0 when it is not open.
  HWND Window() const;
  // Closes the dialog and waits for its thread.
  void Close();

  // What the job and the dialog's thread share.
  struct Shared;

 private:
  std::unique_ptr<Shared> shared_;
  HANDLE thread_ = nullptr;
};

}  // namespace tar32
