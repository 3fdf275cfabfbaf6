// The operator's hands on Windows: a thread that looks at this process's
// dialogs and message boxes on the real dialog manager, shows each to the
// current operator (plat::CurrentOperator, the tests' script) as the window
// emulation shows it, and does its answers with window messages, as a person
// at the screen would: BM_CLICK, WM_SETTEXT, CB_SETCURSEL with CBN_SELCHANGE,
// the list view's row state, WM_CLOSE. The answer to a request for another
// medium puts the next medium of the world's list in first (MediaAskedFor
// and InsertMedium: the test world's, in WineWorld.cpp).
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/DialogTemplate.h"
#include "platform/winemu/Operator.h"
#include "resources/Resources.h"
#include "svpsvc/SvpServices.h"

void MediaAskedFor(plat::MessageBoxView& view);
void InsertMedium(char drive, const std::string& name);

namespace {

using plat::ControlKind;

std::string TextOf(HWND window) {
  char text[2048] = "";
  ::GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[128] = "";
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

// The module's dialog whose caption the window shows (a suffix may follow).
int TemplateOf(const std::string& caption) {
  for (int id = 100; id < 200; ++id)
    if (const plat::DialogTemplate* t = FindDialogTemplate(id))
      if (t->caption && *t->caption && caption.rfind(t->caption, 0) == 0) return id;
  return 0;
}

plat::ControlView ViewOf(HWND c) {
  plat::ControlView v;
  v.id = ::GetDlgCtrlID(c);
  v.className = ClassOf(c);
  v.style = static_cast<DWORD>(::GetWindowLongA(c, GWL_STYLE));
  v.kind = plat::KindOf(v.className, v.style);
  v.text = TextOf(c);
  v.enabled = ::IsWindowEnabled(c) != FALSE;
  v.visible = (v.style & WS_VISIBLE) != 0;
  v.focused = ::GetFocus() == c;
  v.isDefault = v.kind == ControlKind::PushButton && (v.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  if (v.kind == ControlKind::CheckBox || v.kind == ControlKind::RadioButton)
    v.checked = ::SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED;
  if (v.kind == ControlKind::OwnerDrawStatic) v.drawnText = v.text;
  if (v.kind == ControlKind::ComboBox) {
    int count = static_cast<int>(::SendMessageA(c, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char item[256] = "";
      if (::SendMessageA(c, CB_GETLBTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof item))
        ::SendMessageA(c, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      v.items.push_back(item);
    }
    v.selected = static_cast<int>(::SendMessageA(c, CB_GETCURSEL, 0, 0));
  }
  if (v.kind == ControlKind::ListView) {
    int rows = static_cast<int>(::SendMessageA(c, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
      char text[256] = "";
      LVITEMA item{};
      item.pszText = text;
      item.cchTextMax = sizeof text;
      ::SendMessageA(c, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
      v.items.push_back(text);
      if (v.selected < 0 &&
          (::SendMessageA(c, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED))
        v.selected = row;
    }
    HWND header = reinterpret_cast<HWND>(::SendMessageA(c, LVM_GETHEADER, 0, 0));
    int columns = header ? static_cast<int>(::SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < columns; ++i) {
      char text[128] = "";
      LVCOLUMNA col{};
      col.mask = LVCF_TEXT;
      col.pszText = text;
      col.cchTextMax = sizeof text;
      ::SendMessageA(c, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
      v.columns.push_back(text);
    }
  }
  if (v.kind == ControlKind::ProgressBar) {
    PBRANGE range{};
    ::SendMessageA(c, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    v.rangeLow = range.iLow;
    v.rangeHigh = range.iHigh;
    v.position = static_cast<int>(::SendMessageA(c, PBM_GETPOS, 0, 0));
  }
  return v;
}

// The dialog's controls in the order of its template (the children the
// template does not name follow).
plat::DialogView DialogViewOf(HWND dialog, int templateId) {
  plat::DialogView view;
  view.window = dialog;
  view.templateId = templateId;
  view.caption = TextOf(dialog);
  std::set<HWND> done;
  if (const plat::DialogTemplate* t = FindDialogTemplate(templateId))
    for (int i = 0; i < t->controlCount; ++i) {
      int id = t->controls[i].id;
      HWND c = id == 0xFFFF ? nullptr : ::GetDlgItem(dialog, id);
      if (!c || !done.insert(c).second) continue;
      view.controls.push_back(ViewOf(c));
    }
  for (HWND c = ::GetWindow(dialog, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
    if (done.insert(c).second) view.controls.push_back(ViewOf(c));
  return view;
}

// Lets the dialog's thread take what was posted to it.
void Settle(HWND dialog) {
  DWORD_PTR result = 0;
  ::SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
}

class Hands : public plat::DialogActions {
 public:
  Hands(HWND dialog, const plat::DialogView& view) : dialog_(dialog), view_(view) {}

  bool Type(int id, const std::string& text) override {
    HWND c = Usable(id, ControlKind::Edit);
    if (!c) return false;
    ::SendMessageA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return true;
  }
  bool Select(int id, int index) override {
    if (HWND c = Usable(id, ControlKind::ComboBox)) {
      if (index < 0 || index >= static_cast<int>(::SendMessageA(c, CB_GETCOUNT, 0, 0)))
        return false;
      ::SendMessageA(c, CB_SETCURSEL, index, 0);
      ::SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(c));
      return true;
    }
    HWND c = Usable(id, ControlKind::ListView);
    if (!c || index < 0 || index >= static_cast<int>(::SendMessageA(c, LVM_GETITEMCOUNT, 0, 0)))
      return false;
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageA(c, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
    return true;
  }
  bool SelectText(int id, const std::string& text) override {
    const plat::ControlView* c = view_.Find(id);
    if (!c) return false;
    for (std::size_t i = 0; i < c->items.size(); ++i)
      if (c->items[i] == text) return Select(id, static_cast<int>(i));
    return false;
  }
  bool Tick(int id, bool checked) override {
    HWND c = Usable(id, ControlKind::CheckBox);
    if (c && (::SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED) != checked) Press(c);
    return c != nullptr;
  }
  bool Click(int id) override {
    const plat::ControlView* v = view_.Find(id);
    HWND c = v ? Usable(id, v->kind) : nullptr;
    if (c) Press(c);
    return c != nullptr;
  }
  bool Close() override {
    if (!::IsWindow(dialog_)) return false;
    ::PostMessageA(dialog_, WM_CLOSE, 0, 0);
    Settle(dialog_);
    return true;
  }
  void LetTimePass(DWORD) override {}
  bool Ended() const override { return !::IsWindow(dialog_); }

 private:
  HWND Usable(int id, ControlKind kind) {
    const plat::ControlView* v = view_.Find(id);
    HWND c = ::GetDlgItem(dialog_, id);
    if (!v || v->kind != kind || !c || !::IsWindowEnabled(c) || !::IsWindowVisible(c))
      return nullptr;
    return c;
  }
  void Press(HWND c) {
    ::PostMessageA(c, BM_CLICK, 0, 0);
    Settle(dialog_);
  }
  HWND dialog_;
  const plat::DialogView& view_;
};

// What the message library said of each box before it opened, by message:
// every box of the system is told, its style as the library gave it.
std::mutex gShownMutex;
std::map<int, std::deque<svc::MessageShown>> gShown;

void NoteShown(const svc::MessageShown& shown) {
  std::lock_guard<std::mutex> lock(gShownMutex);
  gShown[shown.messageId].push_back(shown);
}

void TakeShown(plat::MessageBoxView& view) {
  std::lock_guard<std::mutex> lock(gShownMutex);
  auto it = gShown.find(view.messageId);
  if (it == gShown.end() || it->second.empty()) return;
  const svc::MessageShown s = it->second.front();
  it->second.pop_front();
  view.group = s.group;
  view.identifier = s.identifier;
  view.kind = s.kind;
  view.style = s.style;
  view.hasInsert = s.hasInsert;
  view.insert = s.insert;
}

constexpr int kInsertVolumeMessage = 3836;
constexpr int kNextBackupMediumMessage = 4036;

class Watcher {
 public:
  Watcher() {
    svc::SetMessageObserver(NoteShown);
    ::CloseHandle(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Watcher*>(self)->Loop();
    return 0;
  }

  void Loop() {
    for (;;) {
      ::Sleep(10);
      std::set<HWND> now;
      ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&now));
      for (HWND window : now) Look(window);
      for (auto it = open_.begin(); it != open_.end();) {
        if (::IsWindow(it->first)) {
          ++it;
          continue;
        }
        if (it->second.templateId)
          plat::WithCurrentOperator([&](plat::Operator& op) { op.OnDialogClosed(it->second, -1); });
        it = open_.erase(it);
      }
    }
  }

  static BOOL CALLBACK Collect(HWND window, LPARAM list) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() && ClassOf(window) == "#32770" &&
        ::IsWindowVisible(window))
      reinterpret_cast<std::set<HWND>*>(list)->insert(window);
    return TRUE;
  }

  void Look(HWND window) {
    std::string caption = TextOf(window);
    int messageId = 0;
    if (std::sscanf(caption.c_str(), "SVP Message %d", &messageId) == 1) {
      if (open_.count(window)) return;
      open_[window] = plat::DialogView{};
      Answer(window, messageId);
      return;
    }
    int templateId = TemplateOf(caption);
    if (!templateId) return;
    plat::DialogView view = DialogViewOf(window, templateId);
    open_[window] = view;
    Hands hands(window, view);
    plat::WithCurrentOperator([&](plat::Operator& op) { op.OnDialog(view, hands); });
  }

  void Answer(HWND box, int messageId) {
    // The box as it shows; the message library told the rest (TakeShown).
    plat::MessageBoxView view;
    view.messageId = messageId;
    view.caption = TextOf(box);
    view.text = TextOf(::GetDlgItem(box, 0xFFFF));
    TakeShown(view);
    bool asksForMedium = messageId == kInsertVolumeMessage || messageId == kNextBackupMediumMessage;
    if (asksForMedium) MediaAskedFor(view);
    WORD answer = plat::IDCANCEL;
    std::string medium;
    plat::WithCurrentOperator([&](plat::Operator& op) {
      answer = op.AnswerMessageBox(view);
      if (asksForMedium && answer == plat::IDOK) medium = op.MediumToInsert(view);
    });
    if (asksForMedium && answer == plat::IDOK && view.mediaDrive)
      InsertMedium(view.mediaDrive, medium);
    HWND button = ::GetDlgItem(box, answer);
    if (button)
      ::PostMessageA(button, BM_CLICK, 0, 0);
    else
      ::PostMessageA(box, WM_COMMAND, answer, 0);
  }

  std::map<HWND, plat::DialogView> open_;
};

}  // namespace

// Starts the thread that shows this process's dialogs and message boxes to
// the current operator and does its answers with window messages.
void StartWindowOperator() { static Watcher watcher; }
