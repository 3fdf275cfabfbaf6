// Windows, message queues, modal dialogs and the common controls of this
// machine (see Win.h and docs/dialogs.md).
//
// One mutex guards the window table and every queue; the state of a window
// (texts, checks, items, progress) is touched only on the thread that owns
// the window: a call from another thread is carried there as a sent message.
// Dialog procedures and the operator always run without the lock held.
#include "platform/Win.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/DialogTemplate.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"

namespace plat {

struct DeviceContext {
  HWND window = 0;
  HGDIOBJ font = nullptr;
  COLORREF background = 0xFFFFFF;
  int mode = OPAQUE;
};

struct GdiObject {
  LOGFONT font{};
};

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr HWND kDesktop = 0x00010010;
// Runs a std::function<LRESULT()> (lParam) on the window's thread.
constexpr UINT kMsgInvoke = 0x7FFF;
constexpr int kDefaultEditLimit = 30000;

struct SentMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
};

struct Timer {
  HWND hwnd;
  std::uintptr_t id;
  DWORD interval;
  Clock::time_point due;
  bool pending = false;  // a WM_TIMER of it waits in the queue
};

struct Queue {
  std::thread::id owner;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
};

struct Row {
  std::vector<std::string> texts;  // one per column
  UINT state = 0;
  LPARAM param = 0;
};

struct ComboItem {
  std::string text;
  LPARAM data = 0;
};

struct Column {
  std::string text;
  int width = 0;
  int fmt = LVCFMT_LEFT;
};

struct Window {
  HWND handle = 0;
  std::shared_ptr<Queue> queue;
  bool isDialog = false;
  std::string text;
  DWORD style = 0;
  RECT rect{};  // screen pixels
  bool enabled = true;
  bool visible = true;

  // Dialogs.
  DLGPROC proc = nullptr;
  int templateId = 0;
  const DialogTemplate* tmpl = nullptr;
  std::vector<std::shared_ptr<Window>> controls;
  bool ended = false;
  INT_PTR result = 0;
  bool needsPaint = false;
  HWND focus = 0;
  std::uint64_t version = 0;  // counts every change the operator could see

  // Controls.
  Window* dialog = nullptr;  // the dialog a control belongs to
  int id = 0;
  std::string className;
  ControlKind kind = ControlKind::Other;
  bool checked = false;
  int limit = kDefaultEditLimit;
  std::vector<ComboItem> items;
  int selected = -1;
  std::vector<Column> columns;
  std::vector<Row> rows;
  DWORD extendedStyle = 0;
  int low = 0, high = 100, position = 0, step = 10;
  std::string clip, missingClip;
  bool playing = false;
  std::u16string drawn;

  void Touch() {
    if (dialog)
      ++dialog->version;
    else
      ++version;
  }
};

std::mutex gMutex;
std::condition_variable gChanged;
std::map<HWND, std::shared_ptr<Window>> gWindows;
HWND gNextHandle = 0x00020000;
std::map<std::string, UINT> gRegistered;
UINT gNextRegistered = 0xC000;

thread_local std::shared_ptr<Queue> tQueue;
thread_local std::vector<HWND> tModal;  // the dialogs this thread runs, innermost last

std::shared_ptr<Queue> MyQueue() {
  if (!tQueue) {
    tQueue = std::make_shared<Queue>();
    tQueue->owner = std::this_thread::get_id();
  }
  return tQueue;
}

std::shared_ptr<Window> Find(HWND h) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gWindows.find(h);
  return it == gWindows.end() ? nullptr : it->second;
}

bool OwnedHere(const Window& w) { return w.queue->owner == std::this_thread::get_id(); }

std::string ToUtf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

LRESULT CopyText(const std::string& text, char* out, std::size_t size) {
  if (!out || size == 0) return 0;
  std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<LRESULT>(n);
}

int MulDivRound(int value, int numerator, int denominator) {
  long long v = static_cast<long long>(value) * numerator;
  return static_cast<int>(v >= 0 ? (v + denominator / 2) / denominator
                                 : -((-v + denominator / 2) / denominator));
}

ControlKind KindOf(const std::string& className, DWORD style) {
  if (EqualNoCase(className, "Button")) {
    switch (style & BS_TYPEMASK) {
      case BS_PUSHBUTTON:
      case BS_DEFPUSHBUTTON:
        return ControlKind::PushButton;
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
        return ControlKind::CheckBox;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        return ControlKind::RadioButton;
      case BS_GROUPBOX:
        return ControlKind::GroupBox;
      default:
        return ControlKind::Other;
    }
  }
  if (EqualNoCase(className, "Static"))
    return (style & SS_TYPEMASK) == SS_OWNERDRAW ? ControlKind::OwnerDrawStatic
                                                 : ControlKind::Static;
  if (EqualNoCase(className, "Edit")) return ControlKind::Edit;
  if (EqualNoCase(className, "ComboBox")) return ControlKind::ComboBox;
  if (EqualNoCase(className, "SysListView32")) return ControlKind::ListView;
  if (EqualNoCase(className, "msctls_progress32")) return ControlKind::ProgressBar;
  if (EqualNoCase(className, "SysAnimate32")) return ControlKind::Animation;
  return ControlKind::Other;
}

RECT ClientOrigin(const Window& dialog) {
  RECT r = dialog.rect;
  r.left += kFrameWidth;
  r.top += kFrameWidth + kCaptionHeight;
  return r;
}

LRESULT Deliver(const std::shared_ptr<Window>& w, UINT message, WPARAM wParam, LPARAM lParam);

// ---- the owner thread's message handling ------------------------------------

// Handles the messages other threads have sent to this thread's windows.
bool PumpSent(const std::shared_ptr<Queue>& q) {
  bool any = false;
  for (;;) {
    std::shared_ptr<SentMessage> m;
    std::shared_ptr<Window> w;
    {
      std::lock_guard<std::mutex> lock(gMutex);
      if (q->sent.empty()) break;
      m = q->sent.front();
      q->sent.pop_front();
      auto it = gWindows.find(m->hwnd);
      if (it != gWindows.end()) w = it->second;
    }
    LRESULT result = w ? Deliver(w, m->message, m->wParam, m->lParam) : 0;
    {
      std::lock_guard<std::mutex> lock(gMutex);
      m->result = result;
      m->done = true;
    }
    gChanged.notify_all();
    any = true;
  }
  return any;
}

// Turns due timers into WM_TIMER messages (lock held).
void PostDueTimers(Queue& q, Clock::time_point now) {
  for (auto& t : q.timers) {
    if (t.pending || now < t.due) continue;
    q.posted.push_back({t.hwnd, WM_TIMER, t.id, 0});
    t.pending = true;
    t.due = now + std::chrono::milliseconds(t.interval);
  }
}

bool Matches(const MSG& m, HWND window, UINT low, UINT high) {
  if (window != 0 && m.hwnd != window) return false;
  if (low == 0 && high == 0) return true;
  return m.message >= low && m.message <= high;
}

// Takes the first posted message that matches (lock held).
bool TakePosted(Queue& q, MSG* out, HWND window, UINT low, UINT high, bool remove) {
  PostDueTimers(q, Clock::now());
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!Matches(*it, window, low, high)) continue;
    *out = *it;
    if (remove) {
      if (it->message == WM_TIMER)
        for (auto& t : q.timers)
          if (t.hwnd == it->hwnd && t.id == it->wParam) t.pending = false;
      q.posted.erase(it);
    }
    return true;
  }
  return false;
}

bool HasWork(const Queue& q) {
  if (!q.sent.empty()) return true;
  for (const auto& m : q.posted)
    if (m.hwnd != 0) return true;
  auto now = Clock::now();
  for (const auto& t : q.timers)
    if (!t.pending && now >= t.due) return true;
  return false;
}

// Handles sent messages and dispatches the window messages posted so far
// (thread messages stay for PeekMessage). True when anything was handled.
bool PumpAll(const std::shared_ptr<Queue>& q) {
  bool any = PumpSent(q);
  std::size_t budget;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    PostDueTimers(*q, Clock::now());
    budget = q->posted.size();
  }
  while (budget-- > 0) {
    MSG m;
    {
      std::lock_guard<std::mutex> lock(gMutex);
      bool found = false;
      for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
        if (it->hwnd == 0) continue;
        m = *it;
        if (m.message == WM_TIMER)
          for (auto& t : q->timers)
            if (t.hwnd == m.hwnd && t.id == m.wParam) t.pending = false;
        q->posted.erase(it);
        found = true;
        break;
      }
      if (!found) break;
    }
    DispatchMessage(&m);
    any = true;
    any = PumpSent(q) || any;
  }
  return any;
}

void WaitForWork(const std::shared_ptr<Queue>& q, Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(gMutex);
  auto until = deadline;
  for (const auto& t : q->timers)
    if (!t.pending) until = std::min(until, t.due);
  gChanged.wait_until(lock, until, [&] { return HasWork(*q); });
}

// Runs f on the thread that owns the window (directly when that is this
// thread); 0 when the window does not exist.
LRESULT OnOwner(HWND h, const std::function<LRESULT(Window&)>& f) {
  auto w = Find(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (OwnedHere(*w)) return f(*w);
  std::function<LRESULT()> call = [&] {
    auto again = Find(h);
    return again ? f(*again) : 0;
  };
  return SendMessage(h, kMsgInvoke, 0, reinterpret_cast<LPARAM>(&call));
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

// ---- controls ------------------------------------------------------------------

void Notify(Window& control, UINT code, NMLISTVIEW* nm) {
  if (!control.dialog) return;
  nm->hdr.hwndFrom = control.handle;
  nm->hdr.idFrom = static_cast<std::uintptr_t>(control.id);
  nm->hdr.code = code;
  auto dialog = Find(control.dialog->handle);
  if (dialog)
    Deliver(dialog, WM_NOTIFY, static_cast<WPARAM>(control.id), reinterpret_cast<LPARAM>(nm));
}

void Command(Window& control, WORD code) {
  if (!control.dialog) return;
  auto dialog = Find(control.dialog->handle);
  if (dialog)
    Deliver(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control.id), code),
            static_cast<LPARAM>(control.handle));
}

// Changes one row's state and tells the dialog (LVN_ITEMCHANGED).
void SetRowState(Window& lv, int index, UINT state, UINT mask) {
  if (index < 0 || index >= static_cast<int>(lv.rows.size())) return;
  // One selected row in a single-selection list, one focused row in any.
  if ((mask & LVIS_SELECTED) && (state & LVIS_SELECTED) && (lv.style & LVS_SINGLESEL))
    for (int i = 0; i < static_cast<int>(lv.rows.size()); ++i)
      if (i != index && (lv.rows[i].state & LVIS_SELECTED)) SetRowState(lv, i, 0, LVIS_SELECTED);
  if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
    for (int i = 0; i < static_cast<int>(lv.rows.size()); ++i)
      if (i != index && (lv.rows[i].state & LVIS_FOCUSED)) SetRowState(lv, i, 0, LVIS_FOCUSED);
  if (index >= static_cast<int>(lv.rows.size())) return;
  UINT old = lv.rows[index].state;
  UINT now = (old & ~mask) | (state & mask);
  if (now == old) return;
  lv.rows[index].state = now;
  lv.Touch();
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.uNewState = now;
  nm.uOldState = old;
  nm.uChanged = LVIF_STATE;
  nm.lParam = lv.rows[index].param;
  Notify(lv, LVN_ITEMCHANGED, &nm);
}

bool Click(Window& b) {
  if (!b.enabled || !b.visible || (b.dialog && b.dialog->ended)) return false;
  DWORD type = b.style & BS_TYPEMASK;
  if (type == BS_AUTOCHECKBOX) {
    b.checked = !b.checked;
    b.Touch();
  } else if (type == BS_AUTORADIOBUTTON && b.dialog) {
    // Checks itself and clears the radio buttons of its group: from the
    // control that starts the group to the next one that starts another.
    auto& all = b.dialog->controls;
    auto self = std::find_if(all.begin(), all.end(), [&](auto& c) { return c.get() == &b; });
    auto first = self;
    while (first != all.begin() && !((*first)->style & WS_GROUP)) --first;
    for (auto it = first; it != all.end(); ++it) {
      if (it != first && ((*it)->style & WS_GROUP)) break;
      if ((*it)->kind == ControlKind::RadioButton && it->get() != &b && (*it)->checked) {
        (*it)->checked = false;
        (*it)->Touch();
      }
    }
    if (!b.checked) {
      b.checked = true;
      b.Touch();
    }
  }
  if (b.dialog) b.dialog->focus = b.handle;
  Command(b, BN_CLICKED);
  return true;
}

LRESULT ButtonMessage(Window& b, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case BM_GETCHECK:
      return b.checked ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      if (b.checked != (wParam == BST_CHECKED)) {
        b.checked = wParam == BST_CHECKED;
        b.Touch();
      }
      return 0;
    case BM_GETSTATE:
      return b.checked ? BST_CHECKED : BST_UNCHECKED;
    case BM_CLICK:
      Click(b);
      return 0;
    default:
      return 0;
  }
}

LRESULT ComboMessage(Window& c, UINT message, WPARAM wParam, LPARAM lParam) {
  const int count = static_cast<int>(c.items.size());
  const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
  const char* text = reinterpret_cast<const char*>(lParam);
  auto findFrom = [&](bool exact) -> LRESULT {
    if (!text || count == 0) return CB_ERR;
    std::string wanted = text;
    int start = index < -1 || index >= count ? -1 : index;
    for (int k = 1; k <= count; ++k) {
      int i = (start + k) % count;
      const std::string& t = c.items[i].text;
      if (exact ? EqualNoCase(t, wanted) : EqualNoCase(t.substr(0, wanted.size()), wanted))
        return i;
    }
    return CB_ERR;
  };
  switch (message) {
    case CB_ADDSTRING:
      c.items.push_back({text ? text : "", 0});
      c.Touch();
      return count;
    case CB_INSERTSTRING: {
      int at = index == -1 ? count : index;
      if (at < 0 || at > count) return CB_ERR;
      c.items.insert(c.items.begin() + at, {text ? text : "", 0});
      if (c.selected >= at) ++c.selected;
      c.Touch();
      return at;
    }
    case CB_DELETESTRING:
      if (index < 0 || index >= count) return CB_ERR;
      c.items.erase(c.items.begin() + index);
      if (c.selected == index)
        c.selected = -1;
      else if (c.selected > index)
        --c.selected;
      c.Touch();
      return count - 1;
    case CB_RESETCONTENT:
      c.items.clear();
      c.selected = -1;
      c.Touch();
      return 0;
    case CB_GETCOUNT:
      return count;
    case CB_GETCURSEL:
      return c.selected;
    case CB_SETCURSEL:
      c.selected = index >= 0 && index < count ? index : -1;
      c.Touch();
      return c.selected == -1 ? CB_ERR : c.selected;
    case CB_GETLBTEXT:
      if (index < 0 || index >= count) return CB_ERR;
      return CopyText(c.items[index].text, reinterpret_cast<char*>(lParam),
                      c.items[index].text.size() + 1);
    case CB_GETLBTEXTLEN:
      if (index < 0 || index >= count) return CB_ERR;
      return static_cast<LRESULT>(c.items[index].text.size());
    case CB_SETITEMDATA:
      if (index < 0 || index >= count) return CB_ERR;
      c.items[index].data = lParam;
      return 1;
    case CB_GETITEMDATA:
      if (index < 0 || index >= count) return CB_ERR;
      return c.items[index].data;
    case CB_FINDSTRING:
      return findFrom(false);
    case CB_FINDSTRINGEXACT:
      return findFrom(true);
    case CB_SELECTSTRING: {
      LRESULT at = findFrom(false);
      if (at != CB_ERR) {
        c.selected = static_cast<int>(at);
        c.Touch();
      }
      return at;
    }
    default:
      return 0;
  }
}

LRESULT ListViewMessage(Window& lv, UINT message, WPARAM wParam, LPARAM lParam) {
  const int count = static_cast<int>(lv.rows.size());
  const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
  auto* item = reinterpret_cast<LVITEM*>(lParam);
  auto textOf = [&](int row, int sub) -> std::string {
    if (row < 0 || row >= count || sub < 0) return {};
    const auto& texts = lv.rows[row].texts;
    return sub < static_cast<int>(texts.size()) ? texts[sub] : std::string();
  };
  auto setText = [&](int row, int sub, const char* text) {
    auto& texts = lv.rows[row].texts;
    if (static_cast<int>(texts.size()) <= sub) texts.resize(sub + 1);
    texts[sub] = text ? text : "";
    lv.Touch();
  };
  switch (message) {
    case LVM_GETITEMCOUNT:
      return count;
    case LVM_INSERTITEM: {
      if (!item || item->iSubItem != 0 || item->iItem < 0) return -1;
      int at = std::min(item->iItem, count);
      Row row;
      row.texts.push_back((item->mask & LVIF_TEXT) && item->pszText ? item->pszText : "");
      if (item->mask & LVIF_PARAM) row.param = item->lParam;
      lv.rows.insert(lv.rows.begin() + at, row);
      lv.Touch();
      if (item->mask & LVIF_STATE) SetRowState(lv, at, item->state, item->stateMask);
      return at;
    }
    case LVM_SETITEM: {
      if (!item || item->iItem < 0 || item->iItem >= count) return FALSE;
      if (item->mask & LVIF_TEXT) setText(item->iItem, item->iSubItem, item->pszText);
      if (item->mask & LVIF_PARAM) lv.rows[item->iItem].param = item->lParam;
      if (item->mask & LVIF_STATE) SetRowState(lv, item->iItem, item->state, item->stateMask);
      return TRUE;
    }
    case LVM_GETITEM: {
      if (!item || item->iItem < 0 || item->iItem >= count) return FALSE;
      if (item->mask & LVIF_TEXT)
        CopyText(textOf(item->iItem, item->iSubItem), item->pszText,
                 static_cast<std::size_t>(std::max(item->cchTextMax, 0)));
      if (item->mask & LVIF_PARAM) item->lParam = lv.rows[item->iItem].param;
      if (item->mask & LVIF_STATE) item->state = lv.rows[item->iItem].state & item->stateMask;
      return TRUE;
    }
    case LVM_SETITEMTEXT:
      if (!item || index < 0 || index >= count || item->iSubItem < 0) return FALSE;
      setText(index, item->iSubItem, item->pszText);
      return TRUE;
    case LVM_GETITEMTEXT:
      if (!item) return 0;
      return CopyText(textOf(index, item->iSubItem), item->pszText,
                      static_cast<std::size_t>(std::max(item->cchTextMax, 0)));
    case LVM_DELETEITEM:
      if (index < 0 || index >= count) return FALSE;
      lv.rows.erase(lv.rows.begin() + index);
      lv.Touch();
      return TRUE;
    case LVM_DELETEALLITEMS:
      lv.rows.clear();
      lv.Touch();
      return TRUE;
    case LVM_GETNEXTITEM: {
      UINT flags = static_cast<UINT>(lParam) & (LVNI_SELECTED | LVNI_FOCUSED);
      for (int i = std::max(index + 1, 0); i < count; ++i) {
        UINT s = lv.rows[i].state;
        if (((flags & LVNI_SELECTED) && !(s & LVIS_SELECTED)) ||
            ((flags & LVNI_FOCUSED) && !(s & LVIS_FOCUSED)))
          continue;
        return i;
      }
      return -1;
    }
    case LVM_SETITEMSTATE:
      if (!item) return FALSE;
      if (index == -1) {
        for (int i = 0; i < count; ++i) SetRowState(lv, i, item->state, item->stateMask);
        return TRUE;
      }
      if (index < 0 || index >= count) return FALSE;
      SetRowState(lv, index, item->state, item->stateMask);
      return TRUE;
    case LVM_GETITEMSTATE:
      if (index < 0 || index >= count) return 0;
      return lv.rows[index].state & static_cast<UINT>(lParam);
    case LVM_GETSELECTEDCOUNT:
      return std::count_if(lv.rows.begin(), lv.rows.end(),
                           [](const Row& r) { return (r.state & LVIS_SELECTED) != 0; });
    case LVM_INSERTCOLUMN: {
      auto* col = reinterpret_cast<const LVCOLUMN*>(lParam);
      if (!col || index < 0) return -1;
      int at = std::min(index, static_cast<int>(lv.columns.size()));
      Column c;
      if ((col->mask & LVCF_TEXT) && col->pszText) c.text = col->pszText;
      if (col->mask & LVCF_WIDTH) c.width = col->cx;
      if (col->mask & LVCF_FMT) c.fmt = col->fmt;
      lv.columns.insert(lv.columns.begin() + at, c);
      lv.Touch();
      return at;
    }
    case LVM_SETCOLUMNWIDTH: {
      if (index < 0 || index >= static_cast<int>(lv.columns.size())) return FALSE;
      int cx = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam)));
      std::size_t chars = 0;
      if (cx == LVSCW_AUTOSIZE || cx == LVSCW_AUTOSIZE_USEHEADER) {
        for (int r = 0; r < count; ++r) chars = std::max(chars, textOf(r, index).size());
        if (cx == LVSCW_AUTOSIZE_USEHEADER) chars = std::max(chars, lv.columns[index].text.size());
        cx = static_cast<int>(chars) * kBaseUnitX + 12;
      }
      lv.columns[index].width = cx;
      return TRUE;
    }
    case LVM_GETCOLUMNWIDTH:
      if (index < 0 || index >= static_cast<int>(lv.columns.size())) return 0;
      return lv.columns[index].width;
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      DWORD old = lv.extendedStyle;
      DWORD mask = wParam == 0 ? 0xFFFFFFFF : static_cast<DWORD>(wParam);
      lv.extendedStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
      return old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
      return lv.extendedStyle;
    default:
      return 0;
  }
}

LRESULT ProgressMessage(Window& p, UINT message, WPARAM wParam, LPARAM lParam) {
  auto clamp = [&] { p.position = std::clamp(p.position, p.low, std::max(p.low, p.high)); };
  int old = p.position;
  switch (message) {
    case PBM_SETRANGE: {
      LRESULT previous = MAKELPARAM(static_cast<WORD>(p.low), static_cast<WORD>(p.high));
      p.low = LOWORD(static_cast<std::uintptr_t>(lParam));
      p.high = HIWORD(static_cast<std::uintptr_t>(lParam));
      clamp();
      p.Touch();
      return previous;
    }
    case PBM_SETRANGE32: {
      LRESULT previous = MAKELPARAM(static_cast<WORD>(p.low), static_cast<WORD>(p.high));
      p.low = static_cast<int>(static_cast<std::intptr_t>(wParam));
      p.high = static_cast<int>(lParam);
      clamp();
      p.Touch();
      return previous;
    }
    case PBM_GETRANGE:
      return wParam ? p.low : p.high;
    case PBM_SETPOS:
      p.position = static_cast<int>(static_cast<std::intptr_t>(wParam));
      break;
    case PBM_DELTAPOS:
      p.position += static_cast<int>(static_cast<std::intptr_t>(wParam));
      break;
    case PBM_SETSTEP: {
      int previous = p.step;
      p.step = static_cast<int>(static_cast<std::intptr_t>(wParam));
      return previous;
    }
    case PBM_STEPIT:
      p.position += p.step;
      // Past the upper bound the bar starts over from the lower bound.
      if (p.position > p.high)
        p.position = p.high > p.low ? (p.position - p.low) % (p.high - p.low) + p.low : p.low;
      p.Touch();
      return old;
    case PBM_GETPOS:
      return p.position;
    default:
      return 0;
  }
  clamp();
  p.Touch();
  return old;
}

LRESULT AnimationMessage(Window& a, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case ACM_OPEN: {
      const char* path = reinterpret_cast<const char*>(lParam);
      a.playing = false;
      a.clip.clear();
      a.missingClip.clear();
      a.Touch();
      if (!path) return TRUE;  // closes the clip
      DWORD attributes = HasCurrent() ? GetFileAttributes(path) : INVALID_FILE_ATTRIBUTES;
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        a.missingClip = path;
        return FALSE;
      }
      a.clip = path;
      if (a.style & ACS_AUTOPLAY) a.playing = true;
      return TRUE;
    }
    case ACM_PLAY:
      if (a.clip.empty()) return FALSE;
      a.playing = true;
      a.Touch();
      return TRUE;
    case ACM_STOP:
      a.playing = false;
      a.Touch();
      return TRUE;
    default:
      return 0;
  }
}

LRESULT TextMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
  *handled = true;
  switch (message) {
    case WM_SETTEXT:
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      w.Touch();
      return TRUE;
    case WM_GETTEXT: {
      std::string text = w.text;
      if (w.kind == ControlKind::ComboBox)
        text = w.selected >= 0 ? w.items[w.selected].text : std::string();
      return CopyText(text, reinterpret_cast<char*>(lParam), wParam);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w.text.size());
    default:
      *handled = false;
      return 0;
  }
}

LRESULT ControlMessage(Window& c, UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT r = TextMessage(c, message, wParam, lParam, &handled);
  if (handled) return r;
  switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      return ButtonMessage(c, message, wParam, lParam);
    case ControlKind::ComboBox:
      return ComboMessage(c, message, wParam, lParam);
    case ControlKind::ListView:
      return ListViewMessage(c, message, wParam, lParam);
    case ControlKind::ProgressBar:
      return ProgressMessage(c, message, wParam, lParam);
    case ControlKind::Animation:
      return AnimationMessage(c, message, wParam, lParam);
    case ControlKind::Edit:
      if (message == EM_LIMITTEXT) {
        c.limit = wParam == 0 ? 0x7FFFFFFE : static_cast<int>(wParam);
        return 0;
      }
      if (message == EM_GETLIMITTEXT) return c.limit;
      return 0;
    default:
      return 0;
  }
}

LRESULT Deliver(const std::shared_ptr<Window>& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kMsgInvoke) return (*reinterpret_cast<std::function<LRESULT()>*>(lParam))();
  if (!w->isDialog) return ControlMessage(*w, message, wParam, lParam);
  INT_PTR handled = w->proc ? w->proc(w->handle, message, wParam, lParam) : 0;
  if (handled) return handled;
  // What the default dialog handling does for a procedure that did not.
  if (message == WM_CLOSE && !w->ended) {
    HWND cancel = GetDlgItem(w->handle, IDCANCEL);
    Deliver(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), static_cast<LPARAM>(cancel));
    return 0;
  }
  bool textHandled = false;
  LRESULT r = TextMessage(*w, message, wParam, lParam, &textHandled);
  return textHandled ? r : 0;
}

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
    return plat::Click(*c) && c->checked == checked;
  }
  bool Click(int id) override {
    Window* c = Find(id);
    if (!c || d_->ended) return false;
    if (c->kind != ControlKind::PushButton && c->kind != ControlKind::CheckBox &&
        c->kind != ControlKind::RadioButton)
      return false;
    if (!c->enabled || !c->visible) return false;
    Done();
    return plat::Click(*c);
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

// ---- public functions ------------------------------------------------------------

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Queue> q;
  if (window == 0) {
    q = MyQueue();
  } else {
    auto w = Find(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    q = w->queue;
  }
  {
    std::lock_guard<std::mutex> lock(gMutex);
    q->posted.push_back({window, message, wParam, lParam});
  }
  gChanged.notify_all();
  return TRUE;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (OwnedHere(*w)) return Deliver(w, message, wParam, lParam);
  auto m = std::make_shared<SentMessage>();
  m->hwnd = window;
  m->message = message;
  m->wParam = wParam;
  m->lParam = lParam;
  std::shared_ptr<Queue> target = w->queue;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    target->sent.push_back(m);
  }
  w.reset();
  gChanged.notify_all();
  auto mine = tQueue;  // this thread's own windows keep being served meanwhile
  for (;;) {
    if (mine) PumpSent(mine);
    std::unique_lock<std::mutex> lock(gMutex);
    if (m->done) return m->result;
    gChanged.wait_for(lock, std::chrono::milliseconds(10),
                      [&] { return m->done || (mine && !mine->sent.empty()); });
    if (m->done) return m->result;
    if (StopRequested()) {
      // A thread asked to stop gives up waiting while its message has not
      // been taken; once taken, the message's data (on this thread's stack)
      // is in use and the answer is awaited.
      auto it = std::find(target->sent.begin(), target->sent.end(), m);
      if (it != target->sent.end()) {
        target->sent.erase(it);
        return 0;
      }
    }
  }
}

BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlag) {
  auto q = MyQueue();
  PumpSent(q);
  std::unique_lock<std::mutex> lock(gMutex);
  if (TakePosted(*q, msg, window, filterMin, filterMax, removeFlag & PM_REMOVE)) return TRUE;
  // Nothing waits: yield the processor for at most a millisecond (woken at
  // once by a new message), so that a polling loop does not spin.
  gChanged.wait_for(lock, std::chrono::milliseconds(1));
  return FALSE;
}

BOOL GetMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  auto q = MyQueue();
  for (;;) {
    PumpSent(q);
    std::unique_lock<std::mutex> lock(gMutex);
    if (TakePosted(*q, msg, window, filterMin, filterMax, true))
      return msg->message == WM_QUIT ? FALSE : TRUE;
    gChanged.wait_for(lock, std::chrono::milliseconds(10));
    if (StopRequested()) return -1;
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg || msg->hwnd == 0) return 0;
  auto w = Find(msg->hwnd);
  if (!w || !OwnedHere(*w)) return 0;
  return Deliver(w, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) { PostMessage(0, WM_QUIT, static_cast<WPARAM>(exitCode), 0); }

UINT RegisterWindowMessage(const char* name) {
  if (!name || !*name) return 0;
  std::string key = name;
  for (auto& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gRegistered.find(key);
  if (it != gRegistered.end()) return it->second;
  if (gNextRegistered > 0xFFFF) return 0;
  return gRegistered[key] = gNextRegistered++;
}

std::uintptr_t SetTimer(HWND window, std::uintptr_t id, UINT milliseconds, void*) {
  auto w = Find(window);
  if (!w || !OwnedHere(*w)) return 0;
  std::lock_guard<std::mutex> lock(gMutex);
  auto& timers = w->queue->timers;
  auto due = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (auto& t : timers)
    if (t.hwnd == window && t.id == id) {
      t.interval = milliseconds;
      t.due = due;
      return id;
    }
  timers.push_back({window, id, milliseconds, due, false});
  return id;
}

BOOL KillTimer(HWND window, std::uintptr_t id) {
  auto w = Find(window);
  if (!w) return FALSE;
  std::lock_guard<std::mutex> lock(gMutex);
  auto& timers = w->queue->timers;
  auto before = timers.size();
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [&](const Timer& t) { return t.hwnd == window && t.id == id; }),
               timers.end());
  return timers.size() != before;
}

namespace {
std::atomic<DialogTemplateLookup> gTemplateLookup{nullptr};
}  // namespace

void RegisterDialogTemplates(DialogTemplateLookup lookup) { gTemplateLookup.store(lookup); }

INT_PTR DialogBoxParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc,
                       LPARAM param) {
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

HWND GetDlgItem(HWND dialog, int id) {
  auto d = Find(dialog);
  if (!d || !d->isDialog) return 0;
  std::lock_guard<std::mutex> lock(gMutex);
  for (const auto& c : d->controls)
    if (c->id == id) return c->handle;
  return 0;
}

int GetDlgCtrlID(HWND control) {
  auto c = Find(control);
  return c && !c->isDialog ? c->id : 0;
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND c = GetDlgItem(dialog, id);
  return c ? SendMessage(c, message, wParam, lParam) : 0;
}

BOOL SetDlgItemText(HWND dialog, int id, const char* text) {
  HWND c = GetDlgItem(dialog, id);
  return c ? SetWindowText(c, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, char* text, int size) {
  HWND c = GetDlgItem(dialog, id);
  if (!c) {
    if (text && size > 0) text[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowText(c, text, size));
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND c = GetDlgItem(dialog, id);
  if (!c) return FALSE;
  SendMessage(c, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendDlgItemMessage(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
  if (!rect || !IsWindow(dialog)) return FALSE;
  rect->left = MulDivRound(rect->left, kBaseUnitX, 4);
  rect->right = MulDivRound(rect->right, kBaseUnitX, 4);
  rect->top = MulDivRound(rect->top, kBaseUnitY, 8);
  rect->bottom = MulDivRound(rect->bottom, kBaseUnitY, 8);
  return TRUE;
}

BOOL IsWindow(HWND window) { return window == kDesktop || Find(window) != nullptr; }

HWND GetParent(HWND window) {
  auto w = Find(window);
  if (!w || w->isDialog) return 0;
  return static_cast<HWND>(
      OnOwner(window, [](Window& c) -> LRESULT { return c.dialog ? c.dialog->handle : 0; }));
}

BOOL SetWindowText(HWND window, const char* text) {
  std::string value = text ? text : "";
  return static_cast<BOOL>(OnOwner(window, [&](Window& w) -> LRESULT {
    if (w.text != value) {
      w.text = value;
      w.Touch();
    }
    return TRUE;
  }));
}

int GetWindowText(HWND window, char* text, int size) {
  if (!text || size <= 0) return 0;
  text[0] = '\0';
  return static_cast<int>(OnOwner(window, [&](Window& w) -> LRESULT {
    bool handled = false;
    return TextMessage(w, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text),
                       &handled);
  }));
}

int GetWindowTextLength(HWND window) {
  return static_cast<int>(
      OnOwner(window, [](Window& w) -> LRESULT { return static_cast<LRESULT>(w.text.size()); }));
}

BOOL EnableWindow(HWND window, BOOL enable) {
  return static_cast<BOOL>(OnOwner(window, [&](Window& w) -> LRESULT {
    bool wasDisabled = !w.enabled;
    if (w.enabled != (enable != FALSE)) {
      w.enabled = enable != FALSE;
      w.Touch();
    }
    return wasDisabled ? TRUE : FALSE;
  }));
}

BOOL IsWindowEnabled(HWND window) {
  return static_cast<BOOL>(
      OnOwner(window, [](Window& w) -> LRESULT { return w.enabled ? TRUE : FALSE; }));
}

BOOL ShowWindow(HWND window, int command) {
  return static_cast<BOOL>(OnOwner(window, [&](Window& w) -> LRESULT {
    bool was = w.visible;
    bool now = command != SW_HIDE;
    if (was != now) {
      w.visible = now;
      w.Touch();
    }
    return was ? TRUE : FALSE;
  }));
}

BOOL IsWindowVisible(HWND window) {
  return static_cast<BOOL>(
      OnOwner(window, [](Window& w) -> LRESULT { return w.visible ? TRUE : FALSE; }));
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

BOOL UpdateWindow(HWND window) {
  auto w = Find(window);
  if (!w) return FALSE;
  return static_cast<BOOL>(OnOwner(window, [&](Window& target) -> LRESULT {
    Window* d = DialogOf(target);
    if (!d) return FALSE;
    auto dialog = Find(d->handle);
    if (dialog) Paint(dialog);
    return TRUE;
  }));
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
  if (window == 0) return TRUE;
  return static_cast<BOOL>(OnOwner(window, [](Window& w) -> LRESULT {
    Window* d = DialogOf(w);
    if (!d) return FALSE;
    d->needsPaint = true;
    return TRUE;
  }));
}

HWND GetDesktopWindow() { return kDesktop; }

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (!rect) return FALSE;
  if (window == kDesktop) {
    int width = 1024, height = 768;
    if (HasCurrent()) {
      width = CurrentWorld().desktopWidth;
      height = CurrentWorld().desktopHeight;
    }
    *rect = {0, 0, width, height};
    return TRUE;
  }
  RECT out{};
  BOOL ok = static_cast<BOOL>(OnOwner(window, [&](Window& w) -> LRESULT {
    out = w.rect;
    return TRUE;
  }));
  if (ok) *rect = out;
  return ok;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  RECT r;
  if (!rect || !GetWindowRect(window, &r)) return FALSE;
  auto w = Find(window);
  int frameX = w && w->isDialog ? 2 * kFrameWidth : 0;
  int frameY = w && w->isDialog ? 2 * kFrameWidth + kCaptionHeight : 0;
  *rect = {0, 0, r.right - r.left - frameX, r.bottom - r.top - frameY};
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return static_cast<BOOL>(OnOwner(window, [&](Window& w) -> LRESULT {
    LONG dx = x - w.rect.left, dy = y - w.rect.top;
    w.rect = {x, y, x + width, y + height};
    if (w.isDialog) {
      // The controls move with their dialog.
      for (const auto& c : w.controls) {
        c->rect.left += dx;
        c->rect.right += dx;
        c->rect.top += dy;
        c->rect.bottom += dy;
      }
      if (repaint) w.needsPaint = true;
    }
    w.Touch();
    return TRUE;
  }));
}

// ---- text drawing ------------------------------------------------------------------

BOOL SystemParametersInfo(UINT action, UINT param, void* data, UINT) {
  if (action != SPI_GETNONCLIENTMETRICS || !data || param != sizeof(NONCLIENTMETRICS)) return FALSE;
  auto* m = static_cast<NONCLIENTMETRICS*>(data);
  if (m->cbSize != sizeof(NONCLIENTMETRICS)) return FALSE;
  *m = NONCLIENTMETRICS{};
  m->cbSize = sizeof(NONCLIENTMETRICS);
  m->iBorderWidth = 1;
  m->iCaptionHeight = kCaptionHeight;
  auto font = [](LOGFONT& f, LONG weight) {
    f.lfHeight = -11;
    f.lfWeight = weight;
    std::strcpy(f.lfFaceName, "Tahoma");
  };
  font(m->lfCaptionFont, FW_BOLD);
  font(m->lfSmCaptionFont, FW_BOLD);
  font(m->lfMenuFont, FW_NORMAL);
  font(m->lfStatusFont, FW_NORMAL);
  font(m->lfMessageFont, FW_NORMAL);
  return TRUE;
}

DWORD GetSysColor(int index) {
  return index == COLOR_3DFACE ? RGB(0xD4, 0xD0, 0xC8) : RGB(0xFF, 0xFF, 0xFF);
}

HFONT CreateFontIndirect(const LOGFONT* font) {
  if (!font) return nullptr;
  auto* object = new GdiObject;
  object->font = *font;
  return object;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  if (!dc) return nullptr;
  HGDIOBJ previous = dc->font;
  dc->font = object;
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (!object) return FALSE;
  delete object;
  return TRUE;
}

COLORREF SetBkColor(HDC dc, COLORREF colour) {
  if (!dc) return 0xFFFFFFFF;
  COLORREF previous = dc->background;
  dc->background = colour;
  return previous;
}

int SetBkMode(HDC dc, int mode) {
  if (!dc) return 0;
  int previous = dc->mode;
  dc->mode = mode;
  return previous;
}

int DrawTextW(HDC dc, const WCHAR* text, int length, RECT* rect, UINT) {
  if (!dc || !text) return 0;
  std::u16string value = length < 0 ? std::u16string(text) : std::u16string(text, length);
  OnOwner(dc->window, [&](Window& w) -> LRESULT {
    if (w.drawn != value) {
      w.drawn = value;
      w.Touch();
    }
    return 0;
  });
  return rect ? rect->bottom - rect->top : 0;
}

int DrawText(HDC dc, const char* text, int length, RECT* rect, UINT format) {
  if (!text) return 0;
  std::string narrow = length < 0 ? std::string(text) : std::string(text, length);
  std::u16string wide;
  for (char ch : narrow) wide += static_cast<char16_t>(static_cast<unsigned char>(ch));
  return DrawTextW(dc, wide.c_str(), -1, rect, format);
}

}  // namespace plat
