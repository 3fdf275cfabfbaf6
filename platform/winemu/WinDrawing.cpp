// Text drawing in the emulation's dialogs: the system's metrics and colours,
// fonts and the device-context calls that an owner-drawn control makes.
#include <algorithm>
#include <cstring>

#include "platform/winemu/WinInternal.h"

namespace plat {

using namespace emu;

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
