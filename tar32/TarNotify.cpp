// Progress messages of the archiver stand-in, and its own progress dialog.
#include "TarNotify.h"

#include <condition_variable>
#include <mutex>

#include "platform/DialogTemplate.h"
#include "platform/Platform.h"
#include "platform/Win.h"

// The window API's constants are macros on Windows: written unqualified.
using namespace plat;

namespace tar32 {
namespace {

constexpr char kProgressMessageName[] = "wm_arcextract";

constexpr int kBarId = 101;
constexpr int kEntryId = 102;

const plat::DialogControlTemplate kDialogControls[] = {
    {"msctls_progress32", "", kBarId, WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH, 7, 7, 200,
     14},
    {"Static", "", kEntryId, WS_CHILD | WS_VISIBLE | SS_LEFT, 7, 26, 200, 20},
};

// Built in memory, as the archiver has no dialog resources of its own.
const plat::DialogTemplate kDialogTemplate = {
    0,
    "tar32",
    WS_POPUP | WS_CAPTION | DS_MODALFRAME,
    "MS Shell Dlg",
    8,
    214,
    52,
    kDialogControls,
    static_cast<int>(sizeof kDialogControls / sizeof kDialogControls[0])};

}  // namespace

struct ProgressDialog::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::string caption;
  int total = 0;
  HWND window = 0;
  bool ended = false;
};

namespace {

plat::INT_PTR ProgressDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* shared = reinterpret_cast<ProgressDialog::Shared*>(lParam);
    plat::SetWindowText(dialog, shared->caption.c_str());
    plat::SendDlgItemMessage(dialog, kBarId, PBM_SETRANGE32, 0, shared->total);
    plat::SendDlgItemMessage(dialog, kBarId, PBM_SETSTEP, 1, 0);
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->window = dialog;
    }
    shared->changed.notify_all();
    return 1;
  }
  if (message == WM_CLOSE) {
    plat::EndDialog(dialog, 1);
    return 1;
  }
  if (message == plat::RegisterWindowMessage(kProgressMessageName) &&
      static_cast<int>(wParam) == kTarProgressEntry && lParam != 0) {
    const auto* record = reinterpret_cast<const TarProgressRecord*>(lParam);
    plat::SendDlgItemMessage(dialog, kBarId, PBM_STEPIT, 0, 0);
    plat::SetDlgItemText(dialog, kEntryId, record->fileName);
    return 1;
  }
  return 0;
}

void RunProgressDialog(void* arg) {
  auto* shared = static_cast<ProgressDialog::Shared*>(arg);
  plat::DialogBoxIndirectParam(nullptr, &kDialogTemplate, 0, ProgressDialogProc,
                               reinterpret_cast<plat::LPARAM>(shared));
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->ended = true;
  }
  shared->changed.notify_all();
}

}  // namespace

// Sent, not posted: the job waits until the owner has handled the message
// (an entry's before the next message), so the record it points at (the
// job's own) is valid for as long as the owner reads it, and the owner sees
// the messages in the order the job made them. A job told to stop while its
// message waits is released by the stop.
void NotifyOwner(HWND window, int code, const TarProgressRecord* record) {
  UINT message = plat::RegisterWindowMessage(kProgressMessageName);
  plat::SendMessage(window, message, static_cast<plat::WPARAM>(code),
                    reinterpret_cast<plat::LPARAM>(record));
}

void NotifyOwner(HWND window, int code, const TarProgressRecord* record,
                 plat::MessageInFlight& inFlight) {
  const UINT message = plat::RegisterWindowMessage(kProgressMessageName);
  inFlight.Send(window, message, static_cast<plat::WPARAM>(code),
                reinterpret_cast<plat::LPARAM>(record));
}

ProgressDialog::ProgressDialog() = default;

ProgressDialog::~ProgressDialog() { Close(); }

bool ProgressDialog::Open(const std::string& caption, int total) {
  Close();
  shared_ = std::make_unique<Shared>();
  shared_->caption = caption;
  shared_->total = total;
  thread_ = plat::CreateThread(RunProgressDialog, shared_.get());
  if (!thread_) {
    shared_.reset();
    return false;
  }
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->changed.wait(lock, [this] { return shared_->window != 0 || shared_->ended; });
  return shared_->window != 0;
}

HWND ProgressDialog::Window() const {
  if (!shared_) return 0;
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->ended ? 0 : shared_->window;
}

// Posted, not sent: a job that has been told to stop still closes its dialog.
void ProgressDialog::Close() {
  if (!thread_) return;
  if (HWND window = Window()) plat::PostMessage(window, WM_CLOSE, 0, 0);
  plat::WaitForSingleObject(thread_, INFINITE);
  plat::CloseHandle(thread_);
  thread_ = nullptr;
  shared_.reset();
}

}  // namespace tar32
