// What the window emulation's files share: the window table, the message
// queues and the calls that carry messages between threads (Win.cpp), the
// controls (WinControls.cpp) and the dialogs (WinDialogs.cpp).
//
// One mutex (gMutex) guards the window table and every queue; the state of a
// window is touched only on the thread that owns it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/DialogTemplate.h"
#include "platform/Win.h"

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

namespace emu {

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
  std::atomic<bool> done{false};
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
  // The size of `sent`, readable without the lock.
  std::atomic<std::size_t> sentWaiting{0};
  // When the owner last handled a sent message (the owner's own).
  Clock::time_point lastSent{};
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

extern std::mutex gMutex;
extern std::condition_variable gChanged;
extern std::map<HWND, std::shared_ptr<Window>> gWindows;
extern HWND gNextHandle;

// --- Win.cpp: the window table and the queues.
std::shared_ptr<Queue> MyQueue();
std::shared_ptr<Window> Find(HWND h);
bool OwnedHere(const Window& w);
std::string ToUtf8(const std::u16string& text);
bool EqualNoCase(const std::string& a, const std::string& b);
LRESULT CopyText(const std::string& text, char* out, std::size_t size);
int MulDivRound(int value, int numerator, int denominator);
// Handles the messages other threads have sent to this thread's windows.
bool PumpSent(const std::shared_ptr<Queue>& q);
// Handles sent messages and dispatches the window messages posted so far
// (thread messages stay for PeekMessage). True when anything was handled.
bool PumpAll(const std::shared_ptr<Queue>& q);
void WaitForWork(const std::shared_ptr<Queue>& q, Clock::time_point deadline);
// Runs f on the thread that owns the window (directly when that is this
// thread); 0 when the window does not exist.
LRESULT OnOwner(HWND h, const std::function<LRESULT(Window&)>& f);

// --- WinControls.cpp: what a control does with a message.
// Changes one row's state and tells the dialog (LVN_ITEMCHANGED).
void SetRowState(Window& lv, int index, UINT state, UINT mask);
bool Click(Window& b);
void Command(Window& control, WORD code);
LRESULT TextMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, bool* handled);
LRESULT Deliver(const std::shared_ptr<Window>& w, UINT message, WPARAM wParam, LPARAM lParam);

// --- WinDialogs.cpp.
void Paint(const std::shared_ptr<Window>& dialog);
Window* DialogOf(Window& w);
RECT ClientOrigin(const Window& dialog);

}  // namespace emu
}  // namespace plat
