// The window API that the system's dialogs are written against: windows,
// window messages, modal dialogs from the module's templates and the common
// controls they use. A Windows build takes it from the system's own headers;
// elsewhere the window emulation of the platform stand-in provides it in
// namespace plat, with the same names and semantics (docs/dialogs.md).
//
// One spelling serves both: the system's code calls the functions and names
// the types as plat::SendMessage, plat::MSG ... (or through a using-directive
// for plat), and writes the constants and the helper macros of the window API
// (WM_CLOSE, PM_REMOVE, LOWORD, ListView_InsertItem ...) unqualified, since
// Windows defines those as macros. What only the emulation offers (the
// operator, dialog views, kIdleIntervalMs) is not for the system's code.
#pragma once

#include "platform/WinTypes.h"

#if defined(_WIN32)

#include <commctrl.h>

#include <utility>

// The 8-bit forms: windows.h maps each name to its "A" function, in the
// declarations below and in every call alike.
namespace plat {
// Types.
using ::DLGPROC;
using ::DRAWITEMSTRUCT;
using ::HDC;
using ::HFONT;
using ::HGDIOBJ;
using ::INT_PTR;
using ::LOGFONT;
using ::LPARAM;
using ::LRESULT;
using ::LVCOLUMN;
using ::LVITEM;
using ::MSG;
using ::NMHDR;
using ::NMLISTVIEW;
using ::NONCLIENTMETRICS;
using ::POINT;
using ::RECT;
using ::WPARAM;
// Drawing.
using ::CreateFontIndirect;
using ::DeleteObject;
using ::DrawText;
using ::DrawTextW;
using ::GetSysColor;
using ::SelectObject;
using ::SetBkColor;
using ::SetBkMode;
using ::SystemParametersInfo;
// Timers and messages.
using ::DispatchMessage;
using ::GetMessage;
using ::KillTimer;
using ::PeekMessage;
using ::PostMessage;
using ::PostQuitMessage;
using ::RegisterWindowMessage;
using ::SendMessage;
using ::SetTimer;
using ::TranslateMessage;
// Dialogs.
using ::CheckDlgButton;
using ::DialogBoxParam;
using ::EndDialog;
using ::GetDlgCtrlID;
using ::GetDlgItem;
using ::GetDlgItemText;
using ::IsDlgButtonChecked;
using ::MapDialogRect;
using ::SendDlgItemMessage;
using ::SetDlgItemText;
// Windows.
using ::EnableWindow;
using ::GetClientRect;
using ::GetDesktopWindow;
using ::GetFocus;
using ::GetParent;
using ::GetWindowRect;
using ::GetWindowText;
using ::GetWindowTextLength;
using ::InvalidateRect;
using ::IsWindow;
using ::IsWindowEnabled;
using ::IsWindowVisible;
using ::MoveWindow;
using ::SetFocus;
using ::SetWindowText;
using ::ShowWindow;
using ::UpdateWindow;

// Control ids: resource scripts name a static without an id IDC_STATIC.
constexpr int IDC_STATIC = 0xFFFF;

// A sent message whose answer is taken later (the emulation queues it and
// lets the sender go on); here it is sent at once.
class MessageInFlight {
 public:
  void Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    result_ = ::SendMessage(window, message, wParam, lParam);
  }
  LRESULT Await() { return std::exchange(result_, 0); }

 private:
  LRESULT result_ = 0;
};
}  // namespace plat

#else
#include "platform/winemu/WinApi.h"
#endif
