// The operator: whoever answers the system's message boxes and dialogs. The
// host program registers one (a script in the tests, the terminal or the
// command-line options in svpconf); the message library and the dialog
// machinery ask it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "WinTypes.h"

namespace plat {

// Standard message-box style bits and answers.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_RETRYCANCEL = 0x05;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr WORD IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6,
               IDNO = 7;

struct MessageBoxView {
  int group = 0;
  int messageId = 0;
  int identifier = 0;
  int kind = 0;
  UINT style = 0;
  bool hasInsert = false;
  DWORD insert = 0;
  std::string text;     // the catalogue text with its insert filled in
  std::string caption;
};

// The buttons a message box of this style offers, in order (e.g. {6, 7}).
inline std::basic_string<WORD> ButtonsOf(UINT style) {
  switch (style & 0x0F) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case 0x02: return {IDABORT, IDRETRY, IDIGNORE};
    case 0x03: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

class DialogView;    // the machinery of the dialogs describes a dialog with it
class DialogActions; // and the operator acts on the dialog through it

class Operator {
 public:
  virtual ~Operator() = default;
  // Answers a message box with one of its buttons.
  virtual WORD AnswerMessageBox(const MessageBoxView& box) = 0;
  virtual void WaitWindowOpened(const std::string& text, const std::string& caption) {}
  virtual void WaitWindowClosed() {}
  // A modal dialog waits for the operator: look at it, act on it (click,
  // type, select), or let time pass. Called again after every change.
  virtual void OnDialog(const DialogView& view, DialogActions& act) {}
};

// The operator that answers; a default one answers every question with its
// first button and writes nothing (until a host program registers another).
Operator& CurrentOperator();
std::shared_ptr<Operator> SetOperator(std::shared_ptr<Operator> op);

}  // namespace plat
