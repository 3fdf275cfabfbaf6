// Modal dialogs of the window emulation: built from the module's templates,
// run on the caller's thread with the operator answering them and painted
// by their owner-drawn controls; the dialog that has the focus.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/Platform.h"
#include "platform/winemu/WinInternal.h"

namespace plat {
namespace emu {

RECT ClientOrigin(const Window& dialog) {
  RECT r = dialog.rect;
  r.left += kFrameWidth;
  r.top += kFrameWidth + kCaptionHeight;
  return r;
}

// ---- painting ----------------------------------------------------------------

void Paint(const std::shared_ptr<Window>& dialog) {
  dialog->needsPaint = false;
  auto controls = dialog->controls;
  for (const auto& c : controls) {
    if (dialog->ended) return;
    if (c->kind != ControlKind::OwnerDrawStatic || !c->visible) continue;
    DeviceContext dc;
    dc.window = c->handle;
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.CtlID = static_cast<UINT>(c->id);
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = c->handle;
    item.hDC = &dc;
    item.rcItem = {0, 0, c->rect.right - c->rect.left, c->rect.bottom - c->rect.top};
    Deliver(dialog, WM_DRAWITEM, static_cast<WPARAM>(c->id), reinterpret_cast<LPARAM>(&item));
  }
}

Window* DialogOf(Window& w) { return w.isDialog ? &w : w.dialog; }

namespace {

thread_local std::vector<HWND> tModal;  // the dialogs this thread runs, innermost last

// ---- dialogs ---------------------------------------------------------------------

std::shared_ptr<Window> CreateDialogWindows(const DialogTemplate& t, DLGPROC proc) {
  auto d = std::make_shared<Window>();
  d->queue = MyQueue();
  d->isDialog = true;
  d->proc = proc;
  d->templateId = t.id;
  d->tmpl = &t;
  d->text = t.caption ? t.caption : "";
  d->style = t.style;
  RECT client{0, 0, t.cx, t.cy};
  client.right = MulDivRound(client.right, kBaseUnitX, 4);
  client.bottom = MulDivRound(client.bottom, kBaseUnitY, 8);
  d->rect = {0, 0, client.right + 2 * kFrameWidth,
             client.bottom + 2 * kFrameWidth + kCaptionHeight};
  std::lock_guard<std::mutex> lock(gMutex);
  d->handle = gNextHandle++;
  gWindows[d->handle] = d;
  RECT origin = ClientOrigin(*d);
  for (int i = 0; i < t.controlCount; ++i) {
    const DialogControlTemplate& ct = t.controls[i];
    auto c = std::make_shared<Window>();
    c->queue = d->queue;
    c->dialog = d.get();
    c->id = ct.id;
    c->className = ct.className;
    c->style = ct.style;
    c->text = ct.text ? ct.text : "";
    c->kind = KindOf(c->className, c->style);
    c->enabled = !(ct.style & WS_DISABLED);
    c->visible = (ct.style & WS_VISIBLE) != 0;
    c->rect = {origin.left + MulDivRound(ct.x, kBaseUnitX, 4),
               origin.top + MulDivRound(ct.y, kBaseUnitY, 8),
               origin.left + MulDivRound(ct.x + ct.cx, kBaseUnitX, 4),
               origin.top + MulDivRound(ct.y + ct.cy, kBaseUnitY, 8)};
    c->handle = gNextHandle++;
    gWindows[c->handle] = c;
    d->controls.push_back(c);
    if (!d->focus && c->enabled && c->visible && (ct.style & WS_TABSTOP)) d->focus = c->handle;
  }
  return d;
}

void DestroyDialogWindows(const std::shared_ptr<Window>& d) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    std::vector<HWND> gone{d->handle};
    for (const auto& c : d->controls) gone.push_back(c->handle);
    for (HWND h : gone) gWindows.erase(h);
    auto isGone = [&](HWND h) { return std::find(gone.begin(), gone.end(), h) != gone.end(); };
    // A sender waiting on a window that is gone is answered with 0.
    auto& sent = d->queue->sent;
    for (auto it = sent.begin(); it != sent.end();) {
      if (isGone((*it)->hwnd)) {
        (*it)->done = true;
        it = sent.erase(it);
      } else {
        ++it;
      }
    }
    d->queue->sentWaiting = sent.size();
    auto& timers = d->queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return isGone(t.hwnd); }),
                 timers.end());
  }
  gChanged.notify_all();
  for (const auto& c : d->controls) c->dialog = nullptr;
}

DialogView BuildView(const Window& d) {
  DialogView view;
  view.window = d.handle;
  view.templateId = d.templateId;
  view.caption = d.text;
  for (const auto& c : d.controls) {
    ControlView v;
    v.kind = c->kind;
    v.id = c->id;
    v.className = c->className;
    v.style = c->style;
    v.text = c->text;
    v.enabled = c->enabled;
    v.visible = c->visible;
    v.focused = d.focus == c->handle;
    v.isDefault =
        c->kind == ControlKind::PushButton && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    v.checked = c->checked;
    if (c->kind == ControlKind::ComboBox) {
      for (const auto& item : c->items) v.items.push_back(item.text);
      v.selected = c->selected;
    }
    if (c->kind == ControlKind::ListView) {
      for (std::size_t i = 0; i < c->rows.size(); ++i) {
        v.items.push_back(c->rows[i].texts.empty() ? "" : c->rows[i].texts[0]);
        if (v.selected < 0 && (c->rows[i].state & LVIS_SELECTED)) v.selected = static_cast<int>(i);
      }
      for (const auto& col : c->columns) v.columns.push_back(col.text);
    }
    v.rangeLow = c->low;
    v.rangeHigh = c->high;
    v.position = c->position;
    v.step = c->step;
    v.clip = c->clip;
    v.playing = c->playing;
    v.missingClip = c->missingClip;
    v.drawnText = ToUtf8(c->drawn);
    view.controls.push_back(std::move(v));
  }
  return view;
}

// The operator's hands on one dialog (used on the dialog's thread only).
class Actions : public DialogActions {
 public:
  explicit Actions(std::shared_ptr<Window> dialog) : d_(std::move(dialog)) {}

  bool Type(int id, const std::string& text) override {
    Window* c = Usable(id, ControlKind::Edit);
    if (!c) return false;
    c->text = text.substr(0, static_cast<std::size_t>(std::max(c->limit, 0)));
    c->Touch();
    d_->focus = c->handle;
    Done();
    Command(*c, EN_CHANGE);
    return true;
  }
  bool Select(int id, int index) override {
    Window* c = Usable(id, ControlKind::ComboBox);
    if (c) {
      if (index < 0 || index >= static_cast<int>(c->items.size())) return false;
      c->selected = index;
      c->Touch();
      d_->focus = c->handle;
      Done();
      Command(*c, CBN_SELCHANGE);
      return true;
    }
    c = Usable(id, ControlKind::ListView);
    if (!c || index < 0 || index >= static_cast<int>(c->rows.size())) return false;
    d_->focus = c->handle;
    Done();
    SetRowState(*c, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    return true;
  }
  bool SelectText(int id, const std::string& text) override {
    Window* c = Find(id);
    if (!c) return false;
    if (c->kind == ControlKind::ComboBox) {
      for (std::size_t i = 0; i < c->items.size(); ++i)
        if (c->items[i].text == text) return Select(id, static_cast<int>(i));
    } else if (c->kind == ControlKind::ListView) {
      for (std::size_t i = 0; i < c->rows.size(); ++i)
        if (!c->rows[i].texts.empty() && c->rows[i].texts[0] == text)
          return Select(id, static_cast<int>(i));
    }
    return false;
  }
  bool Tick(int id, bool checked) override {
    Window* c = Usable(id, ControlKind::CheckBox);
    if (!c) return false;
    if (c->checked == checked) return true;
    Done();
    return emu::Click(*c) && c->checked == checked;
  }
  bool Click(int id) override {
    Window* c = Find(id);
    if (!c || d_->ended) return false;
    if (c->kind != ControlKind::PushButton && c->kind != ControlKind::CheckBox &&
        c->kind != ControlKind::RadioButton)
      return false;
    if (!c->enabled || !c->visible) return false;
    Done();
    return emu::Click(*c);
  }
  bool Close() override {
    if (d_->ended) return false;
    Done();
    Deliver(d_, WM_CLOSE, 0, 0);
    return true;
  }
  void LetTimePass(DWORD milliseconds) override { wait_ = milliseconds; }
  bool Ended() const override { return d_->ended; }

  bool Acted() const { return acted_; }
  DWORD Wait() const { return wait_; }

 private:
  Window* Find(int id) {
    for (const auto& c : d_->controls)
      if (c->id == id) return c.get();
    return nullptr;
  }
  Window* Usable(int id, ControlKind kind) {
    Window* c = Find(id);
    if (!c || d_->ended || c->kind != kind || !c->enabled || !c->visible) return nullptr;
    return c;
  }
  void Done() { acted_ = true; }

  std::shared_ptr<Window> d_;
  bool acted_ = false;
  DWORD wait_ = 0;
};

void ModalLoop(const std::shared_ptr<Window>& d) {
  auto q = d->queue;
  const auto idle = std::chrono::milliseconds(kIdleIntervalMs);
  auto lastIdle = Clock::now();
  auto operatorDue = Clock::now();
  bool changed = true;
  std::uint64_t seen = ~std::uint64_t{0};
  while (!d->ended) {
    changed = PumpAll(q) || changed;
    if (d->ended) break;
    if (d->needsPaint) Paint(d);
    if (d->ended) break;
    auto now = Clock::now();
    if (now - lastIdle >= idle) {
      lastIdle = now;
      Deliver(d, WM_ENTERIDLE, MSGF_DIALOGBOX, static_cast<LPARAM>(d->handle));
      if (d->ended) break;
    }
    if (changed || d->version != seen || now >= operatorDue) {
      changed = false;
      seen = d->version;
      Actions act(d);
      CurrentOperator().OnDialog(BuildView(*d), act);
      if (d->ended) break;
      if (act.Acted()) changed = true;
      operatorDue = Clock::now() + (act.Wait() ? std::chrono::milliseconds(act.Wait()) : idle);
      if (changed) continue;
    }
    WaitForWork(q, std::min(lastIdle + idle, operatorDue));
  }
}

}  // namespace
}  // namespace emu

using namespace emu;

namespace {
std::atomic<DialogTemplateLookup> gTemplateLookup{nullptr};
}  // namespace

void RegisterDialogTemplates(DialogTemplateLookup lookup) { gTemplateLookup.store(lookup); }

INT_PTR DialogBoxParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM param) {
  DialogTemplateLookup lookup = gTemplateLookup.load();
  return DialogBoxIndirectParam(instance, lookup ? lookup(templateId) : nullptr, owner, proc,
                                param);
}

INT_PTR DialogBoxIndirectParam(HINSTANCE /*instance*/, const DialogTemplate* t, HWND owner,
                               DLGPROC proc, LPARAM param) {
  if (!t || !proc) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  auto d = CreateDialogWindows(*t, proc);
  (void)owner;
  tModal.push_back(d->handle);
  Deliver(d, WM_INITDIALOG, static_cast<WPARAM>(d->focus), param);
  // A dialog that ended while it opened was never shown to the operator.
  bool shown = !d->ended;
  if (shown) {
    Paint(d);
    ModalLoop(d);
  }
  INT_PTR result = d->result;
  DialogView last = BuildView(*d);
  tModal.pop_back();
  DestroyDialogWindows(d);
  if (shown) CurrentOperator().OnDialogClosed(last, result);
  return result;
}

INT_PTR DialogBoxParam(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC proc,
                       LPARAM param) {
  if (!IS_INTRESOURCE(templateName)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  const auto id = static_cast<int>(reinterpret_cast<std::uintptr_t>(templateName));
  return DialogBoxParam(instance, id, owner, proc, param);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  return static_cast<BOOL>(OnOwner(dialog, [&](Window& w) -> LRESULT {
    Window* d = DialogOf(w);
    if (!w.isDialog || !d) return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
  }));
}

HWND SetFocus(HWND window) {
  HWND previous = GetFocus();
  if (window == 0) return previous;
  OnOwner(window, [&](Window& w) -> LRESULT {
    Window* d = DialogOf(w);
    if (d && d->focus != w.handle) {
      d->focus = w.handle;
      d->Touch();
    }
    return 0;
  });
  return previous;
}

HWND GetFocus() {
  if (tModal.empty()) return 0;
  auto d = Find(tModal.back());
  return d ? d->focus : 0;
}

}  // namespace plat
