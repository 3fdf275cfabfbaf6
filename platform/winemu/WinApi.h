// Windows, window messages and modal dialogs on this machine.
//
// The system's dialogs are dialog procedures that receive window messages,
// as on the SVP: the opening message, commands from buttons, owner-draw
// requests, WM_CLOSE, private WM_USER+n messages posted or sent by worker
// threads and registered messages such as the archiver's "wm_arcextract".
// This half of the platform stand-in gives them windows (a dialog and its
// controls), one message queue per thread, post and send, the peek / get /
// dispatch loop, modal dialogs from the module's templates and the common
// controls the dialogs use. Whoever answers a dialog is the registered
// operator (Operator.h), which sees the dialog as a DialogView and acts on it
// through DialogActions. docs/dialogs.md describes the whole model.
//
// Everything keeps the usual semantics of the system services of the same
// names; the differences are listed in docs/dialogs.md.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/DialogTemplate.h"
#include "platform/WinTypes.h"
#include "platform/winemu/Operator.h"

namespace plat {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using ATOM = WORD;
using COLORREF = DWORD;

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct POINT {
  LONG x;
  LONG y;
};

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
  return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
  return static_cast<WPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}
constexpr LRESULT MAKELRESULT(WORD low, WORD high) { return MAKELPARAM(low, high); }
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r | (g << 8) | (b << 16));
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// ---- window messages -------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
// The idle message: a modal dialog's loop hands it to the dialog procedure
// every kIdleIntervalMs while the dialog is open, whether or not other
// messages arrive (wParam MSGF_DIALOGBOX, lParam the dialog). A procedure
// that looks at a state word "on every other message" therefore sees the
// word change within one interval even when nothing else happens.
constexpr UINT WM_ENTERIDLE = 0x0121;
constexpr WPARAM MSGF_DIALOGBOX = 0;
constexpr DWORD kIdleIntervalMs = 50;
constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_APP = 0x8000;

// PeekMessage flags.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// ---- window and control styles --------------------------------------------
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_FIXEDSYS = 0x0008;
constexpr DWORD DS_3DLOOK = 0x0004;
constexpr DWORD DS_SHELLFONT = DS_SETFONT | DS_FIXEDSYS;

constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_CHECKBOX = 0x2;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_RADIOBUTTON = 0x4;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_TYPEMASK = 0xF;
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_OWNERDRAW = 0xD;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD ES_LEFT = 0x0;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr DWORD LVS_REPORT = 0x1;
constexpr DWORD LVS_SINGLESEL = 0x4;
constexpr DWORD LVS_SHOWSELALWAYS = 0x8;
constexpr DWORD ACS_CENTER = 0x1;
constexpr DWORD ACS_TRANSPARENT = 0x2;
constexpr DWORD ACS_AUTOPLAY = 0x4;
constexpr DWORD PBS_SMOOTH = 0x1;

// Control ids of a static that needs none.
constexpr int IDC_STATIC = 0xFFFF;

// ---- button controls -------------------------------------------------------
constexpr WORD BN_CLICKED = 0;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_GETSTATE = 0x00F2;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;

// ---- edit controls ---------------------------------------------------------
constexpr WORD EN_CHANGE = 0x0300;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETLIMITTEXT = EM_LIMITTEXT;
constexpr UINT EM_GETLIMITTEXT = 0x00D5;

// ---- combo boxes -----------------------------------------------------------
constexpr WORD CBN_SELCHANGE = 1;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr LRESULT CB_ERR = -1;

// ---- progress bars ---------------------------------------------------------
// PBM_SETRANGE: lParam MAKELPARAM(low, high), both 16-bit; returns the old
// range the same way. PBM_STEPIT past the upper bound starts again at the
// lower bound, as the control does on the SVP.
constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_DELTAPOS = WM_USER + 3;
constexpr UINT PBM_SETSTEP = WM_USER + 4;
constexpr UINT PBM_STEPIT = WM_USER + 5;
constexpr UINT PBM_SETRANGE32 = WM_USER + 6;
constexpr UINT PBM_GETRANGE = WM_USER + 7;
constexpr UINT PBM_GETPOS = WM_USER + 8;

// ---- animation -------------------------------------------------------------
// ACM_OPEN: lParam a system path of the clip (const char*); FALSE when the
// file is missing (the control stays empty, nothing else fails).
// ACM_PLAY: wParam repeat count (-1 for ever), lParam MAKELPARAM(from, to)
// with to = -1 for the last frame.
constexpr UINT ACM_OPEN = WM_USER + 100;
constexpr UINT ACM_PLAY = WM_USER + 101;
constexpr UINT ACM_STOP = WM_USER + 102;

// ---- list views (report view, 8-bit text) ----------------------------------
constexpr UINT LVM_FIRST = 0x1000;
constexpr UINT LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr UINT LVM_GETITEM = LVM_FIRST + 5;
constexpr UINT LVM_SETITEM = LVM_FIRST + 6;
constexpr UINT LVM_INSERTITEM = LVM_FIRST + 7;
constexpr UINT LVM_DELETEITEM = LVM_FIRST + 8;
constexpr UINT LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr UINT LVM_GETNEXTITEM = LVM_FIRST + 12;
constexpr UINT LVM_GETCOLUMNWIDTH = LVM_FIRST + 29;
constexpr UINT LVM_INSERTCOLUMN = LVM_FIRST + 27;
constexpr UINT LVM_SETCOLUMNWIDTH = LVM_FIRST + 30;
constexpr UINT LVM_SETITEMSTATE = LVM_FIRST + 43;
constexpr UINT LVM_GETITEMSTATE = LVM_FIRST + 44;
constexpr UINT LVM_GETITEMTEXT = LVM_FIRST + 45;
constexpr UINT LVM_SETITEMTEXT = LVM_FIRST + 46;
constexpr UINT LVM_GETSELECTEDCOUNT = LVM_FIRST + 50;
constexpr UINT LVM_SETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 54;
constexpr UINT LVM_GETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 55;

constexpr UINT LVIF_TEXT = 0x1;
constexpr UINT LVIF_IMAGE = 0x2;
constexpr UINT LVIF_PARAM = 0x4;
constexpr UINT LVIF_STATE = 0x8;
constexpr UINT LVIS_FOCUSED = 0x1;
constexpr UINT LVIS_SELECTED = 0x2;
constexpr UINT LVNI_ALL = 0x0;
constexpr UINT LVNI_FOCUSED = 0x1;
constexpr UINT LVNI_SELECTED = 0x2;
constexpr UINT LVCF_FMT = 0x1;
constexpr UINT LVCF_WIDTH = 0x2;
constexpr UINT LVCF_TEXT = 0x4;
constexpr UINT LVCF_SUBITEM = 0x8;
constexpr int LVCFMT_LEFT = 0;
constexpr int LVSCW_AUTOSIZE = -1;
constexpr int LVSCW_AUTOSIZE_USEHEADER = -2;
constexpr DWORD LVS_EX_GRIDLINES = 0x1;
constexpr DWORD LVS_EX_HEADERDRAGDROP = 0x10;
constexpr DWORD LVS_EX_FULLROWSELECT = 0x20;
constexpr UINT LVN_FIRST = 0u - 100u;
constexpr UINT LVN_ITEMCHANGED = LVN_FIRST - 1;

struct LVITEM {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  char* pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
  int iIndent;
};

struct LVCOLUMN {
  UINT mask;
  int fmt;
  int cx;
  char* pszText;
  int cchTextMax;
  int iSubItem;
};

struct NMHDR {
  HWND hwndFrom;
  std::uintptr_t idFrom;
  UINT code;
};

struct NMLISTVIEW {
  NMHDR hdr;
  int iItem;
  int iSubItem;
  UINT uNewState;
  UINT uOldState;
  UINT uChanged;
  POINT ptAction;
  LPARAM lParam;
};

// ---- owner-drawn controls and text drawing ---------------------------------
// A device context of this machine draws into one control: what is drawn
// there is kept on the control (DialogView's drawnText) for the operator.
struct DeviceContext;
using HDC = DeviceContext*;
struct GdiObject;
using HGDIOBJ = GdiObject*;
using HFONT = GdiObject*;

constexpr UINT ODT_STATIC = 5;
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODA_DRAWENTIRE = 1;

struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  std::uintptr_t itemData;
};

struct LOGFONT {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  char lfFaceName[32];
};

// The non-client metrics in their 344-byte form (8-bit font names and the
// padded border width).
struct NONCLIENTMETRICS {
  UINT cbSize;
  int iBorderWidth;
  int iScrollWidth;
  int iScrollHeight;
  int iCaptionWidth;
  int iCaptionHeight;
  LOGFONT lfCaptionFont;
  int iSmCaptionWidth;
  int iSmCaptionHeight;
  LOGFONT lfSmCaptionFont;
  int iMenuWidth;
  int iMenuHeight;
  LOGFONT lfMenuFont;
  LOGFONT lfStatusFont;
  LOGFONT lfMessageFont;
  int iPaddedBorderWidth;
};
static_assert(sizeof(NONCLIENTMETRICS) == 344, "the non-client metrics are 344 bytes");

constexpr UINT SPI_GETNONCLIENTMETRICS = 0x0029;
constexpr int COLOR_3DFACE = 15;
constexpr int COLOR_BTNFACE = 15;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_WORDBREAK = 0x10;

BOOL SystemParametersInfo(UINT action, UINT param, void* data, UINT winIni);
DWORD GetSysColor(int index);
HFONT CreateFontIndirect(const LOGFONT* font);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
COLORREF SetBkColor(HDC dc, COLORREF colour);
int SetBkMode(HDC dc, int mode);
// Draws the text (length -1: up to its terminator) into the rectangle; the
// control keeps it as its drawn text. Returns the height drawn.
int DrawTextW(HDC dc, const WCHAR* text, int length, RECT* rect, UINT format);
int DrawText(HDC dc, const char* text, int length, RECT* rect, UINT format);

// ---- timers ----------------------------------------------------------------
std::uintptr_t SetTimer(HWND window, std::uintptr_t id, UINT milliseconds, void* unused);
BOOL KillTimer(HWND window, std::uintptr_t id);

// ---- messages --------------------------------------------------------------
// Posts to the queue of the thread that owns the window (window 0: the
// calling thread's own queue); never blocks. FALSE for a window that does not
// exist (any more).
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// On the owner thread: a direct call of the window's procedure. From another
// thread: queued to the owner thread, which handles it at its next message
// retrieval (the modal loop, PeekMessage or GetMessage); the sender blocks
// until then, meanwhile handling messages sent to its own windows. A window
// that does not exist, or goes away before handling it, answers 0.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// A sent message whose answer the sender takes later, doing other work
// meanwhile: Send queues it to the window's thread, which handles it as any
// sent message, in the order sent; Await waits for the answer as
// SendMessage does (a thread asked to stop gives up a message not taken
// yet). What lParam points at stays valid until Await returns; a Send
// awaits the message before it. Not Windows' own: there (Win.h) Send sends
// at once.
class MessageInFlight {
 public:
  MessageInFlight();
  ~MessageInFlight();
  MessageInFlight(const MessageInFlight&) = delete;
  MessageInFlight& operator=(const MessageInFlight&) = delete;
  void Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Await();

 private:
  struct Pending;
  std::unique_ptr<Pending> pending_;
};
// Handles messages sent from other threads, then takes the first posted
// message that matches (window 0: any; min = max = 0: any number). FALSE
// when none is waiting.
BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlag);
// Waits for a message; 0 for WM_QUIT, else nonzero.
BOOL GetMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);
void PostQuitMessage(int exitCode);
// Same name (compared without regard to case), same number, from 0xC000.
UINT RegisterWindowMessage(const char* name);

// ---- dialogs ---------------------------------------------------------------
// Runs the module's dialog template modally on the calling thread and
// returns the value given to EndDialog; -1 when the template does not exist.
INT_PTR DialogBoxParam(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM param);
// A template named as the system names resources: MAKEINTRESOURCE(id).
// Templates are found by number only; any other name is not found (-1).
inline char* MAKEINTRESOURCE(int id) {
  return reinterpret_cast<char*>(static_cast<std::uintptr_t>(static_cast<WORD>(id)));
}
inline bool IS_INTRESOURCE(const char* name) {
  return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}
INT_PTR DialogBoxParam(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC proc,
                       LPARAM param);
// The same from a template that the caller holds in memory (a library with
// dialogs of its own); the template must outlive the dialog. -1 for none.
INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const DialogTemplate* dialogTemplate, HWND owner,
                               DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND control);
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemText(HWND dialog, int id, const char* text);
// Copies at most size-1 characters and a terminator; the number copied.
UINT GetDlgItemText(HWND dialog, int id, char* text, int size);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Dialog units to pixels with the base units of this machine: 6 pixels per
// four horizontal units and 13 pixels per eight vertical units, whatever the
// template's font (the base units of an 8-point dialog font at 96 dpi).
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
BOOL MapDialogRect(HWND dialog, RECT* rect);

// ---- windows ---------------------------------------------------------------
BOOL IsWindow(HWND window);
HWND GetParent(HWND window);
BOOL SetWindowText(HWND window, const char* text);
int GetWindowText(HWND window, char* text, int size);
int GetWindowTextLength(HWND window);
// Returns nonzero when the window was disabled before.
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
BOOL ShowWindow(HWND window, int command);
BOOL IsWindowVisible(HWND window);
HWND SetFocus(HWND window);
HWND GetFocus();
// Paints the dialog now: every owner-drawn control gets its WM_DRAWITEM.
BOOL UpdateWindow(HWND window);
// Marks the dialog for painting when its queue is next empty.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
// Screen rectangles in pixels. A dialog's window is its client area (the
// template size through MapDialogRect) plus a frame of kFrameWidth on each
// side and a caption of kCaptionHeight above.
constexpr int kFrameWidth = 3;
constexpr int kCaptionHeight = 22;
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
// The desktop: its rectangle is the world's desktop_width x desktop_height.
HWND GetDesktopWindow();

// ---- list-view helpers (the usual macros, as functions) -------------------
inline int ListView_InsertColumn(HWND lv, int column, const LVCOLUMN* col) {
  return static_cast<int>(SendMessage(lv, LVM_INSERTCOLUMN, static_cast<WPARAM>(column),
                                      reinterpret_cast<LPARAM>(col)));
}
inline int ListView_InsertItem(HWND lv, const LVITEM* item) {
  return static_cast<int>(SendMessage(lv, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(item)));
}
inline BOOL ListView_DeleteAllItems(HWND lv) {
  return static_cast<BOOL>(SendMessage(lv, LVM_DELETEALLITEMS, 0, 0));
}
inline int ListView_GetItemCount(HWND lv) {
  return static_cast<int>(SendMessage(lv, LVM_GETITEMCOUNT, 0, 0));
}
inline int ListView_GetNextItem(HWND lv, int start, UINT flags) {
  return static_cast<int>(
      SendMessage(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(start), static_cast<LPARAM>(flags)));
}
inline UINT ListView_GetSelectedCount(HWND lv) {
  return static_cast<UINT>(SendMessage(lv, LVM_GETSELECTEDCOUNT, 0, 0));
}
inline void ListView_GetItemText(HWND lv, int item, int subItem, char* text, int size) {
  LVITEM it{};
  it.iSubItem = subItem;
  it.pszText = text;
  it.cchTextMax = size;
  SendMessage(lv, LVM_GETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it));
}
inline void ListView_SetItemState(HWND lv, int item, UINT state, UINT mask) {
  LVITEM it{};
  it.stateMask = mask;
  it.state = state;
  SendMessage(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it));
}
inline BOOL ListView_SetColumnWidth(HWND lv, int column, int width) {
  return static_cast<BOOL>(SendMessage(lv, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column),
                                       MAKELPARAM(static_cast<WORD>(width), 0)));
}
inline DWORD ListView_GetExtendedListViewStyle(HWND lv) {
  return static_cast<DWORD>(SendMessage(lv, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}
inline DWORD ListView_SetExtendedListViewStyle(HWND lv, DWORD style) {
  return static_cast<DWORD>(
      SendMessage(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style)));
}
inline DWORD ListView_SetExtendedListViewStyleEx(HWND lv, DWORD mask, DWORD style) {
  return static_cast<DWORD>(
      SendMessage(lv, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, static_cast<LPARAM>(style)));
}

}  // namespace plat

// On Windows the message numbers, the message flags and the helpers below are
// macros, so the system's code writes them unqualified, outside any using-
// directive as well (platform/Win.h); here they are seen from the global
// namespace too.
using plat::HIWORD;
using plat::IS_INTRESOURCE;
using plat::LOWORD;
using plat::MAKEINTRESOURCE;
using plat::MAKELPARAM;
using plat::MAKELRESULT;
using plat::MAKEWPARAM;
using plat::PM_NOREMOVE;
using plat::PM_REMOVE;
using plat::RGB;
using plat::WM_APP;
using plat::WM_CLOSE;
using plat::WM_COMMAND;
using plat::WM_DESTROY;
using plat::WM_DRAWITEM;
using plat::WM_ENTERIDLE;
using plat::WM_GETTEXT;
using plat::WM_GETTEXTLENGTH;
using plat::WM_INITDIALOG;
using plat::WM_NOTIFY;
using plat::WM_NULL;
using plat::WM_PAINT;
using plat::WM_QUIT;
using plat::WM_SETTEXT;
using plat::WM_TIMER;
using plat::WM_USER;
