// Windows, message queues, modal dialogs and the common controls of this
// machine (see Win.h and docs/dialogs.md): the window table and the queues.
// The controls are in WinControls.cpp, the dialogs in WinDialogs.cpp.
//
// One mutex guards the window table and every queue; the state of a window
// (texts, checks, items, progress) is touched only on the thread that owns
// the window: a call from another thread is carried there as a sent message.
// Dialog procedures and the operator always run without the lock held.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/Platform.h"
#include "platform/winemu/WinInternal.h"

namespace plat {
namespace emu {

std::mutex gMutex;
std::condition_variable gChanged;
std::map<HWND, std::shared_ptr<Window>> gWindows;
HWND gNextHandle = 0x00020000;

namespace {
std::map<std::string, UINT> gRegistered;
UINT gNextRegistered = 0xC000;
}  // namespace

thread_local std::shared_ptr<Queue> tQueue;

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
      q->sentWaiting = q->sent.size();
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
  if (any) q->lastSent = Clock::now();
  return any;
}

// A message sent across threads costs two thread switches when both sides
// sleep; in a run of them (a job's progress, entry by entry) each side
// first looks for a short while, so that neither is put to sleep and woken
// for every message. Each look gives the processor away to any thread that
// waits for it: on a busy machine a spinning side would otherwise take the
// time of the very thread it waits for (20,000 files in one folder under a
// load of ten: 8 s spinning, 3 s yielding). True when `ready` came true.
constexpr int kSpinMicros = 50;
template <class Ready>
bool SpinBriefly(Ready ready) {
  if (ready()) return true;  // an answer in already asks no clock
  const auto until = Clock::now() + std::chrono::microseconds(kSpinMicros);
  do {
    if (ready()) return true;
    std::this_thread::yield();
  } while (Clock::now() < until);
  return false;
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
  if (Clock::now() - q->lastSent < std::chrono::milliseconds(1) &&
      SpinBriefly([&] { return q->sentWaiting.load() > 0; }))
    return;
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

}  // namespace emu

using namespace emu;

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

namespace emu {
namespace {

// Queues a message for the thread of `target`.
std::shared_ptr<SentMessage> QueueSent(const std::shared_ptr<Queue>& target, HWND window,
                                       UINT message, WPARAM wParam, LPARAM lParam) {
  auto m = std::make_shared<SentMessage>();
  m->hwnd = window;
  m->message = message;
  m->wParam = wParam;
  m->lParam = lParam;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    target->sent.push_back(m);
    target->sentWaiting = target->sent.size();
  }
  gChanged.notify_all();
  return m;
}

// Waits for the answer to `m`, queued for `target`.
LRESULT AwaitSent(const std::shared_ptr<SentMessage>& m, const std::shared_ptr<Queue>& target) {
  SpinBriefly([&] { return m->done.load(); });
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
        target->sentWaiting = target->sent.size();
        return 0;
      }
    }
  }
}

}  // namespace
}  // namespace emu

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (OwnedHere(*w)) return Deliver(w, message, wParam, lParam);
  std::shared_ptr<Queue> target = w->queue;
  w.reset();
  return AwaitSent(QueueSent(target, window, message, wParam, lParam), target);
}

struct MessageInFlight::Pending {
  std::shared_ptr<SentMessage> message;
  std::shared_ptr<Queue> target;
  LRESULT result = 0;  // of a message handled at once
};

MessageInFlight::MessageInFlight() : pending_(std::make_unique<Pending>()) {}

MessageInFlight::~MessageInFlight() { Await(); }

void MessageInFlight::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Await();
  auto w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return;
  }
  if (OwnedHere(*w)) {
    pending_->result = Deliver(w, message, wParam, lParam);
    return;
  }
  pending_->target = w->queue;
  w.reset();
  pending_->message = QueueSent(pending_->target, window, message, wParam, lParam);
}

LRESULT MessageInFlight::Await() {
  if (!pending_->message) return std::exchange(pending_->result, 0);
  const LRESULT result = AwaitSent(pending_->message, pending_->target);
  pending_->message.reset();
  pending_->target.reset();
  return result;
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

}  // namespace plat
