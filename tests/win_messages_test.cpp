// Message queues, post and send between threads, and the modal loop, with
// small dialog procedures of the tests' own on the module's templates.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/Win.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

using namespace plat;

namespace {

constexpr UINT kStep = WM_USER + 4;
constexpr UINT kCopyStep = WM_USER + 3;

// ---- a worker posting step messages while the dialog runs -------------------

struct StepRun {
  int total = 0;
  std::vector<WPARAM> received;
  std::thread worker;
};
StepRun* gStep = nullptr;

INT_PTR StepProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SendDlgItemMessage(dialog, 1002, PBM_SETRANGE, 0, MAKELPARAM(0, gStep->total));
      SendDlgItemMessage(dialog, 1002, PBM_SETSTEP, 1, 0);
      gStep->worker = std::thread([dialog] {
        for (int i = 0; i < gStep->total; ++i) PostMessage(dialog, kStep, i, 0);
        PostMessage(dialog, WM_CLOSE, 0, 0);
      });
      return TRUE;
    case kStep:
      gStep->received.push_back(wParam);
      SendDlgItemMessage(dialog, 1002, PBM_STEPIT, 0, 0);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

TEST(WinMessages, WorkerStepsArriveInOrderWhileTheDialogRuns) {
  ScriptedOperator op;
  StepRun run;
  run.total = 300;
  gStep = &run;
  INT_PTR result = DialogBoxParam(nullptr, 101, 0, StepProc, 0);
  run.worker.join();
  gStep = nullptr;
  EXPECT_EQ(result, 1);
  ASSERT_EQ(run.received.size(), 300u);
  for (WPARAM i = 0; i < 300; ++i) ASSERT_EQ(run.received[i], i);
  auto closed = op.ClosedDialogs();
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].first.caption, "TALVER Wait...");
  ASSERT_NE(closed[0].first.ProgressBar(), nullptr);
  EXPECT_EQ(closed[0].first.ProgressBar()->position, 300);
  EXPECT_EQ(closed[0].second, 1);
}

// ---- a send from a worker blocks until the dialog's thread handled it ------

struct SendRun {
  std::thread::id dialogThread;
  std::atomic<bool> handled{false};
  std::thread::id handledOn;
  LRESULT answer = 0;
  bool handledBeforeReturn = false;
  LRESULT sendToGoneWindow = -1;
  std::thread worker;
};
SendRun* gSend = nullptr;

INT_PTR SendProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      gSend->dialogThread = std::this_thread::get_id();
      gSend->worker = std::thread([dialog] {
        gSend->answer = SendMessage(dialog, kCopyStep, 7, 0);
        gSend->handledBeforeReturn = gSend->handled.load();
        SendMessage(dialog, WM_CLOSE, 0, 0);
        // Once the dialog is gone a send answers 0 at once.
        while (IsWindow(dialog)) std::this_thread::yield();
        gSend->sendToGoneWindow = SendMessage(dialog, kCopyStep, 1, 0);
      });
      return TRUE;
    case kCopyStep:
      // Hold the sender a little: it must still be waiting afterwards.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      gSend->handledOn = std::this_thread::get_id();
      gSend->handled = true;
      return static_cast<INT_PTR>(wParam * 6);
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

TEST(WinMessages, SendFromAWorkerBlocksUntilHandledOnTheDialogThread) {
  ScriptedOperator op;
  SendRun run;
  gSend = &run;
  EXPECT_EQ(DialogBoxParam(nullptr, 101, 0, SendProc, 0), 1);
  run.worker.join();
  gSend = nullptr;
  EXPECT_EQ(run.answer, 42);
  EXPECT_TRUE(run.handledBeforeReturn);
  EXPECT_EQ(run.handledOn, run.dialogThread);
  EXPECT_EQ(run.sendToGoneWindow, 0);
}

// ---- end-dialog during the opening message -----------------------------------

int gDrawn = 0;
HWND gOpened = 0;

INT_PTR EndAtOnceProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    gOpened = dialog;
    EndDialog(dialog, static_cast<INT_PTR>(lParam));
    return TRUE;
  }
  if (message == WM_DRAWITEM) ++gDrawn;
  return FALSE;
}

TEST(WinMessages, EndDialogDuringTheOpeningMessageReturnsItsValueUnseen) {
  ScriptedOperator op;  // an empty script: the operator must not be asked
  gDrawn = 0;
  EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, EndAtOnceProc, 7), 7);
  EXPECT_EQ(gDrawn, 0);
  EXPECT_TRUE(op.SeenDialogs().empty());
  EXPECT_TRUE(op.ClosedDialogs().empty());
  EXPECT_FALSE(IsWindow(gOpened));
  EXPECT_EQ(GetDlgItem(gOpened, 1), 0u);
}

TEST(WinMessages, UnknownTemplateFailsWithMinusOne) {
  EXPECT_EQ(DialogBoxParam(nullptr, 999, 0, EndAtOnceProc, 1), -1);
}

// ---- the idle message closes a dialog that polls a state word ---------------

std::atomic<int> gState{0};
std::atomic<int> gIdleSeen{0};
std::thread gPollWorker;

INT_PTR PollProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    // The worker fails without a word to the dialog.
    gPollWorker = std::thread([] { gState = -1; });
    return TRUE;
  }
  if (message == WM_CLOSE) {
    EndDialog(dialog, 1);
    return TRUE;
  }
  if (message == WM_ENTERIDLE) ++gIdleSeen;
  if (gState == -1) SendMessage(dialog, WM_CLOSE, 0, 0);
  return FALSE;
}

TEST(WinMessages, IdleMessageLetsAPollingDialogCloseWhenNothingArrives) {
  ScriptedOperator op;
  gState = 0;
  gIdleSeen = 0;
  EXPECT_EQ(DialogBoxParam(nullptr, 101, 0, PollProc, 0), 1);
  gPollWorker.join();
  EXPECT_GE(gIdleSeen.load(), 1);
}

// ---- the caller's wait after the dialog --------------------------------------

std::atomic<int> gSilentState{0};
std::atomic<int> gPostsRefused{0};
std::thread gSilentWorker;

// With no display the dialog closes while it opens; its worker goes on and
// its messages to the gone dialog are refused without blocking.
INT_PTR SilentProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    gSilentWorker = std::thread([dialog] {
      while (IsWindow(dialog)) std::this_thread::yield();
      for (int i = 0; i < 3; ++i)
        if (!PostMessage(dialog, kStep, i, 0)) ++gPostsRefused;
      if (SendMessage(dialog, kStep, 0, 0) == 0) ++gPostsRefused;
      gSilentState = 1;
    });
    SendMessage(dialog, WM_CLOSE, 0, 0);
    return TRUE;
  }
  if (message == WM_CLOSE) {
    EndDialog(dialog, 1);
    return TRUE;
  }
  return FALSE;
}

TEST(WinMessages, CallerDispatchesPendingMessagesUntilTheStateWordLeavesZero) {
  ScriptedOperator op;
  gSilentState = 0;
  gPostsRefused = 0;
  EXPECT_EQ(DialogBoxParam(nullptr, 101, 0, SilentProc, 0), 1);
  while (gSilentState == 0) {
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessage(&msg);
    }
  }
  gSilentWorker.join();
  EXPECT_EQ(gPostsRefused.load(), 4);
  EXPECT_TRUE(op.SeenDialogs().empty());
}

TEST(WinMessages, PeekMessageFiltersAndLeavesMessagesWhenAskedTo) {
  PostMessage(0, WM_USER + 1, 1, 0);
  PostMessage(0, WM_USER + 2, 2, 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessage(&msg, 0, WM_USER + 2, WM_USER + 2, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);
  ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 2);
  EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PostMessage(0x7FFFFFF0, WM_USER, 0, 0));
  EXPECT_EQ(SendMessage(0x7FFFFFF0, WM_USER, 0, 0), 0);
}

TEST(WinMessages, RegisteredMessagesKeepTheirNumberByName) {
  UINT a = RegisterWindowMessage("wm_arcextract");
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(RegisterWindowMessage("wm_arcextract"), a);
  EXPECT_EQ(RegisterWindowMessage("WM_ARCEXTRACT"), a);
  EXPECT_NE(RegisterWindowMessage("another message"), a);
  UINT fromThread = 0;
  std::thread([&] { fromThread = RegisterWindowMessage("wm_arcextract"); }).join();
  EXPECT_EQ(fromThread, a);
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
}

// ---- timers and calls from other threads --------------------------------------

std::atomic<int> gTicks{0};

INT_PTR TimerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetTimer(dialog, 5, 10, nullptr);
    return TRUE;
  }
  if (message == WM_TIMER && wParam == 5 && ++gTicks == 3) {
    KillTimer(dialog, 5);
    EndDialog(dialog, 1);
  }
  return FALSE;
}

TEST(WinMessages, TimersTickIntoTheDialog) {
  ScriptedOperator op;
  gTicks = 0;
  EXPECT_EQ(DialogBoxParam(nullptr, 101, 0, TimerProc, 0), 1);
  EXPECT_EQ(gTicks.load(), 3);
}

std::string gTextSeenByWorker;
std::thread gTextWorker;

INT_PTR TextProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    gTextWorker = std::thread([dialog] {
      // Window calls from another thread run on the dialog's thread.
      SetDlgItemText(dialog, 1003, "CONFIG/config.inf");
      char text[64] = {};
      GetDlgItemText(dialog, 1003, text, sizeof text);
      gTextSeenByWorker = text;
      PostMessage(dialog, WM_CLOSE, 0, 0);
    });
    return TRUE;
  }
  if (message == WM_CLOSE) {
    EndDialog(dialog, 1);
    return TRUE;
  }
  return FALSE;
}

TEST(WinMessages, WindowCallsFromAWorkerRunOnTheOwnerThread) {
  ScriptedOperator op;
  EXPECT_EQ(DialogBoxParam(nullptr, 101, 0, TextProc, 0), 1);
  gTextWorker.join();
  EXPECT_EQ(gTextSeenByWorker, "CONFIG/config.inf");
  ASSERT_EQ(op.ClosedDialogs().size(), 1u);
  EXPECT_EQ(op.ClosedDialogs()[0].first.Find(1003)->text, "CONFIG/config.inf");
}

}  // namespace

namespace {

// ---- a worker asked to stop gives up a send that was never taken ------------------

std::atomic<int> gStaleHandled{0};
std::atomic<LRESULT> gStaleAnswer{-1};
BOOL gTerminated = FALSE;

void StoppedSender(void* arg) {
  HWND dialog = *static_cast<HWND*>(arg);
  gStaleAnswer = SendMessage(dialog, WM_USER + 7, 0, 0);
}

INT_PTR StoppedSendProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  static HWND self;
  switch (message) {
    case WM_INITDIALOG: {
      self = dialog;
      // The dialog's thread does not pump while it stops the worker.
      HANDLE worker = CreateThread(StoppedSender, &self);
      gTerminated = TerminateThread(worker, 0);
      CloseHandle(worker);
      PostMessage(dialog, WM_USER + 8, 0, 0);
      return TRUE;
    }
    case WM_USER + 7:
      ++gStaleHandled;
      return TRUE;
    case WM_USER + 8:
      EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

TEST(WinMessages, AStoppedSenderWithdrawsItsMessage) {
  TestWorld world;
  ScriptedOperator op;
  EXPECT_EQ(DialogBoxParam(nullptr, 101, 0, StoppedSendProc, 0), 1);
  EXPECT_TRUE(gTerminated);
  EXPECT_EQ(gStaleAnswer.load(), 0);
  EXPECT_EQ(gStaleHandled.load(), 0);  // never handled with its sender's data gone
}

}  // namespace
