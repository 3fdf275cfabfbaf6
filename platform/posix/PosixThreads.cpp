// The POSIX half's threads and clocks.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/PlatformInternal.h"
#include "platform/posix/PosixInternal.h"
#include "platform/posix/PosixPlatform.h"

namespace plat {
namespace {

struct ThreadState {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  DWORD exitCode = STILL_ACTIVE;
  std::atomic<bool> stop{false};
};

thread_local ThreadState* tCurrentThread = nullptr;

struct ThreadObject : KernelObject {
  std::shared_ptr<ThreadState> state;
};

}  // namespace

bool ThreadStopRequested() { return tCurrentThread && tCurrentThread->stop.load(); }
bool IsPlatformThread() { return tCurrentThread != nullptr; }

// ---------------------------------------------------------------- threads

HANDLE PosixPlatform::CreateThread(ThreadProc proc, void* arg) {
  auto state = std::make_shared<ThreadState>();
  try {
    std::thread t([state, proc, arg] {
      tCurrentThread = state.get();
      proc(arg);
      tCurrentThread = nullptr;
      std::lock_guard<std::mutex> lock(state->mutex);
      if (state->exitCode == STILL_ACTIVE) state->exitCode = 0;
      state->finished = true;
      state->done.notify_all();
    });
    t.detach();
  } catch (const std::system_error&) {
    Fail(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* h = new ThreadObject;
  h->state = state;
  return h;
}

DWORD PosixPlatform::WaitForSingleObject(HANDLE thread, DWORD milliseconds) {
  auto* t = dynamic_cast<ThreadObject*>(thread);
  if (!t) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock<std::mutex> lock(t->state->mutex);
  if (milliseconds == INFINITE) {
    t->state->done.wait(lock, [&] { return t->state->finished; });
    return WAIT_OBJECT_0;
  }
  bool ok = t->state->done.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                    [&] { return t->state->finished; });
  return ok ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

bool PosixPlatform::TerminateThread(HANDLE thread, DWORD exitCode) {
  auto* t = dynamic_cast<ThreadObject*>(thread);
  if (!t) return Fail(ERROR_INVALID_HANDLE);
  t->state->stop.store(true);
  long long waitMs = world_.SettingInt("platform.terminate_wait_ms", 10000);
  std::unique_lock<std::mutex> lock(t->state->mutex);
  bool left = t->state->done.wait_for(lock, std::chrono::milliseconds(waitMs),
                                      [&] { return t->state->finished; });
  if (!left) return Fail(ERROR_ACCESS_DENIED);
  t->state->exitCode = exitCode;
  return true;
}

bool PosixPlatform::GetExitCodeThread(HANDLE thread, DWORD* code) {
  auto* t = dynamic_cast<ThreadObject*>(thread);
  if (!t) return Fail(ERROR_INVALID_HANDLE);
  std::lock_guard<std::mutex> lock(t->state->mutex);
  *code = t->state->finished ? t->state->exitCode : STILL_ACTIVE;
  return true;
}

void PosixPlatform::Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void PosixPlatform::GetLocalTime(SYSTEMTIME* out) {
  using namespace std::chrono;
  auto now = system_clock::now() + seconds(world_.clockOffsetSeconds);
  std::time_t tt = system_clock::to_time_t(now);
  std::tm tm{};
  ::localtime_r(&tt, &tm);
  out->wYear = static_cast<WORD>(tm.tm_year + 1900);
  out->wMonth = static_cast<WORD>(tm.tm_mon + 1);
  out->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  out->wDay = static_cast<WORD>(tm.tm_mday);
  out->wHour = static_cast<WORD>(tm.tm_hour);
  out->wMinute = static_cast<WORD>(tm.tm_min);
  out->wSecond = static_cast<WORD>(tm.tm_sec);
  out->wMilliseconds =
      static_cast<WORD>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
}

std::uint32_t PosixPlatform::GetTickCount() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace plat
