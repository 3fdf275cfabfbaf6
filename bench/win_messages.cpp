// Message throughput of a progress dialog: a worker posts N step messages
// (and, in a second run, sends them, each blocking until handled) while the
// dialog steps its bar; prints messages per second.
// Usage: bench_win_messages [N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/Win.h"
#include "resources/Resources.h"

using namespace plat;

namespace {

int gTotal = 100000;
bool gSend = false;
int gHandled = 0;
std::thread gWorker;

class QuietOperator : public Operator {
 public:
  WORD AnswerMessageBox(const MessageBoxView& box) override { return ButtonsOf(box.style)[0]; }
  void OnDialog(const DialogView&, DialogActions&) override {}
};

INT_PTR Proc(HWND dialog, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SendDlgItemMessage(dialog, 1002, PBM_SETRANGE, 0, MAKELPARAM(0, 0xFFFF));
      SendDlgItemMessage(dialog, 1002, PBM_SETSTEP, 1, 0);
      gWorker = std::thread([dialog] {
        for (int i = 0; i < gTotal; ++i) {
          if (gSend)
            SendMessage(dialog, WM_USER + 3, 0, 0);
          else
            PostMessage(dialog, WM_USER + 4, 0, 0);
        }
        PostMessage(dialog, WM_CLOSE, 0, 0);
      });
      return TRUE;
    case WM_USER + 3:
    case WM_USER + 4:
      ++gHandled;
      SendDlgItemMessage(dialog, 1002, PBM_STEPIT, 0, 0);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

double Run(bool send) {
  gSend = send;
  gHandled = 0;
  auto start = std::chrono::steady_clock::now();
  if (DialogBoxParam(nullptr, 101, 0, Proc, 0) < 0) {
    std::fprintf(stderr, "the progress dialog 101 did not open\n");
    std::exit(1);
  }
  gWorker.join();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (gHandled != gTotal) std::fprintf(stderr, "handled %d of %d\n", gHandled, gTotal);
  return gTotal / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) gTotal = std::atoi(argv[1]);
  // The library registers its dialog templates when its exports are first
  // called; this program calls none, so it registers them itself.
  RegisterModuleResources();
  auto op = std::make_shared<QuietOperator>();
  SetOperator(op);
  std::printf("posted steps: %.0f messages/s (%d)\n", Run(false), gTotal);
  std::printf("sent steps:   %.0f messages/s (%d)\n", Run(true), gTotal);
  SetOperator(nullptr);
  return 0;
}
