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
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

using namespace plat;

namespace {

// An operator made of a function, for tests that look at the actions' results.
class FnOperator : public Operator {
 public:
  using Fn = std::function<void(const DialogView&, DialogActions&)>;
  explicit FnOperator(Fn fn) : fn_(std::move(fn)) {
    previous_ = SetOperator(std::shared_ptr<Operator>(this, [](Operator*) {}));
  }
  ~FnOperator() override { SetOperator(previous_); }
  WORD AnswerMessageBox(const MessageBoxView& box) override { return ButtonsOf(box.style)[0]; }
  void OnDialog(const DialogView& view, DialogActions& act) override { fn_(view, act); }

 private:
  Fn fn_;
  std::shared_ptr<Operator> previous_;
};

// ---- the confirmation-like dialog: check box, disabled button -------------------

struct ConfirmLog {
  std::vector<std::string> events;
  int okCommands = 0;
};
ConfirmLog* gConfirm = nullptr;

INT_PTR ConfirmProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      SetFocus(GetDlgItem(dialog, IDCANCEL));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          ++gConfirm->okCommands;
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          SendMessage(dialog, WM_CLOSE, 0, 0);
          return TRUE;
        case 1038: {
          bool ticked = IsDlgButtonChecked(dialog, 1038) == BST_CHECKED;
          EnableWindow(GetDlgItem(dialog, IDOK), ticked);
          gConfirm->events.push_back(ticked ? "ticked" : "unticked");
          return TRUE;
        }
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(dialog, 2);
      return TRUE;
    default:
      return FALSE;
  }
}

TEST(WinControls, ClickOnADisabledButtonIsIgnored) {
  ConfirmLog log;
  gConfirm = &log;
  int turn = 0;
  bool refusedByOperator = false;
  FnOperator op([&](const DialogView& view, DialogActions& act) {
    ++turn;
    if (turn == 1) {
      EXPECT_FALSE(view.Find(IDOK)->enabled);
      EXPECT_TRUE(view.Find(IDCANCEL)->focused);
      refusedByOperator = !act.Click(IDOK);
      // Nor does a click sent to the control itself do anything.
      SendDlgItemMessage(view.window, IDOK, BM_CLICK, 0, 0);
      return;
    }
    EXPECT_EQ(log.okCommands, 0);
    act.Close();
  });
  EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, ConfirmProc, 0), 2);
  gConfirm = nullptr;
  EXPECT_TRUE(refusedByOperator);
  EXPECT_EQ(log.okCommands, 0);
}

TEST(WinControls, CheckBoxClickTogglesAndNotifies) {
  ConfirmLog log;
  gConfirm = &log;
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
  EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, ConfirmProc, 0), 1);
  gConfirm = nullptr;
  EXPECT_EQ(log.events, (std::vector<std::string>{"ticked", "unticked", "ticked"}));
  EXPECT_EQ(log.okCommands, 1);
}

// ---- radio buttons that start groups of their own --------------------------------

std::vector<int> gRadioCommands;

INT_PTR RadioProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    CheckDlgButton(dialog, 1026, BST_CHECKED);  // no notification
    CheckDlgButton(dialog, 1025, BST_UNCHECKED);
    return TRUE;
  }
  if (message == WM_COMMAND) {
    gRadioCommands.push_back(LOWORD(wParam));
    if (LOWORD(wParam) == IDOK) EndDialog(dialog, IsDlgButtonChecked(dialog, 1026) ? 10 : 11);
    return TRUE;
  }
  return FALSE;
}

TEST(WinControls, RadioButtonsOfSeparateGroupsDoNotClearEachOther) {
  gRadioCommands.clear();
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
  EXPECT_EQ(DialogBoxParam(nullptr, 114, 0, RadioProc, 0), 10);
  EXPECT_EQ(gRadioCommands, (std::vector<int>{1025, IDOK}));
}

// ---- list view: columns, rows, single selection, item-changed -----------------------

struct ListLog {
  std::vector<std::string> changes;  // "row:old->new"
  std::string chosen;
  DWORD extended = 0;
};
ListLog* gList = nullptr;

INT_PTR ListProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND list = GetDlgItem(dialog, 1019);
  switch (message) {
    case WM_INITDIALOG: {
      LVCOLUMN column{};
      column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
      column.fmt = LVCFMT_LEFT;
      char header[] = "Serial No";
      column.pszText = header;
      ListView_InsertColumn(list, 0, &column);
      ListView_SetColumnWidth(list, 0, LVSCW_AUTOSIZE_USEHEADER);
      DWORD style = ListView_GetExtendedListViewStyle(list);
      ListView_SetExtendedListViewStyle(
          list, style | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP);
      gList->extended = ListView_GetExtendedListViewStyle(list);
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
    case WM_NOTIFY: {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(lParam);
      if (wParam != 1019 || nm->hdr.code != LVN_ITEMCHANGED) return FALSE;
      gList->changes.push_back(std::to_string(nm->iItem) + ":" + std::to_string(nm->uOldState) +
                               "->" + std::to_string(nm->uNewState));
      EnableWindow(GetDlgItem(dialog, IDOK), ListView_GetNextItem(list, -1, LVNI_SELECTED) != -1);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        char text[16] = {};
        ListView_GetItemText(list, ListView_GetNextItem(list, -1, LVNI_SELECTED), 0, text,
                             sizeof text);
        gList->chosen = text;
        EndDialog(dialog, 1);
      } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 2);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

TEST(WinControls, ListViewSelectionSendsItemChangedAndKeepsOneRow) {
  ListLog log;
  gList = &log;
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
  EXPECT_EQ(DialogBoxParam(nullptr, 112, 0, ListProc, 0), 1);
  gList = nullptr;
  EXPECT_EQ(log.chosen, "400123");
  EXPECT_EQ(log.extended, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP);
  // Row 0 selected and focused; then row 0 loses the selection, then the
  // focus, before row 1 takes both.
  EXPECT_EQ(log.changes, (std::vector<std::string>{"0:0->3", "0:3->1", "0:1->0", "1:0->3"}));
}

// ---- combo box, edit, progress bar, animation: plain control messages ---------------

struct Probe {
  std::function<void(HWND)> check;
};
Probe* gProbe = nullptr;

INT_PTR ProbeProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    gProbe->check(dialog);
    EndDialog(dialog, 1);
    return TRUE;
  }
  return FALSE;
}

void RunProbe(int templateId, std::function<void(HWND)> check) {
  Probe probe{std::move(check)};
  gProbe = &probe;
  EXPECT_EQ(DialogBoxParam(nullptr, templateId, 0, ProbeProc, 0), 1);
  gProbe = nullptr;
}

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
  std::string typed;
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
  struct Limited {
    static INT_PTR Proc(HWND dialog, UINT message, WPARAM, LPARAM) {
      if (message == WM_INITDIALOG) SendDlgItemMessage(dialog, 1029, EM_LIMITTEXT, 5, 0);
      if (message == WM_CLOSE) EndDialog(dialog, 2);
      return message == WM_CLOSE;
    }
  };
  EXPECT_EQ(DialogBoxParam(nullptr, 115, 0, Limited::Proc, 0), 2);
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
  struct Anim {
    static INT_PTR Proc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
      if (message == WM_INITDIALOG) {
        const char* clip = reinterpret_cast<const char*>(lParam);
        HWND a = GetDlgItem(dialog, 1001);
        BOOL opened =
            static_cast<BOOL>(SendMessage(a, ACM_OPEN, 0, reinterpret_cast<LPARAM>(clip)));
        BOOL played = static_cast<BOOL>(SendMessage(a, ACM_PLAY, static_cast<WPARAM>(-1),
                                                    MAKELPARAM(0, static_cast<WORD>(-1))));
        SetTimer(dialog, 1, 1, nullptr);
        return opened * 2 + played + 1;  // nonzero either way
      }
      if (message == WM_TIMER) EndDialog(dialog, 1);
      return FALSE;
    }
  };
  EXPECT_EQ(DialogBoxParam(nullptr, 101, 0, Anim::Proc,
                           reinterpret_cast<LPARAM>("C:\\plaxon\\mp\\pc\\cnfunpak.avi")),
            1);
  EXPECT_EQ(DialogBoxParam(nullptr, 101, 0, Anim::Proc,
                           reinterpret_cast<LPARAM>("C:\\plaxon\\mp\\pc\\cnfpak.avi")),
            1);
  auto closed = op.ClosedDialogs();
  ASSERT_EQ(closed.size(), 2u);
  const ControlView* missing = closed[0].first.Find(1001);
  EXPECT_EQ(missing->missingClip, "C:\\plaxon\\mp\\pc\\cnfunpak.avi");
  EXPECT_FALSE(missing->playing);
  const ControlView* present = closed[1].first.Find(1001);
  EXPECT_EQ(present->clip, "C:\\plaxon\\mp\\pc\\cnfpak.avi");
  EXPECT_TRUE(present->playing);
  EXPECT_TRUE(present->missingClip.empty());
}

// ---- drawing the catalogue text, centring ------------------------------------------

const WCHAR kInstruction[] = u"Choose the backup configuration file.";
int gDrawCount = 0;

INT_PTR DrawProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      return TRUE;
    case WM_DRAWITEM:
      if (wParam == 1030) {
        ++gDrawCount;
        DrawMessageText(dialog, reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), kInstruction);
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 2);
      return TRUE;
    default:
      return FALSE;
  }
}

TEST(WinControls, DrawnMessageTextIsKeptForTheOperator) {
  ScriptedOperator op;
  op.ExpectDialog(115)
      .Check([](const DialogView& v) {
        EXPECT_EQ(v.Find(1030)->kind, ControlKind::OwnerDrawStatic);
        EXPECT_EQ(v.Find(1030)->drawnText, "Choose the backup configuration file.");
        EXPECT_EQ(v.MessageText(), "Choose the backup configuration file.");
        UpdateWindow(v.window);  // paints again, at once
      })
      .Close();  // not handled by the procedure: the default turns it into Cancel
  gDrawCount = 0;
  EXPECT_EQ(DialogBoxParam(nullptr, 115, 0, DrawProc, 0), 2);
  EXPECT_EQ(gDrawCount, 2);
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
  EXPECT_EQ(LoadString(nullptr, 14, field, sizeof field), 16);
  EXPECT_STREQ(field, "NEW Installation");
  EXPECT_EQ(LoadString(nullptr, 15, field, sizeof field), 0);
  EXPECT_EQ(LoadString(nullptr, 0, field, sizeof field), 0);
  for (unsigned id = 1; id <= 14; ++id) EXPECT_NE(FindResourceString(id), nullptr) << id;
}

// ---- the scripted operator's strictness ---------------------------------------------

INT_PTR CancelOnlyProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(dialog, 2);
    return TRUE;
  }
  return FALSE;
}

INT_PTR OkProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

TEST(WinOperator, ScriptedFailsOnAnUnexpectedDialogAndClosesIt) {
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedOperator op;
        EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, CancelOnlyProc, 0), 2);
      },
      "unexpected dialog 117 \"Confirm Configuration Information\"");
}

TEST(WinOperator, ScriptedFailsOnAWrongDialog) {
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedOperator op;
        op.ExpectDialog(106).Click(IDOK);
        EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, CancelOnlyProc, 0), 2);
        // The expected dialog still comes and uses up the script.
        EXPECT_EQ(DialogBoxParam(nullptr, 106, 0, OkProc, 0), 1);
      },
      "the script's next step: dialog 106");
}

TEST(WinOperator, ScriptedFailsOnAnUnfinishedScript) {
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedOperator op;
        op.ExpectDialog(112).Click(IDOK).ExpectMessage(4701, IDOK);
      },
      "still expected:\n  dialog 112\n  click 1 in dialog 112\n  message 4701");
}

TEST(WinOperator, ScriptedFailsOnAnActionAPersonCouldNotDo) {
  EXPECT_NONFATAL_FAILURE(
      {
        ConfirmLog log;
        gConfirm = &log;
        ScriptedOperator op;
        op.ExpectDialog(117).Click(IDOK).Close();
        EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, ConfirmProc, 0), 2);
        gConfirm = nullptr;
      },
      "could not click 1 in dialog 117");
}

TEST(WinOperator, ScriptedFailsOnADialogLeftWaiting) {
  EXPECT_NONFATAL_FAILURE(
      {
        ScriptedOperator op;
        op.StallLimit(100).ExpectDialog(117);
        EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, CancelOnlyProc, 0), 2);
      },
      "was left waiting with nothing in the script for it");
}

TEST(WinOperator, ScriptedAccountsForWhatAppeared) {
  ConfirmLog log;
  gConfirm = &log;
  ScriptedOperator op;
  op.ExpectDialog(117).Tick(1038).Click(IDOK);
  EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, ConfirmProc, 0), 1);
  gConfirm = nullptr;
  EXPECT_EQ(op.Account(),
            "  dialog 117 \"Confirm Configuration Information\" opened\n"
            "    tick 1038 in dialog 117\n"
            "    click 1 in dialog 117\n"
            "  dialog 117 \"Confirm Configuration Information\" closed with 1\n");
}

TEST(WinOperator, DefaultOperatorTakesTheDefaultButtonThenCloses) {
  ConfirmLog log;
  gConfirm = &log;
  // OK is disabled: the default operator cannot take it and closes instead.
  EXPECT_EQ(DialogBoxParam(nullptr, 117, 0, ConfirmProc, 0), 2);
  gConfirm = nullptr;
  RunProbe(101, [](HWND) {});
}

}  // namespace

namespace {

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
