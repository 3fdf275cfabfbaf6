// The Windows half of the platform interface keeps the interface's promises
// on the system itself (run under Wine): files, searches, attributes,
// renames, drives, threads and stop points, file mapping, profile strings;
// and talver.dll's resources are the templates and strings of the POSIX
// build, usable by the real dialog manager.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/DialogTemplate.h"
#include "platform/Platform.h"
#include "platform/Win.h"
#include "resources/Resources.h"

namespace {

// The test folder: drive Y: of the Wine prefix (wine_run.sh maps it).
std::string Dir(const std::string& name) {
  static const std::string root = [] {
    const char* r = std::getenv("TALVER_WIN_TEST_ROOT");
    return std::string(r && *r ? r : "Y:\\");
  }();
  return root + name;
}

void WriteText(const std::string& path, const std::string& text) {
  HANDLE h = plat::CreateFile(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
  ASSERT_TRUE(h) << path;
  DWORD put = 0;
  ASSERT_TRUE(plat::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put));
  plat::CloseHandle(h);
}

std::string ReadText(const std::string& path) {
  HANDLE h = plat::CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!h) return "<missing>";
  char buffer[256];
  DWORD got = 0;
  plat::ReadFile(h, buffer, sizeof buffer, &got);
  plat::CloseHandle(h);
  return std::string(buffer, got);
}

std::vector<std::string> Names(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATA data;
  HANDLE h = plat::FindFirstFile(pattern.c_str(), &data);
  if (!h) return names;
  do names.push_back(data.cFileName);
  while (plat::FindNextFile(h, &data));
  EXPECT_EQ(plat::GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(plat::FindClose(h));
  return names;
}

TEST(Win32Files, CreateReadSeekAndFailures) {
  std::string path = Dir("file.bin");
  plat::DeleteFile(path.c_str());
  HANDLE h = plat::CreateFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, 0);
  ASSERT_TRUE(h);
  DWORD n = 0;
  ASSERT_TRUE(plat::WriteFile(h, "0123456789", 10, &n));
  std::uint64_t size = 0, at = 0;
  ASSERT_TRUE(plat::GetFileSizeEx(h, &size));
  EXPECT_EQ(size, 10u);
  ASSERT_TRUE(plat::SetFilePointerEx(h, -4, FILE_END, &at));
  EXPECT_EQ(at, 6u);
  char back[8] = {};
  ASSERT_TRUE(plat::ReadFile(h, back, sizeof back, &n));
  EXPECT_EQ(std::string(back, n), "6789");
  EXPECT_TRUE(plat::FlushFileBuffers(h));
  EXPECT_TRUE(plat::CloseHandle(h));

  struct Case {
    const char* what;
    std::string path;
    DWORD disposition;
    DWORD error;
  } cases[] = {
      {"create-new on an existing file", path, CREATE_NEW, ERROR_FILE_EXISTS},
      {"open of a missing file", Dir("missing.bin"), OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {"open in a missing folder", Dir("nofolder\\x.bin"), OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    plat::SetLastError(0);
    EXPECT_FALSE(plat::CreateFile(c.path.c_str(), GENERIC_READ, 0, c.disposition, 0)) << c.what;
    EXPECT_EQ(plat::GetLastError(), c.error) << c.what;
  }

  HANDLE temp = plat::CreateFile(Dir("temp.bin").c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS,
                                 FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_TRUE(temp);
  plat::CloseHandle(temp);
  EXPECT_EQ(plat::GetFileAttributes(Dir("temp.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(plat::DeleteFile(path.c_str()));
}

TEST(Win32Searches, DotsFirstThenCaseInsensitiveOrder) {
  std::string dir = Dir("search");
  plat::CreateDirectory(dir.c_str());
  for (const char* name : {"b.txt", "C.TXT", "a.txt", "d.dat"}) WriteText(dir + "\\" + name, name);
  plat::CreateDirectory((dir + "\\Sub").c_str());

  struct Case {
    const char* pattern;
    std::vector<std::string> names;
  } cases[] = {
      {"\\*", {".", "..", "a.txt", "b.txt", "C.TXT", "d.dat", "Sub"}},
      {"\\*.*", {".", "..", "a.txt", "b.txt", "C.TXT", "d.dat", "Sub"}},
      {"\\*.txt", {"a.txt", "b.txt", "C.TXT"}},
      {"\\D.DAT", {"d.dat"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Names(dir + c.pattern), c.names) << c.pattern;

  WIN32_FIND_DATA data;
  plat::SetLastError(0);
  EXPECT_FALSE(plat::FindFirstFile((dir + "\\*.none").c_str(), &data));
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(plat::FindFirstFile(Dir("nofolder\\*").c_str(), &data));
  EXPECT_EQ(plat::GetLastError(), ERROR_PATH_NOT_FOUND);

  // A folder named with its trailing backslash is found as itself; a root is no entry.
  EXPECT_EQ(Names(dir + "\\"), std::vector<std::string>{"search"});
  EXPECT_FALSE(plat::FindFirstFile(Dir("").substr(0, 3).c_str(), &data));
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);

  HANDLE h = plat::FindFirstFile((dir + "\\d.dat").c_str(), &data);
  ASSERT_TRUE(h);
  EXPECT_EQ(plat::FileSizeOf(data), 5u);
  EXPECT_GT(plat::UnixSecondsOf(data.ftLastWriteTime), 1600000000);
  EXPECT_TRUE(plat::CloseHandle(h));  // a search also closes as a handle
  EXPECT_FALSE(plat::FindClose(h));
}

TEST(Win32Names, AttributesRenameAndReplace) {
  std::string a = Dir("a.txt"), b = Dir("b.txt"), c = Dir("c.txt");
  for (const std::string& p : {a, b, c}) {
    plat::SetFileAttributes(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    plat::DeleteFile(p.c_str());
  }
  WriteText(a, "first");
  WriteText(b, "second");

  ASSERT_TRUE(plat::SetFileAttributes(a.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(plat::GetFileAttributes(a.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(plat::DeleteFile(a.c_str()));
  EXPECT_EQ(plat::GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(plat::SetFileAttributes(a.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(plat::GetFileAttributes(Dir("").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(plat::GetFileAttributes(Dir("none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);

  EXPECT_FALSE(plat::MoveFileEx(a.c_str(), b.c_str(), false));
  EXPECT_EQ(plat::GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(plat::MoveFileEx(a.c_str(), b.c_str(), true));
  EXPECT_EQ(ReadText(b), "first");
  EXPECT_TRUE(plat::MoveFileEx(b.c_str(), c.c_str(), false));
  EXPECT_EQ(ReadText(c), "first");
  EXPECT_EQ(plat::GetFileAttributes(b.c_str()), INVALID_FILE_ATTRIBUTES);

  std::string dir = Dir("full");
  ASSERT_TRUE(plat::CreateDirectory(dir.c_str()));
  WriteText(dir + "\\x", "x");
  EXPECT_FALSE(plat::RemoveDirectory(dir.c_str()));
  EXPECT_EQ(plat::GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_TRUE(plat::DeleteFile((dir + "\\x").c_str()));
  EXPECT_TRUE(plat::RemoveDirectory(dir.c_str()));

  std::string host;
  ASSERT_TRUE(plat::ResolveHostPath(Dir("sub\\..\\c.txt").c_str(), &host));
  EXPECT_EQ(host, Dir("c.txt"));
  EXPECT_TRUE(plat::SameFile(Dir("C.TXT").c_str(), Dir("sub\\..\\c.txt").c_str()));
}

TEST(Win32Drives, LettersTypesAndFreeSpace) {
  std::string root = Dir("").substr(0, 3);
  EXPECT_TRUE(plat::GetLogicalDrives() & (1u << (root[0] - 'A')));
  EXPECT_EQ(plat::GetDriveType(root.c_str()), DRIVE_FIXED);
  EXPECT_EQ(plat::GetDriveType("Q:\\"), DRIVE_NO_ROOT_DIR);
  std::uint64_t caller = 0, total = 0, free = 0;
  ASSERT_TRUE(plat::GetDiskFreeSpaceEx(root.c_str(), &caller, &total, &free));
  EXPECT_GT(total, 0u);
  EXPECT_GE(total, free);
  EXPECT_GE(free, caller);
  EXPECT_FALSE(plat::GetDiskFreeSpaceEx("Q:\\", &caller, &total, &free));

  // No network provider is an answer too; a connection of a local drive is none.
  char remote[MAX_PATH];
  DWORD length = sizeof remote;
  DWORD r = plat::WNetGetConnection(root.substr(0, 2).c_str(), remote, &length);
  EXPECT_NE(r, static_cast<DWORD>(NO_ERROR));
}

std::atomic<int> gRuns{0};
void CountOnce(void*) { ++gRuns; }
void RunUntilStopped(void* arg) {
  static_cast<std::atomic<bool>*>(arg)->store(true);
  while (!plat::StopRequested()) plat::Sleep(1);
}

TEST(Win32Threads, RunWaitAndStopAtStopPoints) {
  EXPECT_FALSE(plat::StopRequested());
  HANDLE t = plat::CreateThread(CountOnce, nullptr);
  ASSERT_TRUE(t);
  EXPECT_EQ(plat::WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  DWORD code = 99;
  ASSERT_TRUE(plat::GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(gRuns.load(), 1);
  plat::CloseHandle(t);

  std::atomic<bool> started{false};
  t = plat::CreateThread(RunUntilStopped, &started);
  ASSERT_TRUE(t);
  while (!started) plat::Sleep(1);
  EXPECT_EQ(plat::WaitForSingleObject(t, 20), WAIT_TIMEOUT);
  ASSERT_TRUE(plat::GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_TRUE(plat::TerminateThread(t, 7));
  ASSERT_TRUE(plat::GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  // A thread that has left is stopped at once.
  EXPECT_TRUE(plat::TerminateThread(t, 8));
  plat::CloseHandle(t);

  SYSTEMTIME now;
  plat::GetLocalTime(&now);
  EXPECT_GE(now.wYear, 2024);
  std::uint32_t before = plat::GetTickCount();
  plat::Sleep(20);
  EXPECT_LT(plat::GetTickCount() - before, 0x80000000u);  // never goes back
}

TEST(Win32SharedMemory, OneSectionSeenThroughEveryOpen) {
  const char* name = "Local\\talver-win32-test";
  plat::SetLastError(99);
  HANDLE first = plat::CreateFileMapping(name, 1024);
  ASSERT_TRUE(first);
  EXPECT_EQ(plat::GetLastError(), 0u);
  HANDLE second = plat::CreateFileMapping(name, 1024);
  ASSERT_TRUE(second);
  EXPECT_EQ(plat::GetLastError(), ERROR_ALREADY_EXISTS);
  HANDLE opened = plat::OpenFileMapping(name);
  ASSERT_TRUE(opened);
  auto* a = static_cast<char*>(plat::MapViewOfFile(first));
  auto* b = static_cast<char*>(plat::MapViewOfFile(opened));
  ASSERT_TRUE(a && b);
  std::strcpy(a, "seen through both");
  EXPECT_STREQ(b, "seen through both");
  EXPECT_TRUE(plat::UnmapViewOfFile(a));
  EXPECT_TRUE(plat::UnmapViewOfFile(b));
  for (HANDLE h : {first, second, opened}) EXPECT_TRUE(plat::CloseHandle(h));
  EXPECT_FALSE(plat::OpenFileMapping(name));
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Win32Profile, ReadsLikeTheSystem) {
  std::string ini = Dir("profile.ini");
  WriteText(ini, "[Main]\r\nType = TQ520 \r\nQuoted=\"a b\"\r\n[Other]\r\nType=X\r\n");
  struct Case {
    const char* section;
    const char* key;
    DWORD size;
    const char* expected;
  } cases[] = {
      {"Main", "Type", 64, "TQ520"}, {"MAIN", "type", 64, "TQ520"}, {"Main", "Quoted", 64, "a b"},
      {"Main", "None", 64, "dflt"},  {"None", "Type", 64, "dflt"},  {"Main", "Type", 3, "TQ"},
      {"Other", "Type", 64, "X"},
  };
  for (const Case& c : cases) {
    char out[64];
    DWORD n = plat::GetPrivateProfileString(c.section, c.key, "dflt", out, c.size, ini.c_str());
    EXPECT_STREQ(out, c.expected) << c.section << "." << c.key;
    EXPECT_EQ(n, std::strlen(c.expected));
  }
}

// The dialog templates the POSIX build registers are talver.dll's dialog
// resources, and its strings its string table.
TEST(Win32Resources, TheModuleHoldsTheTemplatesAndStrings) {
  HMODULE talver = ::LoadLibraryA("talver.dll");
  ASSERT_TRUE(talver);
  int dialogs = 0;
  for (int id = 1; id < 1000; ++id) {
    if (!FindDialogTemplate(id)) continue;
    ++dialogs;
    EXPECT_TRUE(::FindResourceA(talver, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5))) << id;
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

// Each dialog of the module opens on the dialog manager with every control
// of its template, in the template's class.
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

TEST(Win32Resources, EveryDialogOpensWithItsControls) {
  HMODULE talver = ::LoadLibraryA("talver.dll");
  ASSERT_TRUE(talver);
  for (int id = 1; id < 1000; ++id) {
    const plat::DialogTemplate* t = FindDialogTemplate(id);
    if (!t) continue;
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
  ::FreeLibrary(talver);
}

}  // namespace
