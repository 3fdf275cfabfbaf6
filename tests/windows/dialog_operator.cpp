// The system's dialogs on the real dialog manager, answered by a scripted
// operator made of window messages: a thread that finds each dialog or
// message box of this process by its caption and answers it as a person
// would (BM_CLICK, CB_SETCURSEL with CBN_SELCHANGE, WM_SETTEXT, the list
// view's selection). Each scenario calls an export of talver.dll and checks
// its result and the dialogs it showed. With TALVER_SHOTS=DIR each dialog is
// also saved as DIR\dialog-ID.png the first time it is seen.
//
//   dialog_operator.exe
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- screenshots ------------------------------------------------------------

void PutBig(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<unsigned char>(v >> shift));
}

void Chunk(std::vector<unsigned char>& png, const char* type,
           const std::vector<unsigned char>& data) {
  PutBig(png, static_cast<std::uint32_t>(data.size()));
  std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBig(png, static_cast<std::uint32_t>(
                  crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

// The window as it stands on the screen, written as an RGB PNG.
bool SaveWindowPng(HWND window, const std::string& path) {
  RECT r;
  if (!GetWindowRect(window, &r)) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BOOL copied = BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<std::size_t>(h) * (w * 3 + 1));
  const auto* pixels = static_cast<const unsigned char*>(bits);
  for (int y = 0; y < h; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = pixels + (static_cast<std::size_t>(y) * w + x) * 4;
      raw.push_back(p[2]);
      raw.push_back(p[1]);
      raw.push_back(p[0]);
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied) return false;

  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<unsigned char> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
    return false;
  packed.resize(packedSize);
  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> header;
  PutBig(header, static_cast<std::uint32_t>(w));
  PutBig(header, static_cast<std::uint32_t>(h));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", {});
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

// ---- the operator -------------------------------------------------------------

// The screens the operator knows: the module's dialogs by their caption,
// message boxes by "SVP Message NNNN".
const std::pair<int, const char*> kDialogs[] = {{101, "TALVER Wait..."},
                                                {106, "Select Media"},
                                                {112, "Backup Config List"},
                                                {113, "Configuration Key Code"},
                                                {114, "Select Setup Config"},
                                                {115, "Select Configuration Backup File"},
                                                {117, "Confirm Configuration Information"}};

int ScreenId(HWND window) {
  char caption[256] = "";
  GetWindowTextA(window, caption, sizeof caption);
  int message = 0;
  if (std::sscanf(caption, "SVP Message %d", &message) == 1) return message;
  for (const auto& [id, text] : kDialogs)
    if (std::strncmp(caption, text, std::strlen(text)) == 0) return id;
  return -1;
}

void Click(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// One answer: the screen it expects and what the operator does there. All but
// kPress end with OK: click `id` first, type `text` into edit `id`, choose the
// item of combo box or list view `id` whose text starts with `text`.
struct Answer {
  int screen;
  enum { kPress, kClick, kType, kCombo, kRow } how;
  int id;
  std::string text = {};
};

// The text of item `i` of a combo box or (`list`) a list view.
std::string ItemText(HWND c, bool list, int i) {
  char text[128] = "";
  LVITEMA item{};
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(c, list ? LVM_GETITEMTEXTA : CB_GETLBTEXT, i,
               list ? reinterpret_cast<LPARAM>(&item) : reinterpret_cast<LPARAM>(text));
  return text;
}

void Act(HWND d, const Answer& a) {
  HWND c = GetDlgItem(d, a.id);
  bool list = a.how == Answer::kRow, choose = list || a.how == Answer::kCombo;
  if (a.how == Answer::kPress || a.how == Answer::kClick) Click(d, a.id);
  if (a.how == Answer::kType)
    SendMessageA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a.text.c_str()));
  int n =
      choose ? static_cast<int>(SendMessageA(c, list ? LVM_GETITEMCOUNT : CB_GETCOUNT, 0, 0)) : 0;
  for (int i = 0; i < n; ++i) {
    if (_strnicmp(ItemText(c, list, i).c_str(), a.text.c_str(), a.text.size())) continue;
    LVITEMA item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    if (list)
      SendMessageA(c, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
    else if (SendMessageA(c, CB_SETCURSEL, i, 0) >= 0)
      SendMessageA(d, WM_COMMAND, MAKEWPARAM(a.id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(c));
    break;
  }
  if (a.how != Answer::kPress) Click(d, IDOK);
}

class Operator {
 public:
  explicit Operator(std::vector<Answer> script) : script_(std::move(script)) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~Operator() {
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  // The screens seen, in order ("106 114 ..."), with what went amiss: an
  // answer of the script not used, no progress dialog where one was wanted.
  std::string Seen(bool progress) {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_ + (next_ < script_.size() ? " (answers left)" : "") +
           (progress && !progress_ ? " (no progress dialog)" : "");
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Operator*>(self)->Loop();
    return 0;
  }

  static BOOL CALLBACK Collect(HWND window, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[32] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window) && !std::strcmp(cls, "#32770"))
      reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
  }

  void Loop() {
    const DWORD start = GetTickCount();
    while (!stop_) {
      std::vector<HWND> windows;
      EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
      // A scenario that does not end in time is cancelled, dialog by dialog.
      if (GetTickCount() - start > kDeadlineMs) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!timedOut_) seen_ += " (timeout)";
        timedOut_ = true;
        for (HWND w : windows) {
          Click(w, IDCANCEL);
          PostMessageA(w, WM_CLOSE, 0, 0);
        }
        Sleep(500);
        continue;
      }
      for (HWND w : windows) {
        if (handled_.count(w)) continue;
        handled_.insert(w);
        int id = ScreenId(w);
        // A dialog that closed while it was being looked at (a brief
        // progress dialog) has no caption left: nothing to answer.
        if (id == -1 && !IsWindow(w)) continue;
        if (id == 101) {
          std::lock_guard<std::mutex> lock(mutex_);
          ++progress_;
        }
        Shoot(w, id);
        std::lock_guard<std::mutex> lock(mutex_);
        // Progress dialogs are watched, never answered; they are counted
        // apart, as one that lasts a moment may come and go unseen.
        if (id == 101) continue;
        seen_ += (seen_.empty() ? "" : " ") + std::to_string(id);
        if (next_ < script_.size() && script_[next_].screen == id) {
          Act(w, script_[next_++]);
        } else {
          seen_ += "(unexpected)";
          Click(w, GetDlgItem(w, IDCANCEL) ? IDCANCEL : IDOK);
        }
      }
      Sleep(20);
    }
  }

  void Shoot(HWND window, int id) {
    const char* dir = std::getenv("TALVER_SHOTS");
    if (!dir || !*dir || id < 100 || id > 999 || shot_.count(id)) return;
    shot_.insert(id);
    Sleep(id == 101 ? 60 : 200);  // painted, as a person sees it; progress is brief
    std::string path = std::string(dir) + "\\dialog-" + std::to_string(id) + ".png";
    if (!SaveWindowPng(window, path)) std::printf("     no screenshot of %d\n", id);
  }

  static constexpr DWORD kDeadlineMs = 60000;
  std::vector<Answer> script_;
  std::size_t next_ = 0;
  bool timedOut_ = false;
  int progress_ = 0;
  std::string seen_;
  std::set<HWND> handled_;
  static std::set<int> shot_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  HANDLE thread_;
};
std::set<int> Operator::shot_;

// ---- the scenarios --------------------------------------------------------------

HMODULE gTalver;
int gFailures = 0;

template <typename Proc>
Proc Export(const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(gTalver, name)));
}

using Uncompress = int(__cdecl*)(HWND, const char*, const char*);
using Backup = int(__cdecl*)(HWND);
using Setup = WORD(__cdecl*)(HWND, const char*, const char*);
using OffSvp = int(__cdecl*)(HWND, WORD, DWORD);
using Restore2 = int(__cdecl*)(HWND, WORD*);

// Each export under the operator: its result, the screens it showed (progress
// dialogs apart; `progress`: at least one must be seen) and that every answer
// of the script was used. The drive list is 1007, the backup list 1019.
struct Scenario {
  const char* what;
  std::vector<Answer> script;
  std::function<int()> call;
  int expected;
  const char* screens;
  bool progress = false;
};
int Restore(WORD* word) { return Export<Restore2>("dsvCnf_RestoreConf2")(nullptr, word); }
const Answer kDriveA{106, Answer::kCombo, 1007, "A"}, kOk3188{3188, Answer::kPress, IDOK};
// clang-format off
const Scenario kScenarios[] = {
    {"an archive unpacked under the progress dialog", {}, [] {
       return Export<Uncompress>("dsvp_TalverIsUncompressed")(nullptr, "X:\\PLAXON\\TMP\\sample.tgz",
                                                              "X:\\OUT\\"); }, 1, "", true},
    {"a backup to the medium of drive A", {kDriveA, kOk3188},
     [] { return Export<Backup>("dsvp_TalverBackup")(nullptr); }, 1, "106 3188"},
    {"setup from that backup medium", {{114, Answer::kClick, 1025}, kDriveA,
     {112, Answer::kRow, 1019, "412345"}, {4037, Answer::kPress, IDOK}}, [] {
       return int{Export<Setup>("dsvCnf_SetupConfigInSVP")(nullptr, "A:\\", "T:\\SVP\\")}; },
     1, "114 106 112 4037"},
    {"installation by model from the CD-R in D with its key code", {{106, Answer::kCombo, 1007,
     "D"}, {113, Answer::kType, 1022, "XBKZNRTQ"}, {4053, Answer::kPress, IDOK}, kOk3188},
     [] { return Export<OffSvp>("dsvCnf_OffSvpAllConf")(nullptr, 0, 2); }, 1, "106 113 4053 3188"},
    {"the backup file dialog, cancelled", {{115, Answer::kPress, IDCANCEL}}, [] {
       WORD word = 0;
       int r = Restore(&word);
       return r == 0 && word == 0x4000 ? 2 : r; }, 2, "115"},
    // Left out without the backup file, which the native svpconf makes.
    {"restore from a backup file whose serial number is confirmed", {{115, Answer::kType, 1029,
     "X:\\OUT\\b.gpfm"}, {117, Answer::kClick, 1038}, kOk3188},
     [] { WORD word = 0; return Restore(&word); }, 1, "115 117 3188"},
};
// clang-format on

void Run(const Scenario& s) {
  DWORD start = GetTickCount();
  int result;
  std::string seen;
  {
    Operator op(s.script);
    result = s.call();
    Sleep(100);
    seen = op.Seen(s.progress);
  }
  bool ok = result == s.expected && seen == s.screens;
  if (!ok) ++gFailures;
  std::printf("%s %s: result %d (expected %d), screens \"%s\" (expected \"%s\"), %lu ms\n",
              ok ? "ok  " : "FAIL", s.what, result, s.expected, seen.c_str(), s.screens,
              static_cast<unsigned long>(GetTickCount() - start));
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  gTalver = LoadLibraryA("talver.dll");
  if (!gTalver) {
    std::printf("FAIL LoadLibrary(talver.dll)\n");
    return 1;
  }
  bool file = GetFileAttributesA("X:\\OUT\\b.gpfm") != INVALID_FILE_ATTRIBUTES;
  for (const Scenario& s : kScenarios)
    if (file || &s != &std::end(kScenarios)[-1])
      Run(s);
    else
      std::printf("skip the restore from a backup file: no X:\\OUT\\b.gpfm\n");
  FreeLibrary(gTalver);
  std::printf("dialog_operator: %d failed\n", gFailures);
  return gFailures ? 1 : 0;
}
