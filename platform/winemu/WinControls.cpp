// The common controls of the window emulation: buttons, combo boxes, list
// views, progress bars, animations and edits, each a Window that answers its
// messages on the thread that owns it.
#include <algorithm>
#include <cstring>

#include "platform/Platform.h"
#include "platform/winemu/WinInternal.h"

namespace plat {
namespace emu {

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

}  // namespace emu
}  // namespace plat
