// The operator: whoever answers the system's message boxes and dialogs. The
// host program registers one (a script in the tests, the terminal or the
// command-line options in svpconf); the message library and the dialog
// machinery ask it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace plat {

// Standard message-box style bits and answers (on Windows, where the tests
// that drive real dialogs include this too, in place of windows.h's macros).
#if defined(_WIN32)
#undef MB_OK
#undef MB_OKCANCEL
#undef MB_YESNO
#undef MB_RETRYCANCEL
#undef MB_ICONSTOP
#undef MB_ICONQUESTION
#undef MB_ICONEXCLAMATION
#undef MB_ICONINFORMATION
#undef MB_DEFBUTTON2
#undef MB_DEFBUTTON3
#undef IDOK
#undef IDCANCEL
#undef IDABORT
#undef IDRETRY
#undef IDIGNORE
#undef IDYES
#undef IDNO
#endif
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_RETRYCANCEL = 0x05;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr WORD IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

struct MessageBoxView {
  int group = 0;
  int messageId = 0;
  int identifier = 0;
  int kind = 0;
  UINT style = 0;
  bool hasInsert = false;
  DWORD insert = 0;
  std::string text;  // the catalogue text with its insert filled in
  std::string caption;
  // A request to insert another medium (3836, 4036) into a drive of the
  // world that holds a list of media: the drive, its media and the index of
  // the one in it (media.size(): the drive is empty). mediaDrive 0 otherwise.
  char mediaDrive = 0;
  std::vector<std::string> media;
  std::size_t mediumInserted = 0;
};

// The buttons a message box of this style offers, in order (e.g. {6, 7}).
inline std::basic_string<WORD> ButtonsOf(UINT style) {
  switch (style & 0x0F) {
    case MB_OKCANCEL:
      return {IDOK, IDCANCEL};
    case 0x02:
      return {IDABORT, IDRETRY, IDIGNORE};
    case 0x03:
      return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
      return {IDYES, IDNO};
    case MB_RETRYCANCEL:
      return {IDRETRY, IDCANCEL};
    default:
      return {IDOK};
  }
}

// The button that Enter takes: the one the style makes the default (the
// first, unless MB_DEFBUTTON2 or MB_DEFBUTTON3 names another that exists).
inline WORD DefaultButtonOf(UINT style) {
  const std::basic_string<WORD> buttons = ButtonsOf(style);
  const std::size_t index = (style & MB_DEFBUTTON3) ? 2 : (style & MB_DEFBUTTON2) ? 1 : 0;
  return index < buttons.size() ? buttons[index] : buttons[0];
}

// The answer that stops a question nobody answers without doing anything:
// Cancel, else No, else the only button (a notice).
inline WORD RefusingButtonOf(UINT style) {
  const std::basic_string<WORD> buttons = ButtonsOf(style);
  for (WORD b : {IDCANCEL, IDNO})
    if (buttons.find(b) != std::basic_string<WORD>::npos) return b;
  return buttons.size() == 1 ? buttons[0] : buttons.back();
}

// What a person sees of one control of a dialog.
enum class ControlKind {
  PushButton,
  CheckBox,
  RadioButton,
  GroupBox,
  Static,
  OwnerDrawStatic,
  Edit,
  ComboBox,
  ListView,
  ProgressBar,
  Animation,
  Other,
};

// The kind of a control of window class className with window style bits
// style (the emulation's controls and the real ones on Windows alike).
ControlKind KindOf(const std::string& className, DWORD style);

inline const char* ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton:
      return "button";
    case ControlKind::CheckBox:
      return "check box";
    case ControlKind::RadioButton:
      return "radio button";
    case ControlKind::GroupBox:
      return "group";
    case ControlKind::Static:
      return "text";
    case ControlKind::OwnerDrawStatic:
      return "message";
    case ControlKind::Edit:
      return "edit";
    case ControlKind::ComboBox:
      return "drop-down list";
    case ControlKind::ListView:
      return "list";
    case ControlKind::ProgressBar:
      return "progress bar";
    case ControlKind::Animation:
      return "animation";
    default:
      return "control";
  }
}

struct ControlView {
  ControlKind kind = ControlKind::Other;
  int id = 0;
  std::string className;
  DWORD style = 0;
  std::string text;  // window text (button and label texts keep their '&')
  bool enabled = true;
  bool visible = true;
  bool focused = false;
  bool isDefault = false;  // the default push button
  bool checked = false;    // check boxes and radio buttons
  // Combo box items, or list-view rows (their first column), and the
  // current selection (-1: none).
  std::vector<std::string> items;
  int selected = -1;
  std::vector<std::string> columns;  // list-view column headers
  // Progress bar.
  int rangeLow = 0, rangeHigh = 100, position = 0, step = 10;
  // Animation: the clip opened (empty: none), whether it plays, and the
  // path of a clip that could not be opened.
  std::string clip;
  bool playing = false;
  std::string missingClip;
  // The text last drawn into the control (owner-drawn statics), UTF-8.
  std::string drawnText;
};

// A dialog as the operator sees it.
struct DialogView {
  HWND window = 0;
  int templateId = 0;
  std::string caption;
  std::vector<ControlView> controls;  // in template order

  const ControlView* Find(int id) const {
    for (const auto& c : controls)
      if (c.id == id) return &c;
    return nullptr;
  }
  // The message texts drawn into the dialog's owner-drawn statics.
  std::string MessageText() const {
    std::string text;
    for (const auto& c : controls)
      if (c.kind == ControlKind::OwnerDrawStatic && !c.drawnText.empty())
        text += (text.empty() ? "" : "\n") + c.drawnText;
    return text;
  }
  const ControlView* ProgressBar() const {
    for (const auto& c : controls)
      if (c.kind == ControlKind::ProgressBar) return &c;
    return nullptr;
  }
  // A dialog that waits for the operator has an enabled, visible push
  // button; one without (a progress dialog) closes by itself.
  bool WaitsForOperator() const {
    for (const auto& c : controls)
      if (c.kind == ControlKind::PushButton && c.enabled && c.visible) return true;
    return false;
  }
  // A readable account: caption, then one line per control.
  std::string Describe() const {
    std::string out = "dialog " + std::to_string(templateId) + " \"" + caption + "\"\n";
    for (const auto& c : controls) {
      if (!c.visible) continue;
      out += "  [" + std::to_string(c.id) + "] " + ControlKindName(c.kind);
      if (!c.text.empty()) out += " \"" + c.text + "\"";
      if (!c.drawnText.empty()) out += " \"" + c.drawnText + "\"";
      if (!c.enabled) out += " (disabled)";
      if (c.isDefault) out += " (default)";
      if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton)
        out += c.checked ? " [x]" : " [ ]";
      if (c.kind == ControlKind::ProgressBar)
        out += " " + std::to_string(c.position) + " of " + std::to_string(c.rangeLow) + ".." +
               std::to_string(c.rangeHigh);
      if (c.kind == ControlKind::ComboBox || c.kind == ControlKind::ListView) {
        out += " items:";
        for (std::size_t i = 0; i < c.items.size(); ++i)
          out += (static_cast<int>(i) == c.selected ? " *" : " ") + c.items[i];
      }
      if (!c.missingClip.empty()) out += " (clip missing: " + c.missingClip + ")";
      out += "\n";
    }
    return out;
  }
};

// What the operator can do to the dialog it is shown, as a person would.
// Each action takes effect at once (the dialog procedure runs inside it) and
// returns false when a person could not have done it: no such control, a
// disabled or hidden one, no such item, or the dialog has already ended.
class DialogActions {
 public:
  virtual ~DialogActions() = default;
  // Replaces an edit's text (cut at the edit's limit), as if typed.
  virtual bool Type(int id, const std::string& text) = 0;
  // Selects a combo-box item or a list-view row by index, with the
  // notification a mouse selection gives (CBN_SELCHANGE, LVN_ITEMCHANGED).
  virtual bool Select(int id, int index) = 0;
  // The same by the item's text (exact).
  virtual bool SelectText(int id, const std::string& text) = 0;
  // Clicks a check box until its state is `checked` (no click when it is).
  virtual bool Tick(int id, bool checked) = 0;
  // Clicks a push button, check box or radio button.
  virtual bool Click(int id) = 0;
  // The window's close box (WM_CLOSE).
  virtual bool Close() = 0;
  // Lets time pass: the operator is asked again after this many
  // milliseconds, or at the next change of the dialog if sooner.
  virtual void LetTimePass(DWORD milliseconds) = 0;
  // Whether the dialog has ended.
  virtual bool Ended() const = 0;
};

class Operator {
 public:
  virtual ~Operator() = default;
  // Answers a message box with one of its buttons.
  virtual WORD AnswerMessageBox(const MessageBoxView& box) = 0;
  // After OK to a request to insert another medium (box.mediaDrive set): the
  // medium that goes in, by its name in the list or as a folder relative to
  // the world file; empty puts the next one of the list in.
  virtual std::string MediumToInsert(const MessageBoxView& /*box*/) { return {}; }
  virtual void WaitWindowOpened(const std::string& text, const std::string& caption) {}
  virtual void WaitWindowClosed() {}
  // A modal dialog waits for the operator: look at it, act on it (click,
  // type, select), or let time pass. Called again after every change.
  // Called on the dialog's thread. An operator that does not answer a
  // dialog closes it (a cancel); a dialog without an enabled push button (a
  // progress dialog) is left to run.
  virtual void OnDialog(const DialogView& view, DialogActions& act) {
    if (view.WaitsForOperator()) act.Close();
  }
  // The dialog has ended with this result (the last view of it).
  virtual void OnDialogClosed(const DialogView& view, std::intptr_t result) {}
};

// The operator that answers. Until a host program registers one, nobody
// answers: every question gets its refusing button, every dialog that waits
// for an answer is closed, and notices are acknowledged.
Operator& CurrentOperator();
std::shared_ptr<Operator> SetOperator(std::shared_ptr<Operator> op);
// Calls the current operator from a thread that watches the screen: the
// operator is neither replaced nor ended while the call runs (SetOperator
// waits for it).
void WithCurrentOperator(const std::function<void(Operator&)>& call);

}  // namespace plat
