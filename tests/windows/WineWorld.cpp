// The behaviour tests' program on Windows (main below: the system's objects
// linked in with the module's resources, so ModuleInstance is this program)
// and its test world: a world's drives are drive letters of the Wine prefix,
// mapped by Wine's mount manager to the world's folders with their types; C:
// is the prefix's own drive, cleaned to what it held when the tests began.
// The stand-ins read the world's settings from an svpsvc.ini that follows the
// world. What Windows has no word for (a drive not ready, a write-protected
// medium, a medium smaller than its host folder) the world layer answers.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <winioctl.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>

#include "platform/ForwardingPlatform.h"
#include "platform/posix/World.h"
#include "platform/winemu/Operator.h"
#include "support/TestWorld.h"
#include "svpsvc/SvpServices.h"

namespace fs = std::filesystem;

namespace plat {
namespace {

// Wine's mount manager request that maps a drive letter to a host folder
// (no mount point: the letter goes away).
struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPoint;
  USHORT device;
  USHORT label;
};
constexpr DWORD kDefineUnixDrive =
    CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

std::string UnixPathOf(const std::string& windowsPath) {
  using Convert = char*(CDECL*)(LPCWSTR);
  static auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return {};
  std::wstring wide(windowsPath.begin(), windowsPath.end());
  char* unix = convert(wide.c_str());
  if (!unix) return {};
  std::string out = unix;
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return out;
}

bool MapDrive(char letter, UINT type, const std::string& hostDir) {
  std::string unix = hostDir.empty() ? std::string() : UnixPathOf(hostDir);
  if (!hostDir.empty() && unix.empty()) return false;
  std::string buffer(sizeof(UnixDriveRequest) + unix.size() + 1, '\0');
  auto* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
  request->size = static_cast<ULONG>(buffer.size());
  request->type = unix.empty() ? 0 : type;
  request->letter = static_cast<WCHAR>(std::tolower(static_cast<unsigned char>(letter)));
  if (!unix.empty()) {
    request->mountPoint = sizeof(UnixDriveRequest);
    unix.copy(buffer.data() + sizeof(UnixDriveRequest), unix.size());
  }
  HANDLE manager =
      ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  BOOL ok = ::DeviceIoControl(manager, kDefineUnixDrive, buffer.data(),
                              static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  ::CloseHandle(manager);
  return ok != FALSE;
}

int DriveIndexOf(const char* path) {
  if (!path || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':') return -1;
  return std::toupper(static_cast<unsigned char>(path[0])) - 'A';
}

std::uint64_t BytesUnder(const std::string& dir) {
  std::uint64_t total = 0;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec))
    if (it->is_regular_file(ec)) total += it->file_size(ec);
  return total;
}

// Removes a tree, read-only files and folders too.
void RemoveTree(const fs::path& dir) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec))
    ::SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
  ::SetFileAttributesA(dir.string().c_str(), FILE_ATTRIBUTE_NORMAL);
  fs::remove_all(dir, ec);
}

// Removes from C: whatever a test (or a test program that died) left there:
// all but what the Wine prefix makes and the worlds' folder.
void CleanSystemDrive() {
  static const std::set<std::string> keep = {"ProgramData", "Program Files", "Program Files (x86)",
                                             "users",       "windows",       "tvw"};
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("C:\\", ec))
    if (!keep.count(e.path().filename().string())) RemoveTree(e.path());
}

// The letters mapped now: the prefix keeps them from one world to the next.
struct Mapped {
  bool present = false;
  UINT type = 0;
  std::string hostDir;
};
std::array<Mapped, 26> gMapped{};
bool gFirstMapping = true;

}  // namespace

class WineWorldPlatform : public ForwardingPlatform {
 public:
  WineWorldPlatform(std::shared_ptr<Platform> inner, World world, std::string iniPath)
      : ForwardingPlatform(std::move(inner)), world_(std::move(world)), ini_(std::move(iniPath)) {}

  World& MutableWorld() { return world_; }

  // Maps the drives that changed and rewrites the settings that changed.
  void Apply() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (std::size_t i = 0; i < world_.drives.size(); ++i) {
      char letter = static_cast<char>('A' + i);
      if (letter == 'C' || letter == 'Z') continue;
      const Drive& d = world_.drives[i];
      Mapped want{d.present && !d.hostDir.empty(), d.type, d.hostDir};
      Mapped& have = gMapped[i];
      if (!gFirstMapping && want.present == have.present && want.type == have.type &&
          want.hostDir == have.hostDir)
        continue;
      if (want.present) fs::create_directories(want.hostDir);
      if (want.present ? MapDrive(letter, want.type, want.hostDir)
                       : (!have.present && !gFirstMapping) || MapDrive(letter, 0, {}))
        have = want;
    }
    gFirstMapping = false;
    std::string settings =
        "[world]\r\nroot=" + world_.root + "\r\nidentity=" + world_.identity + "\r\n";
    std::string section = "world";
    for (const auto& [key, value] : world_.settings) {
      std::string::size_type dot = key.find('.');
      std::string s = key.substr(0, dot);
      if (s != section) settings += "[" + (section = s) + "]\r\n";
      settings += key.substr(dot + 1) + "=" + value + "\r\n";
    }
    if (settings != written_) {
      std::ofstream(ini_, std::ios::binary | std::ios::trunc) << settings;
      written_ = settings;
    }
  }

  // A request for another medium is about the drive of media last looked at
  // (else the first with a list).
  void AskedFor(MessageBoxView& view) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    char drive = mediaDrive_;
    for (std::size_t i = 0; !drive && i < world_.drives.size(); ++i)
      if (world_.drives[i].present && !world_.drives[i].media.empty())
        drive = static_cast<char>('A' + i);
    if (!drive) return;
    const Drive& d = world_.drive(drive);
    view.mediaDrive = drive;
    view.media.clear();
    for (const auto& m : d.media) view.media.push_back(m.name);
    view.mediumInserted = d.inserted;
  }

  // A medium goes in: the one of the list by its name, else a folder beside
  // the world; empty: the next of the list.
  void Insert(char letter, const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Drive& d = world_.drive(letter);
    if (d.media.empty()) return;
    std::size_t index = name.empty() ? d.inserted + 1 : d.media.size();
    for (std::size_t i = 0; !name.empty() && i < d.media.size(); ++i)
      if (_stricmp(d.media[i].name.c_str(), name.c_str()) == 0) index = i;
    if (index < d.media.size() || name.empty())
      d.Insert(index);
    else
      d.InsertFolder(name, world_.HostPathOf(name));
    Apply();
  }

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override {
    bool writes = (access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0 ||
                  disposition != OPEN_EXISTING;
    if (Refused(path, writes)) return nullptr;
    return ForwardingPlatform::CreateFile(path, access, share, disposition, flags);
  }
  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override {
    return Refused(pattern, false) ? nullptr : ForwardingPlatform::FindFirstFile(pattern, data);
  }
  DWORD GetFileAttributes(const char* path) override {
    return Refused(path, false) ? INVALID_FILE_ATTRIBUTES
                                : ForwardingPlatform::GetFileAttributes(path);
  }
  bool SetFileAttributes(const char* path, DWORD attributes) override {
    return !Refused(path, true) && ForwardingPlatform::SetFileAttributes(path, attributes);
  }
  bool DeleteFile(const char* path) override {
    return !Refused(path, true) && ForwardingPlatform::DeleteFile(path);
  }
  bool CreateDirectory(const char* path) override {
    return !Refused(path, true) && ForwardingPlatform::CreateDirectory(path);
  }
  bool RemoveDirectory(const char* path) override {
    return !Refused(path, true) && ForwardingPlatform::RemoveDirectory(path);
  }
  bool MoveFile(const char* from, const char* to, bool replace) override {
    return !Refused(from, true) && !Refused(to, true) &&
           ForwardingPlatform::MoveFile(from, to, replace);
  }
  // The prefix's own drives beyond the world's (Z:, the host's root) are
  // left out, as a world has none of them.
  DWORD GetLogicalDrives() override {
    Apply();
    DWORD world = 0;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      for (std::size_t i = 0; i < world_.drives.size(); ++i)
        if (world_.drives[i].present) world |= 1u << i;
    }
    return ForwardingPlatform::GetLogicalDrives() & world;
  }
  UINT GetDriveType(const char* root) override {
    if (DriveIndexOf(root) >= 0 && !DriveOf(root)) return DRIVE_NO_ROOT_DIR;
    return ForwardingPlatform::GetDriveType(root);
  }
  bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller, std::uint64_t* total,
                          std::uint64_t* totalFree) override {
    if (Refused(root, false)) return false;
    const Drive* d = DriveOf(root);
    if (!d || d->totalBytes == 0)
      return ForwardingPlatform::GetDiskFreeSpaceEx(root, freeToCaller, total, totalFree);
    std::uint64_t used = BytesUnder(d->hostDir), t = d->totalBytes;
    std::uint64_t f = used >= t || d->type == DRIVE_CDROM ? 0 : t - used;
    if (freeToCaller) *freeToCaller = f;
    if (total) *total = t;
    if (totalFree) *totalFree = f;
    return true;
  }
  // The world's clock: the system's, moved by the world's offset.
  void GetLocalTime(SYSTEMTIME* time) override {
    ForwardingPlatform::GetLocalTime(time);
    long long offset = 0;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      offset = world_.clockOffsetSeconds;
    }
    if (offset == 0) return;
    ULARGE_INTEGER t;  // laid out as a FILETIME
    ::SystemTimeToFileTime(time, reinterpret_cast<FILETIME*>(&t));
    t.QuadPart += static_cast<ULONGLONG>(offset * 10000000LL);
    ::FileTimeToSystemTime(reinterpret_cast<FILETIME*>(&t), time);
  }

 private:
  const Drive* DriveOf(const char* path) {
    Apply();
    int index = DriveIndexOf(path);
    if (index < 0) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const Drive& d = world_.drives[static_cast<std::size_t>(index)];
    if (!d.media.empty()) mediaDrive_ = static_cast<char>('A' + index);
    return d.present ? &d : nullptr;
  }
  bool Refused(const char* path, bool writes) {
    const Drive* d = DriveOf(path);
    if (!d) return false;
    DWORD error = d->notReady                   ? ERROR_NOT_READY
                  : writes && d->writeProtected ? ERROR_WRITE_PROTECT
                                                : ERROR_SUCCESS;
    if (error == ERROR_SUCCESS) return false;
    SetLastError(error);
    return true;
  }

  std::recursive_mutex mutex_;
  World world_;
  std::string ini_;
  std::string written_;
  char mediaDrive_ = 0;
};

}  // namespace plat

namespace {
int gWorldCount = 0;
// The world layer of the test world alive, or null.
std::atomic<plat::WineWorldPlatform*> gWorld{nullptr};

// The settings a test changed reach svpsvc.ini before a stand-in reads it.
void ApplySettings() {
  if (plat::WineWorldPlatform* world = gWorld.load()) world->Apply();
}
}  // namespace

// The window operator's requests for another medium (WindowOperator.cpp).
void MediaAskedFor(plat::MessageBoxView& view) {
  if (plat::WineWorldPlatform* world = gWorld.load()) world->AskedFor(view);
}
void InsertMedium(char drive, const std::string& name) {
  if (plat::WineWorldPlatform* world = gWorld.load()) world->Insert(drive, name);
}

TestWorld::TestWorld() {
  plat::CleanSystemDrive();
  dir_ =
      "C:\\tvw\\" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++gWorldCount);
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  plat::World w = StandardWorld();
  std::string ini = dir_ + "\\svpsvc.ini";
  ::_putenv_s("TALVER_SVPSVC_INI", ini.c_str());
  posix_ = std::make_shared<plat::WineWorldPlatform>(plat::InstalledShared(), std::move(w), ini);
  posix_->Apply();
  gWorld = posix_.get();
  svc::SetSettingsObserver(ApplySettings);
  InstallOver(posix_);
}

TestWorld::~TestWorld() {
  plat::Install(previous_);
  gWorld = nullptr;
  fault_.reset();
  posix_.reset();
  plat::RemoveTree(dir_);
  plat::CleanSystemDrive();
}

plat::World& TestWorld::MutableWorld() { return posix_->MutableWorld(); }

std::string TestWorld::DriveDir(char letter) const {
  if (std::toupper(static_cast<unsigned char>(letter)) == 'C') return "C:";
  return dir_ + "\\drives\\" + static_cast<char>(std::tolower(letter));
}

extern "C" int TalverDllMain(void* module, DWORD reason, void* reserved);
void StartWindowOperator();  // WindowOperator.cpp

int main(int argc, char** argv) {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  TalverDllMain(::GetModuleHandleA(nullptr), 1, nullptr);
  StartWindowOperator();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
