// Sample dialogs of the host API: a progress dialog with a worker and a
// confirmation, run on the module's templates, so that a host program can
// see how its operator shows and answers them (svpconf try-dialogs).
#include <cstdio>

#include "common/CnfFunc.h"
#include "common/DialogFrame.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "host/talver_host.h"
#include "platform/Platform.h"
#include "platform/Win.h"
#include "svpsvc/SvpServices.h"

using namespace plat;

namespace {

constexpr UINT kSampleStep = WM_USER + 4;

struct SampleRun {
  HWND dialog = 0;
  int steps = 0;
  DWORD pause = 0;
  HANDLE worker = nullptr;
};
SampleRun gRun;
WCHAR gConfirmText[512];

// The module's opening steps, without the title's trace line: the sample
// dialogs belong to the host program, not to the module's trace.
void OpenSampleDialog(HWND dialog) {
  char title[MAX_PATH];
  AppendCaptionSuffix(dialog, title, sizeof title);
  CenterWindow(dialog);
}

void SampleWorker(void* arg) {
  auto* run = static_cast<SampleRun*>(arg);
  for (int i = 0; i < run->steps && !StopRequested(); ++i) {
    Sleep(run->pause);
    PostMessage(run->dialog, kSampleStep, static_cast<WPARAM>(i), 0);
  }
  PostMessage(run->dialog, WM_CLOSE, 0, 0);
}

INT_PTR SampleProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      OpenSampleDialog(dialog);
      gRun.dialog = dialog;
      char clip[MAX_PATH];
      if (FORMAT_PATH(clip, "%s%s", RootPath, "\\plaxon\\mp\\pc\\cnfpak.avi"))
        SendDlgItemMessage(dialog, 1001, ACM_OPEN, 0, reinterpret_cast<LPARAM>(clip));
      SendDlgItemMessage(dialog, 1002, PBM_SETRANGE, 0,
                         MAKELPARAM(0, static_cast<WORD>(gRun.steps)));
      SendDlgItemMessage(dialog, 1002, PBM_SETSTEP, 1, 0);
      gRun.worker = CreateThread(SampleWorker, &gRun);
      if (!gRun.worker) EndDialog(dialog, 7);
      return TRUE;
    }
    case kSampleStep: {
      char entry[64];
      std::snprintf(entry, sizeof entry, "CONFIG/sample%03u.dat", static_cast<unsigned>(wParam));
      SendDlgItemMessage(dialog, 1002, PBM_STEPIT, 0, 0);
      SetDlgItemText(dialog, 1003, entry);
      UpdateWindow(dialog);
      return TRUE;
    }
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR SampleConfirmProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OpenSampleDialog(dialog);
      if (dsvp_CreateMsgStringW(gConfirmText, sizeof gConfirmText, 63, static_cast<int>(lParam),
                                20214, 2) < 0) {
        EndDialog(dialog, 7);
        return TRUE;
      }
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      SetFocus(GetDlgItem(dialog, IDCANCEL));
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          SendMessage(dialog, WM_CLOSE, 0, 0);
          return TRUE;
        case 1038:
          EnableWindow(GetDlgItem(dialog, IDOK), IsDlgButtonChecked(dialog, 1038) == BST_CHECKED);
          return TRUE;
      }
      return FALSE;
    case WM_DRAWITEM:
      if (wParam == 1039)
        DrawMessageText(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), gConfirmText);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 2);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

int TalverHost_ShowSampleDialogs(int steps, unsigned pauseMs, int messageId) {
  if (!HasCurrent()) return 0;
  RefreshRootPath();
  gRun = SampleRun{};
  gRun.steps = steps < 0 ? 0 : steps > 0xFFFF ? 0xFFFF : steps;
  gRun.pause = pauseMs;
  INT_PTR progress = DialogBoxParam(ModuleInstance, 101, 0, SampleProgressProc, 0);
  if (gRun.worker) {
    // Closed early by the operator: the worker stops at its next step.
    TerminateThread(gRun.worker, 0);
    CloseHandle(gRun.worker);
    gRun.worker = nullptr;
  }
  if (progress != 1) return static_cast<int>(progress);
  return static_cast<int>(
      DialogBoxParam(ModuleInstance, 117, 0, SampleConfirmProc, static_cast<LPARAM>(messageId)));
}
