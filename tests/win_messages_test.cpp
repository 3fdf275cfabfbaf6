// A send between threads under the modal loop, with a small dialog procedure
// of the tests' own on a module's template (the progress dialogs' workers
// hold the rest of the message queues).
#include <gtest/gtest.h>

#include <atomic>

#include "platform/Platform.h"
#include "platform/Win.h"
#include "support/DialogRunner.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

using namespace plat;

namespace {

// A worker asked to stop gives up a send that was never taken.
struct StoppedSend {
  HWND dialog = 0;
  std::atomic<LRESULT> answer{-1};
};

TEST(WinMessages, AStoppedSenderWithdrawsItsMessage) {
  TestWorld world;
  ScriptedOperator op;
  StoppedSend send;
  BOOL terminated = FALSE;
  int handled = 0;
  auto proc = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      send.dialog = dialog;
      // The dialog's thread does not pump while it stops the worker.
      HANDLE worker = CreateThread(
          [](void* arg) {
            auto* s = static_cast<StoppedSend*>(arg);
            s->answer = SendMessage(s->dialog, WM_USER + 7, 0, 0);
          },
          &send);
      terminated = TerminateThread(worker, 0);
      CloseHandle(worker);
      PostMessage(dialog, WM_CLOSE, 0, 0);
    }
    if (message == WM_CLOSE) return EndDialog(dialog, 1);
    if (message == WM_USER + 7) ++handled;
    return message == WM_INITDIALOG || message == WM_USER + 7;
  };
  EXPECT_EQ(testsupport::RunDialog(101, proc), 1);
  EXPECT_TRUE(terminated);
  EXPECT_EQ(send.answer.load(), 0);
  EXPECT_EQ(handled, 0);  // never handled with its sender's data gone
}

}  // namespace
