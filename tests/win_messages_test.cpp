// A send between threads under the modal loop, with a small dialog procedure
// of the tests' own on a module's template (the progress dialogs' workers
// hold the rest of the message queues).
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/Platform.h"
#include "platform/Win.h"
#include "support/DialogRunner.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

using namespace plat;

namespace {

// A worker asked to stop gives up a send that was never taken, whether it
// waits in the send or takes the answer later.
struct StoppedSend {
  HWND dialog = 0;
  bool inFlight = false;
  std::atomic<LRESULT> answer{-1};
};

TEST(WinMessages, AStoppedSenderWithdrawsItsMessage) {
  for (const bool inFlight : {false, true}) {
    SCOPED_TRACE(inFlight ? "in flight" : "sent");
    TestWorld world;
    ScriptedOperator op;
    StoppedSend send;
    send.inFlight = inFlight;
    BOOL terminated = FALSE;
    int handled = 0;
    auto proc = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
      if (message == WM_INITDIALOG) {
        send.dialog = dialog;
        // The dialog's thread does not pump while it stops the worker.
        HANDLE worker = CreateThread(
            [](void* arg) {
              auto* s = static_cast<StoppedSend*>(arg);
              if (!s->inFlight) {
                s->answer = SendMessage(s->dialog, WM_USER + 7, 0, 0);
                return;
              }
              MessageInFlight m;
              m.Send(s->dialog, WM_USER + 7, 0, 0);
              s->answer = m.Await();
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
}

// Messages in flight reach the dialog in the order sent, each with its
// data, and each is answered.
struct InFlightSends {
  HWND dialog = 0;
  std::vector<LRESULT> answers;
};

TEST(WinMessages, MessagesInFlightArriveInOrderWithTheirData) {
  TestWorld world;
  ScriptedOperator op;
  InFlightSends sends;
  std::vector<int> seen;
  HANDLE worker = nullptr;
  auto proc = [&](HWND dialog, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      sends.dialog = dialog;
      worker = CreateThread(
          [](void* arg) {
            auto* s = static_cast<InFlightSends*>(arg);
            MessageInFlight m;
            int data = 0;
            for (int i = 1; i <= 3; ++i) {
              if (i > 1) s->answers.push_back(m.Await());
              data = 10 * i;  // the dialog is done with the last one
              m.Send(s->dialog, WM_USER + 8, 0, reinterpret_cast<LPARAM>(&data));
            }
            s->answers.push_back(m.Await());
            PostMessage(s->dialog, WM_CLOSE, 0, 0);
          },
          &sends);
    }
    if (message == WM_CLOSE) return EndDialog(dialog, 1);
    if (message == WM_USER + 8) seen.push_back(*reinterpret_cast<const int*>(lParam));
    return message == WM_INITDIALOG || message == WM_USER + 8;
  };
  EXPECT_EQ(testsupport::RunDialog(101, proc), 1);
  WaitForSingleObject(worker, INFINITE);
  CloseHandle(worker);
  EXPECT_EQ(seen, (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(sends.answers.size(), 3u);
}

}  // namespace
