// Drawing of the dialogs' catalogue texts.
#include "Trace.h"
#include "platform/Win.h"

void DrawMessageText(HWND /*dialog*/, const plat::DRAWITEMSTRUCT* item, const WCHAR* text) {
  using namespace plat;
  if (!item || !text) return;
  NONCLIENTMETRICS metrics{};
  metrics.cbSize = 344;
  SystemParametersInfo(SPI_GETNONCLIENTMETRICS, 344, &metrics, 0);
  metrics.lfCaptionFont.lfWeight = FW_NORMAL;
  HFONT font = CreateFontIndirect(&metrics.lfCaptionFont);
  HGDIOBJ previous = SelectObject(item->hDC, font);
  BYTE r = GetRValue(GetSysColor(COLOR_3DFACE));
  SetBkColor(item->hDC, RGB(r, r, r));
  SetBkMode(item->hDC, TRANSPARENT);
  RECT area = item->rcItem;
  DrawTextW(item->hDC, text, -1, &area, DT_WORDBREAK);
  SelectObject(item->hDC, previous);
  DeleteObject(font);
}
