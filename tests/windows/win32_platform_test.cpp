// What only the Windows half has (run under Wine; tests/platform_test.cpp
// holds the promises both halves keep): the prefix's drives, threads and
// stop points, and talver.dll's resources, the templates and strings of the
// POSIX build, usable by the real dialog manager.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "platform/DialogTemplate.h"
#include "platform/Platform.h"
#include "platform/Win.h"
#include "resources/Resources.h"

namespace {

// Drive Y: of the Wine prefix, a test folder (wine_run.sh maps it); Q: is none.
TEST(Win32Drives, LettersTypesAndFreeSpace) {
  EXPECT_TRUE(plat::GetLogicalDrives() & (1u << ('Y' - 'A')));
  EXPECT_EQ(plat::GetDriveType("Y:\\"), DRIVE_FIXED);
  EXPECT_EQ(plat::GetDriveType("Q:\\"), DRIVE_NO_ROOT_DIR);
  std::uint64_t caller = 0, total = 0, free = 0;
  ASSERT_TRUE(plat::GetDiskFreeSpaceEx("Y:\\", &caller, &total, &free));
  EXPECT_GT(total, 0u);
  EXPECT_GE(total, free);
  EXPECT_GE(free, caller);
  EXPECT_FALSE(plat::GetDiskFreeSpaceEx("Q:\\", &caller, &total, &free));

  // No network provider is an answer too; a connection of a local drive is none.
  char remote[MAX_PATH];
  DWORD length = sizeof remote;
  EXPECT_NE(plat::WNetGetConnection("Y:", remote, &length), static_cast<DWORD>(NO_ERROR));
}

void RunUntilStopped(void* arg) {
  static_cast<std::atomic<bool>*>(arg)->store(true);
  while (!plat::StopRequested()) plat::Sleep(1);
}

// A thread is never killed where it stands: it is asked to stop and leaves
// at its next stop point with the exit code it was given. The clock.
TEST(Win32Threads, StopPointsAndTheClock) {
  EXPECT_FALSE(plat::StopRequested());
  std::atomic<bool> started{false};
  HANDLE t = plat::CreateThread(RunUntilStopped, &started);
  ASSERT_TRUE(t);
  while (!started) plat::Sleep(1);
  EXPECT_EQ(plat::WaitForSingleObject(t, 20), WAIT_TIMEOUT);
  DWORD code = 99;
  ASSERT_TRUE(plat::GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_TRUE(plat::TerminateThread(t, 7));
  ASSERT_TRUE(plat::GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  // A thread that has left is stopped at once.
  EXPECT_TRUE(plat::TerminateThread(t, 8));
  plat::CloseHandle(t);

  // The tick count (the local time: the behaviour tests' backup stamps).
  std::uint32_t before = plat::GetTickCount();
  plat::Sleep(20);
  EXPECT_LT(plat::GetTickCount() - before, 0x80000000u);  // never goes back
}

// Each dialog opens on the dialog manager with every control of its
// template, in the template's class.
INT_PTR CALLBACK CheckControls(HWND dialog, UINT message, WPARAM, LPARAM param) {
  if (message != WM_INITDIALOG) return FALSE;
  const auto* t = reinterpret_cast<const plat::DialogTemplate*>(param);
  int found = 0;
  for (int i = 0; i < t->controlCount; ++i) {
    const plat::DialogControlTemplate& c = t->controls[i];
    if (c.id == 0xFFFF) continue;
    char cls[64] = "";
    HWND control = ::GetDlgItem(dialog, c.id);
    if (control && ::GetClassNameA(control, cls, sizeof cls) && !_stricmp(cls, c.className))
      ++found;
    else
      ADD_FAILURE() << "dialog " << t->id << " control " << c.id << " class " << cls;
  }
  ::EndDialog(dialog, 1000 + found);
  return TRUE;
}

// The dialog templates the POSIX build registers are talver.dll's dialog
// resources, and its strings its string table.
TEST(Win32Resources, TheModulesTemplatesAndStringsAndTheirControls) {
  HMODULE talver = ::LoadLibraryA("talver.dll");
  ASSERT_TRUE(talver);
  int dialogs = 0;
  for (int id = 1; id < 1000; ++id) {
    const plat::DialogTemplate* t = FindDialogTemplate(id);
    if (!t) continue;
    ++dialogs;
    EXPECT_TRUE(::FindResourceA(talver, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5))) << id;
    int named = 0;
    for (int i = 0; i < t->controlCount; ++i) named += t->controls[i].id != 0xFFFF;
    EXPECT_EQ(::DialogBoxParamA(talver, MAKEINTRESOURCEA(id), nullptr, CheckControls,
                                reinterpret_cast<LPARAM>(t)),
              1000 + named)
        << id;
    // The same template built in memory, as a library without resources runs it.
    EXPECT_EQ(plat::DialogBoxIndirectParam(nullptr, t, nullptr, CheckControls,
                                           reinterpret_cast<LPARAM>(t)),
              1000 + named)
        << id;
  }
  EXPECT_EQ(dialogs, 7);
  for (unsigned id = 1; id < 100; ++id) {
    const char* text = FindResourceString(id);
    char loaded[128] = "";
    ::LoadStringA(talver, id, loaded, sizeof loaded);
    EXPECT_STREQ(loaded, text ? text : "") << id;
  }
  ::FreeLibrary(talver);
}

}  // namespace
