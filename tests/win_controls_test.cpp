// The controls the dialogs use, the operator's hands on them, painting,
// placement and the module's resources.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/CnfFunc.h"
#include "common/Trace.h"
#include "platform/Win.h"
#include "resources/Resources.h"
#include "support/DialogRunner.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

using namespace plat;

namespace {

using Proc = testsupport::DialogProc;
using testsupport::RunDialog;

// Runs `check` on the dialog while it opens, then ends it with 1.
void RunProbe(int templateId, std::function<void(HWND)> check) {
  EXPECT_EQ(RunDialog(templateId,
                      [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
                        if (message != WM_INITDIALOG) return FALSE;
                        check(dialog);
                        return EndDialog(dialog, 1);
                      }),
            1);
}

// Ends with OK (1) or Cancel (2) as clicked.
INT_PTR OkProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

// ---- the confirmation-like dialog: check box, disabled button -------------------

struct ConfirmLog {
  std::vector<std::string> events;
  int okCommands = 0;
};

// OK is enabled while 1038 is ticked; Cancel and the close box end with 2.
Proc Confirm(ConfirmLog& log) {
  return [&log](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    bool command = message == WM_COMMAND;
    if (message == WM_INITDIALOG) {
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      SetFocus(GetDlgItem(dialog, IDCANCEL));
    } else if (command && LOWORD(wParam) == IDOK) {
      ++log.okCommands;
      EndDialog(dialog, 1);
    } else if (command && LOWORD(wParam) == IDCANCEL) {
      SendMessage(dialog, WM_CLOSE, 0, 0);
    } else if (command && LOWORD(wParam) == 1038) {
      bool ticked = IsDlgButtonChecked(dialog, 1038) == BST_CHECKED;
      EnableWindow(GetDlgItem(dialog, IDOK), ticked);
      log.events.push_back(ticked ? "ticked" : "unticked");
    } else if (message == WM_CLOSE) {
      EndDialog(dialog, 2);
    } else {
      return FALSE;
    }
    return TRUE;
  };
}

TEST(WinControls, CheckBoxClickTogglesAndNotifies) {
  ConfirmLog log;
  ScriptedOperator op;
  op.ExpectDialog(117)
      .Click(1038)
      .Check([](const DialogView& v) {
        EXPECT_TRUE(v.Find(1038)->checked);
        EXPECT_TRUE(v.Find(IDOK)->enabled);
      })
      .Click(1038)
      .Check([](const DialogView& v) {
        EXPECT_FALSE(v.Find(1038)->checked);
        EXPECT_FALSE(v.Find(IDOK)->enabled);
      })
      .Tick(1038)
      .Tick(1038)  // already ticked: no click, no notification
      .Click(IDOK);
  EXPECT_EQ(RunDialog(117, Confirm(log)), 1);
  EXPECT_EQ(log.events, (std::vector<std::string>{"ticked", "unticked", "ticked"}));
  EXPECT_EQ(log.okCommands, 1);
  EXPECT_EQ(op.Account(),
            "  dialog 117 \"Confirm Configuration Information\" opened\n"
            "    click 1038 in dialog 117\n"
            "    click 1038 in dialog 117\n"
            "    tick 1038 in dialog 117\n"
            "    tick 1038 in dialog 117\n"
            "    click 1 in dialog 117\n"
            "  dialog 117 \"Confirm Configuration Information\" closed with 1\n");
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

// ---- list view: columns, rows, single selection, item-changed -----------------------

TEST(WinControls, ListViewSelectionSendsItemChangedAndKeepsOneRow) {
  std::vector<std::string> changes;  // "row:old->new"
  std::string chosen;
  DWORD extended = 0;
  auto proc = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    HWND list = GetDlgItem(dialog, 1019);
    if (message == WM_INITDIALOG) {
      char header[] = "Serial No";
      LVCOLUMN column{};
      column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
      column.fmt = LVCFMT_LEFT;
      column.pszText = header;
      ListView_InsertColumn(list, 0, &column);
      ListView_SetColumnWidth(list, 0, LVSCW_AUTOSIZE_USEHEADER);
      DWORD style = ListView_GetExtendedListViewStyle(list);
      ListView_SetExtendedListViewStyle(
          list, style | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP);
      extended = ListView_GetExtendedListViewStyle(list);
      const char* rows[] = {"412345", "400123", "455555"};
      for (int i = 0; i < 3; ++i) {
        LVITEM item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<char*>(rows[i]);
        ListView_InsertItem(list, &item);
      }
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      return TRUE;
    }
    auto* nm = reinterpret_cast<NMLISTVIEW*>(lParam);
    if (message == WM_NOTIFY && wParam == 1019 && nm->hdr.code == LVN_ITEMCHANGED) {
      changes.push_back(std::to_string(nm->iItem) + ":" + std::to_string(nm->uOldState) + "->" +
                        std::to_string(nm->uNewState));
      EnableWindow(GetDlgItem(dialog, IDOK), ListView_GetNextItem(list, -1, LVNI_SELECTED) != -1);
      return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDOK) {
      char text[16] = {};
      ListView_GetItemText(list, ListView_GetNextItem(list, -1, LVNI_SELECTED), 0, text,
                           sizeof text);
      chosen = text;
    }
    if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  };
  ScriptedOperator op;
  op.ExpectDialog(112)
      .Check([](const DialogView& v) {
        const ControlView* list = v.Find(1019);
        EXPECT_EQ(list->kind, ControlKind::ListView);
        EXPECT_EQ(list->columns, (std::vector<std::string>{"Serial No"}));
        EXPECT_EQ(list->items, (std::vector<std::string>{"412345", "400123", "455555"}));
        EXPECT_EQ(list->selected, -1);
        EXPECT_FALSE(v.Find(IDOK)->enabled);
      })
      .Select(1019, 0)
      .SelectText(1019, "400123")
      .Check([](const DialogView& v) {
        EXPECT_EQ(v.Find(1019)->selected, 1);
        EXPECT_TRUE(v.Find(IDOK)->enabled);
      })
      .Click(IDOK);
  EXPECT_EQ(RunDialog(112, proc), 1);
  EXPECT_EQ(chosen, "400123");
  EXPECT_EQ(extended, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP);
  // Row 0 selected and focused; then row 0 loses the selection, then the
  // focus, before row 1 takes both.
  EXPECT_EQ(changes, (std::vector<std::string>{"0:0->3", "0:3->1", "0:1->0", "1:0->3"}));
}

// ---- combo box, edit, progress bar, animation: plain control messages ---------------

TEST(WinControls, ComboBoxInsertsAtPositionsAndKeepsItemData) {
  RunProbe(106, [](HWND dialog) {
    HWND combo = GetDlgItem(dialog, 1007);
    EXPECT_EQ(SendMessage(combo, CB_RESETCONTENT, 0, 0), 0);
    const char* letters[] = {"C", "D", "E"};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(letters[i])), i);
      EXPECT_EQ(SendMessage(combo, CB_SETITEMDATA, i, i), 1);
    }
    EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, 9, reinterpret_cast<LPARAM>("X")), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_INSERTSTRING, -1, reinterpret_cast<LPARAM>("F")), 3);
    EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 0, 0), 0);
    char text[8] = {};
    GetWindowText(combo, text, sizeof text);
    EXPECT_STREQ(text, "C");
    EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(SendMessage(combo, CB_GETITEMDATA, SendMessage(combo, CB_GETCURSEL, 0, 0), 0), 2);
    EXPECT_EQ(SendMessage(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 1);
    EXPECT_STREQ(text, "D");
    EXPECT_EQ(SendMessage(combo, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("e")), 2);
    EXPECT_EQ(SendMessage(combo, CB_GETITEMDATA, 7, 0), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_SETCURSEL, 7, 0), CB_ERR);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    SendMessage(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 0);
  });
}

TEST(WinControls, EditTextIsCutOnReadAndOnTyping) {
  RunProbe(113, [&](HWND dialog) {
    SetDlgItemText(dialog, 1022, "ABCDEFGHIJ");
    char text[5];
    EXPECT_EQ(GetDlgItemText(dialog, 1022, text, sizeof text), 4u);
    EXPECT_STREQ(text, "ABCD");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, 1021)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1021)));
    EXPECT_EQ(GetDlgItemText(dialog, 4711, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
  });
  ScriptedOperator op;
  op.ExpectDialog(115)
      .Type(1029, "C:\\very\\long\\path.gpfm")
      .Check([](const DialogView& v) { EXPECT_EQ(v.Find(1029)->text, "C:\\ve"); })
      .Close();
  auto limited = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) SendDlgItemMessage(dialog, 1029, EM_LIMITTEXT, 5, 0);
    if (message == WM_CLOSE) EndDialog(dialog, 2);
    return message == WM_CLOSE;
  };
  EXPECT_EQ(RunDialog(115, limited), 2);
}

TEST(WinControls, ProgressBarRangeStepAndWrap) {
  RunProbe(101, [](HWND dialog) {
    HWND bar = GetDlgItem(dialog, 1002);
    // A total above 16 bits keeps only its low 16 bits as the caller passes them.
    SendMessage(bar, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(70000 & 0xFFFF)));
    EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, FALSE, 0), 70000 & 0xFFFF);
    EXPECT_EQ(SendMessage(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 11)), MAKELPARAM(0, 70000 & 0xFFFF));
    EXPECT_EQ(SendMessage(bar, PBM_SETSTEP, 1, 0), 10);
    for (int i = 0; i < 11; ++i) SendMessage(bar, PBM_STEPIT, 0, 0);
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 11);
    // Past the upper bound the bar starts over.
    EXPECT_EQ(SendMessage(bar, PBM_STEPIT, 0, 0), 11);
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 1);
    EXPECT_EQ(SendMessage(bar, PBM_SETPOS, 50, 0), 1);
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 11);  // clamped to the range
  });
}

TEST(WinControls, AnimationReportsAMissingClipAndPlaysAPresentOne) {
  TestWorld world;
  world.WriteHostFile('C', "PLAXON/MP/PC/cnfpak.avi", "RIFF");
  ScriptedOperator op;
  auto play = [](HWND dialog, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
    if (message == WM_INITDIALOG) {
      HWND a = GetDlgItem(dialog, 1001);
      SendMessage(a, ACM_OPEN, 0, lParam);
      SendMessage(a, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, static_cast<WORD>(-1)));
      SetTimer(dialog, 1, 1, nullptr);
      return TRUE;
    }
    if (message == WM_TIMER) EndDialog(dialog, 1);
    return FALSE;
  };
  const char* missing = "C:\\plaxon\\mp\\pc\\cnfunpak.avi";
  const char* present = "C:\\plaxon\\mp\\pc\\cnfpak.avi";
  EXPECT_EQ(RunDialog(101, play, reinterpret_cast<LPARAM>(missing)), 1);
  EXPECT_EQ(RunDialog(101, play, reinterpret_cast<LPARAM>(present)), 1);
  auto closed = op.ClosedDialogs();
  ASSERT_EQ(closed.size(), 2u);
  EXPECT_EQ(closed[0].first.Find(1001)->missingClip, missing);
  EXPECT_FALSE(closed[0].first.Find(1001)->playing);
  EXPECT_EQ(closed[1].first.Find(1001)->clip, present);
  EXPECT_TRUE(closed[1].first.Find(1001)->playing);
  EXPECT_TRUE(closed[1].first.Find(1001)->missingClip.empty());
}

// ---- drawing the catalogue text, centring ------------------------------------------

TEST(WinControls, DrawnMessageTextIsKeptForTheOperator) {
  static const WCHAR kInstruction[] = u"Choose the backup configuration file.";
  int draws = 0;
  auto proc = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_INITDIALOG) CenterWindow(dialog);
    if (message == WM_DRAWITEM && wParam == 1030) {
      ++draws;
      DrawMessageText(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), kInstruction);
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 2);
    return message == WM_INITDIALOG || message == WM_DRAWITEM || message == WM_COMMAND;
  };
  ScriptedOperator op;
  op.ExpectDialog(115)
      .Check([](const DialogView& v) {
        EXPECT_EQ(v.Find(1030)->kind, ControlKind::OwnerDrawStatic);
        EXPECT_EQ(v.Find(1030)->drawnText, "Choose the backup configuration file.");
        EXPECT_EQ(v.MessageText(), "Choose the backup configuration file.");
        UpdateWindow(v.window);  // paints again, at once
      })
      .Close();  // not handled by the procedure: the default turns it into Cancel
  EXPECT_EQ(RunDialog(115, proc), 2);
  EXPECT_EQ(draws, 2);
}

TEST(WinControls, CenterWindowUsesTheWorldsDesktop) {
  TestWorld world;
  world.MutableWorld().desktopWidth = 1280;
  world.MutableWorld().desktopHeight = 1024;
  RunProbe(101, [](HWND dialog) {
    RECT before;
    ASSERT_TRUE(GetWindowRect(dialog, &before));
    // 174 x 111 dialog units: 261 x 180 pixels, with frame and caption.
    EXPECT_EQ(before.right - before.left, 261 + 2 * kFrameWidth);
    EXPECT_EQ(before.bottom - before.top, 180 + 2 * kFrameWidth + kCaptionHeight);
    EXPECT_EQ(CenterWindow(dialog), 1);
    RECT after;
    GetWindowRect(dialog, &after);
    int w = 267, h = 208;
    EXPECT_EQ(after.left, 1280 / 2 - w / 2);
    EXPECT_EQ(after.top, 1024 / 2 - h / 2);
    EXPECT_EQ(after.right - after.left, w);
    EXPECT_EQ(after.bottom - after.top, h);
    RECT progress;
    GetWindowRect(GetDlgItem(dialog, 1002), &progress);
    EXPECT_EQ(progress.left, after.left + kFrameWidth + 9);  // x 6 units
  });
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  EXPECT_EQ(desktop.right, 1280);
  RECT units{6, 55, 167, 71};
  EXPECT_FALSE(MapDialogRect(0x7FFFFFF0, &units));
}

// ---- resources ----------------------------------------------------------------------

TEST(WinResources, StringTableLoadsAndCuts) {
  char field[22];
  EXPECT_EQ(LoadString(nullptr, 12, field, sizeof field), 10);
  EXPECT_STREQ(field, "Normal end");
  EXPECT_EQ(LoadString(nullptr, 4, field, sizeof field), 21);
  EXPECT_STREQ(field, "Create Configuration ");
  EXPECT_EQ(LoadString(nullptr, 15, field, sizeof field), 0);
  EXPECT_EQ(LoadString(nullptr, 0, field, sizeof field), 0);
}

// ---- the scripted operator's strictness ---------------------------------------------

TEST(WinOperator, ScriptedFailsAndSaysWhy) {
  ConfirmLog log;
  const std::pair<std::function<void(ScriptedOperator&)>, const char*> cases[] = {
      {[](ScriptedOperator&) { EXPECT_EQ(RunDialog(117, OkProc), 2); },
       "unexpected dialog 117 \"Confirm Configuration Information\""},
      {[](ScriptedOperator& op) {
         op.ExpectDialog(106).Click(IDOK);
         EXPECT_EQ(RunDialog(117, OkProc), 2);
         // The expected dialog still comes and uses up the script.
         EXPECT_EQ(RunDialog(106, OkProc), 1);
       },
       "the script's next step: dialog 106"},
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
         EXPECT_EQ(RunDialog(117, Confirm(log)), 2);
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
  EXPECT_EQ(log.okCommands, 0);
}

TEST(WinOperator, DefaultOperatorClosesWhenTheDefaultButtonIsDisabled) {
  ConfirmLog log;
  EXPECT_EQ(RunDialog(117, Confirm(log)), 2);
}

// A click whose handler asks a question: the message box comes in the middle
// of the dialog's script, and the dialog goes on afterwards.
INT_PTR AskingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    char code[32] = {};
    GetDlgItemText(dialog, 1022, code, sizeof code);
    if (std::strcmp(code, "KZNRT") != 0) {
      ShowMessage(dialog, 63, 4054, 20198, 3, 0x10);
      return TRUE;  // stays open
    }
    if (ShowMessage(dialog, 63, 4053, 20198, 1, 0x141) == IDOK) EndDialog(dialog, 1);
    return TRUE;
  }
  if (message == WM_CLOSE) {
    EndDialog(dialog, 2);
    return TRUE;
  }
  return FALSE;
}

TEST(WinOperator, ScriptedInterleavesMessagesWithDialogActions) {
  TestWorld world;
  ScriptedOperator op;
  op.ExpectDialog(113)
      .Type(1022, "WRONG")
      .Click(IDOK)
      .ExpectMessage(4054, IDOK)
      .Type(1022, "KZNRT")
      .Click(IDOK)
      .ExpectMessage(4053, IDCANCEL)
      .Click(IDOK)
      .ExpectMessage(4053, IDOK);
  EXPECT_EQ(DialogBoxParam(nullptr, 113, 0, AskingProc, 0), 1);
  std::vector<std::string> lines = world.TakeTrace();
  EXPECT_TRUE(TestWorld::Contains(lines, "### [MSG] ID=4054,OK button was selected."));
  EXPECT_TRUE(TestWorld::Contains(lines, "### [MSG] ID=4053,Cancel button was selected."));
}

}  // namespace
