// Message queues, post and send between threads, and the modal loop, with
// small dialog procedures of the tests' own on the module's templates.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/Win.h"
#include "support/DialogRunner.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

using namespace plat;

namespace {

constexpr UINT kStep = WM_USER + 4;
constexpr UINT kCopyStep = WM_USER + 3;

using Proc = testsupport::DialogProc;

// Runs a dialog of these tests: WM_CLOSE always ends it with 1.
INT_PTR RunDialog(int templateId, Proc proc, LPARAM param = 0) {
  return testsupport::RunDialog(
      templateId,
      [proc = std::move(proc)](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CLOSE) return static_cast<INT_PTR>(EndDialog(dialog, 1));
        return proc ? proc(dialog, message, wParam, lParam) : FALSE;
      },
      param);
}

TEST(WinMessages, SendFromAWorkerBlocksUntilHandledOnTheDialogThread) {
  ScriptedOperator op;
  std::thread::id handledOn;
  std::atomic<bool> handled{false};
  bool handledBeforeReturn = false, postToGoneWindow = true;
  LRESULT answer = 0, sendToGoneWindow = -1;
  std::thread worker;
  auto proc = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      worker = std::thread([&, dialog] {
        answer = SendMessage(dialog, kCopyStep, 7, 0);
        handledBeforeReturn = handled.load();
        SendMessage(dialog, WM_CLOSE, 0, 0);
        // Once the dialog is gone a send answers 0 and a post
        // is refused, at once.
        while (IsWindow(dialog)) std::this_thread::yield();
        sendToGoneWindow = SendMessage(dialog, kCopyStep, 1, 0);
        postToGoneWindow = PostMessage(dialog, kStep, 0, 0);
      });
      return TRUE;
    }
    if (message != kCopyStep) return FALSE;
    // Hold the sender a little: it must still be waiting afterwards.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    handledOn = std::this_thread::get_id();
    handled = true;
    return static_cast<INT_PTR>(wParam * 6);
  };
  EXPECT_EQ(RunDialog(101, proc), 1);
  worker.join();
  EXPECT_EQ(answer, 42);
  EXPECT_TRUE(handledBeforeReturn);
  EXPECT_EQ(handledOn, std::this_thread::get_id());
  EXPECT_EQ(sendToGoneWindow, 0);
  EXPECT_FALSE(postToGoneWindow);
}

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
    if (message == WM_USER + 7) ++handled;
    return message == WM_INITDIALOG || message == WM_USER + 7;
  };
  EXPECT_EQ(RunDialog(101, proc), 1);
  EXPECT_TRUE(terminated);
  EXPECT_EQ(send.answer.load(), 0);
  EXPECT_EQ(handled, 0);  // never handled with its sender's data gone
}

}  // namespace
