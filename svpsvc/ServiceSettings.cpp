#include "ServiceSettings.h"

#include <atomic>
#include <cstdlib>

#include "SvpServices.h"
#include "platform/Machine.h"
#include "platform/Platform.h"

namespace svc {

#if !defined(_WIN32)

bool HasSettings() { return plat::HasHostSettings(); }
std::string Setting(const std::string& key, const std::string& fallback) {
  return plat::HostSetting(key, fallback);
}
long long SettingInt(const std::string& key, long long fallback) {
  return plat::HostSettingInt(key, fallback);
}
std::string SettingsFilePath(const std::string& path) { return plat::HostSettingsPath(path); }
std::string SoftwareRoot() { return plat::HostSetting("world.root", "C:"); }
std::string ControllerIdentity() { return plat::HostSetting("world.identity", "DKC"); }

#else

namespace {

// The folder of this library, with its trailing backslash.
std::string ModuleFolder() {
  HMODULE self = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ModuleFolder), &self);
  char path[MAX_PATH] = "";
  DWORD n = ::GetModuleFileNameA(self, path, sizeof path);
  std::string folder(path, n < sizeof path ? n : 0);
  std::string::size_type slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string IniPath() {
  const char* named = std::getenv("TALVER_SVPSVC_INI");
  return named && *named ? std::string(named) : ModuleFolder() + "svpsvc.ini";
}

bool IsAbsolute(const std::string& p) {
  return (p.size() >= 2 && p[1] == ':') || (!p.empty() && (p[0] == '\\' || p[0] == '/'));
}

}  // namespace

std::atomic<SettingsObserver> gSettingsObserver{nullptr};

void SetSettingsObserver(SettingsObserver observer) { gSettingsObserver.store(observer); }

bool HasSettings() { return true; }

std::string Setting(const std::string& key, const std::string& fallback) {
  std::string::size_type dot = key.find('.');
  std::string section = key.substr(0, dot),
              name = dot == std::string::npos ? "" : key.substr(dot + 1);
  if (SettingsObserver observer = gSettingsObserver.load()) observer();
  char value[1024];
  ::GetPrivateProfileStringA(section.c_str(), name.c_str(), fallback.c_str(), value, sizeof value,
                             IniPath().c_str());
  return value;
}

long long SettingInt(const std::string& key, long long fallback) {
  std::string text = Setting(key, "");
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 0);
  return text.empty() || *end != '\0' ? fallback : v;
}

std::string SettingsFilePath(const std::string& path) {
  if (IsAbsolute(path)) return path;
  std::string ini = IniPath();
  std::string::size_type slash = ini.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : ini.substr(0, slash + 1)) + path;
}

std::string SoftwareRoot() { return Setting("world.root", "C:"); }
std::string ControllerIdentity() { return Setting("world.identity", "DKC"); }

#endif

}  // namespace svc
