// The window calls of the emulation's dialogs: their items and texts, check
// boxes, enabled and visible states, and the rectangles of windows and of
// the desktop (from the machine's settings).
#include <algorithm>
#include <cstring>

#include "platform/Machine.h"
#include "platform/Platform.h"
#include "platform/winemu/WinInternal.h"

namespace plat {

using namespace emu;

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
    const auto width = static_cast<LONG>(HostSettingInt("world.desktop_width", 1024));
    const auto height = static_cast<LONG>(HostSettingInt("world.desktop_height", 768));
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

}  // namespace plat
