// The system's dialogs on the real dialog manager, answered by the tests'
// scripted operator (tests/support/ScriptedOperator) through the window
// operator's hands (WindowOperator.cpp: window messages, as a person at the
// screen). Each scenario calls an export of talver.dll, loaded as a
// maintenance program loads it, and checks its result and the dialogs and
// boxes it showed. With TALVER_SHOTS=DIR each dialog is also saved as
// DIR\dialog-ID.png the first time it is seen.
//
//   dialog_operator.exe
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

// After windows.h, whose answer macros (IDOK ...) it replaces with its own.
#include "support/ScriptedOperator.h"

void StartWindowOperator();  // tests/windows/WindowOperator.cpp
// No test world here: a request for another medium is about none.
void MediaAskedFor(plat::MessageBoxView&) {}
void InsertMedium(char, const std::string&) {}

namespace {

using plat::IDCANCEL;
using plat::IDOK;

// The window as it stands on the screen, written as a PNG by GDI+.
bool SaveWindowPng(HWND window, const std::string& path) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  bool ok = BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  static const CLSID kPng = {
      0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0, 0, 0xf8, 0x1e, 0xf3, 0x2e}};
  std::wstring wide(path.begin(), path.end());
  ok = ok && Gdiplus::Bitmap(bitmap, nullptr).Save(wide.c_str(), &kPng, nullptr) == Gdiplus::Ok;
  DeleteObject(bitmap);
  return ok;
}

// The script, and a picture of each dialog the first time it shows.
class Operator : public ScriptedOperator {
 public:
  void OnDialog(const plat::DialogView& view, plat::DialogActions& act) override {
    const char* dir = std::getenv("TALVER_SHOTS");
    if (dir && *dir && shot_.insert(view.templateId).second) {
      // Painted, as a person sees it; a progress dialog is brief.
      ::Sleep(view.templateId == 101 ? 60 : 200);
      std::string path = std::string(dir) + "\\dialog-" + std::to_string(view.templateId) + ".png";
      if (!SaveWindowPng(view.window, path))
        std::printf("     no screenshot of %d\n", view.templateId);
    }
    ScriptedOperator::OnDialog(view, act);
  }

 private:
  static std::set<int> shot_;
};
std::set<int> Operator::shot_;

HMODULE gTalver;

template <typename Proc>
Proc Export(const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(::GetProcAddress(gTalver, name)));
}

using Uncompress = int(__cdecl*)(HWND, const char*, const char*);
using Backup = int(__cdecl*)(HWND);
using Setup = WORD(__cdecl*)(HWND, const char*, const char*);
using OffSvp = int(__cdecl*)(HWND, WORD, DWORD);
using Restore2 = int(__cdecl*)(HWND, WORD*);

// Each export under the operator's script, and its result (the drive list
// is 1007, the backup list 1019); `progress`: a progress dialog must be seen;
// `needs`: a file without which it is left out. The scenarios run in order:
// the setup takes the backup the one before it made.
struct Scenario {
  const char* name;
  std::function<void(ScriptedOperator&)> script;
  std::function<int()> call;
  int expected;
  bool progress = false;
  const char* needs = nullptr;
};
void DriveA(ScriptedOperator& op) { op.ExpectDialog(106).SelectText(1007, "A").Click(IDOK); }
// The restore's result; a cancel's word is 0x4000.
int Restore(bool cancelled) {
  WORD word = 0;
  int r = Export<Restore2>("dsvCnf_RestoreConf2")(nullptr, &word);
  if (cancelled) {
    EXPECT_EQ(word, 0x4000);
  }
  return r;
}
// clang-format off
const Scenario kScenarios[] = {
    // The progress dialog waits for nobody: the script has no step for it.
    {"ArchiveUnpackedUnderTheProgressDialog", [](ScriptedOperator&) {}, [] {
       return Export<Uncompress>("dsvp_TalverIsUncompressed")(nullptr, "X:\\PLAXON\\TMP\\sample.tgz",
                                                              "X:\\OUT\\"); }, 1, true},
    {"BackupToTheMediumOfDriveA", [](ScriptedOperator& op) {
       DriveA(op);
       op.ExpectMessage(3188, IDOK); },
     [] { return Export<Backup>("dsvp_TalverBackup")(nullptr); }, 1},
    {"SetupFromThatBackupMedium", [](ScriptedOperator& op) {
       op.ExpectDialog(114).Click(1025).Click(IDOK);
       DriveA(op);
       op.ExpectDialog(112).SelectText(1019, "412345").Click(IDOK).ExpectMessage(4037, IDOK); },
     [] { return int{Export<Setup>("dsvCnf_SetupConfigInSVP")(nullptr, "A:\\", "T:\\SVP\\")}; }, 1},
    {"InstallationByModelFromTheCdrWithItsKeyCode", [](ScriptedOperator& op) {
       op.ExpectDialog(106).SelectText(1007, "D").Click(IDOK);
       op.ExpectDialog(113).Type(1022, "XBKZNRTQ").Click(IDOK);
       op.ExpectMessage(4053, IDOK).ExpectMessage(3188, IDOK); },
     [] { return Export<OffSvp>("dsvCnf_OffSvpAllConf")(nullptr, 0, 2); }, 1},
    {"TheBackupFileDialogCancelled",
     [](ScriptedOperator& op) { op.ExpectDialog(115).Click(IDCANCEL); },
     [] { return Restore(true); }, 0},
    // The backup file is the native svpconf's.
    {"RestoreFromABackupFileWhoseSerialNumberIsConfirmed", [](ScriptedOperator& op) {
       op.ExpectDialog(115).Type(1029, "X:\\OUT\\b.gpfm").Click(IDOK);
       op.ExpectDialog(117).Click(1038).Click(IDOK).ExpectMessage(3188, IDOK); },
     [] { return Restore(false); }, 1, false, "X:\\OUT\\b.gpfm"},
};
// clang-format on

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

class Dialogs : public ::testing::TestWithParam<Scenario> {};

TEST_P(Dialogs, TheExportShowsWhatTheScriptAnswers) {
  const Scenario& s = GetParam();
  if (s.needs && ::GetFileAttributesA(s.needs) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no " << s.needs;
  Operator op;
  s.script(op);
  EXPECT_EQ(s.call(), s.expected) << op.Account();
  bool progress = false;
  for (const plat::DialogView& v : op.SeenDialogs()) progress |= v.templateId == 101;
  EXPECT_TRUE(progress || !s.progress) << op.Account();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Dialogs, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

int main(int argc, char** argv) {
  gTalver = ::LoadLibraryA("talver.dll");
  if (!gTalver) {
    std::printf("FAIL LoadLibrary(talver.dll)\n");
    return 1;
  }
  Gdiplus::GdiplusStartupInput gdiplus;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &gdiplus, nullptr);
  StartWindowOperator();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
