// The controls the dialogs use and the operator's hands on them, as the
// dialogs rely on them.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Win.h"
#include "support/DialogRunner.h"
#include "support/ScriptedOperator.h"

using namespace plat;

namespace {

using Proc = testsupport::DialogProc;
using testsupport::RunDialog;

// Ends with OK (1) or Cancel (2) as clicked.
INT_PTR OkProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

// ---- a confirmation-like dialog: a check box enables OK ----------------------------

// OK is enabled while 1038 is ticked; Cancel and the close box end with 2.
Proc Confirm(int& okCommands) {
  return [&okCommands](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    bool command = message == WM_COMMAND;
    if (message == WM_INITDIALOG) {
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      SetFocus(GetDlgItem(dialog, IDCANCEL));
    } else if (command && LOWORD(wParam) == IDOK) {
      ++okCommands;
      EndDialog(dialog, 1);
    } else if (command && LOWORD(wParam) == IDCANCEL) {
      SendMessage(dialog, WM_CLOSE, 0, 0);
    } else if (command && LOWORD(wParam) == 1038) {
      EnableWindow(GetDlgItem(dialog, IDOK), IsDlgButtonChecked(dialog, 1038) == BST_CHECKED);
    } else if (message == WM_CLOSE) {
      EndDialog(dialog, 2);
    } else {
      return FALSE;
    }
    return TRUE;
  };
}

// ---- radio buttons that start groups of their own --------------------------------

TEST(WinControls, RadioButtonsOfSeparateGroupsDoNotClearEachOther) {
  std::vector<int> commands;
  auto proc = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      CheckDlgButton(dialog, 1026, BST_CHECKED);  // no notification
      CheckDlgButton(dialog, 1025, BST_UNCHECKED);
    } else if (message == WM_COMMAND) {
      commands.push_back(LOWORD(wParam));
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, IsDlgButtonChecked(dialog, 1026) ? 10 : 11);
    }
    return message == WM_INITDIALOG || message == WM_COMMAND;
  };
  ScriptedOperator op;
  op.ExpectDialog(114)
      .Check([](const DialogView& v) {
        EXPECT_TRUE(v.Find(1026)->checked);
        EXPECT_FALSE(v.Find(1025)->checked);
        EXPECT_EQ(v.Find(1025)->kind, ControlKind::RadioButton);
      })
      .Click(1025)
      .Check([](const DialogView& v) {
        // Each choice starts its own group: the dialog must clear the other itself.
        EXPECT_TRUE(v.Find(1025)->checked);
        EXPECT_TRUE(v.Find(1026)->checked);
      })
      .Click(IDOK);
  EXPECT_EQ(RunDialog(114, proc), 10);
  EXPECT_EQ(commands, (std::vector<int>{1025, IDOK}));
}

// ---- an edit's text, cut to the reader's buffer ---------------

TEST(WinControls, EditTextIsCutOnRead) {
  auto probe = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message != WM_INITDIALOG) return FALSE;
    SetDlgItemText(dialog, 1022, "ABCDEFGHIJ");
    char text[5];
    EXPECT_EQ(GetDlgItemText(dialog, 1022, text, sizeof text), 4u);
    EXPECT_STREQ(text, "ABCD");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1021)));
    return EndDialog(dialog, 1);
  };
  EXPECT_EQ(RunDialog(113, probe), 1);
}

// ---- the scripted operator's strictness ---------------------------------------------

TEST(WinOperator, ScriptedFailsAndSaysWhy) {
  int okCommands = 0;
  const std::pair<std::function<void(ScriptedOperator&)>, const char*> cases[] = {
      {[](ScriptedOperator&) { EXPECT_EQ(RunDialog(117, OkProc), 2); },
       "unexpected dialog 117 \"Confirm Configuration Information\""},
      {[](ScriptedOperator& op) { op.ExpectDialog(112).Click(IDOK).ExpectMessage(4701, IDOK); },
       "still expected:\n  dialog 112\n  click 1 in dialog 112\n  message 4701"},
      {[](ScriptedOperator& op) {
         op.StallLimit(100).ExpectDialog(117);
         EXPECT_EQ(RunDialog(117, OkProc), 2);
       },
       "was left waiting with nothing in the script for it"},
      // A disabled button: neither the operator's click nor one sent to the
      // control itself gets through.
      {[&](ScriptedOperator& op) {
         op.ExpectDialog(117)
             .Check([](const DialogView& v) {
               EXPECT_FALSE(v.Find(IDOK)->enabled);
               EXPECT_TRUE(v.Find(IDCANCEL)->focused);
               SendDlgItemMessage(v.window, IDOK, BM_CLICK, 0, 0);
             })
             .Click(IDOK)
             .Close();
         EXPECT_EQ(RunDialog(117, Confirm(okCommands)), 2);
       },
       "could not click 1 in dialog 117"},
  };
  for (const auto& [run, failure] : cases)
    EXPECT_NONFATAL_FAILURE(
        {
          ScriptedOperator op;
          run(op);
        },
        failure);
  // Without a script the default operator closes a dialog whose default
  // button is disabled.
  EXPECT_EQ(RunDialog(117, Confirm(okCommands)), 2);
  EXPECT_EQ(okCommands, 0);
}

}  // namespace
