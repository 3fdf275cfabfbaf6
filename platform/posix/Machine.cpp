// The machine's settings from the loaded world, for the stand-ins and the
// window emulation (platform/Machine.h).
#include "platform/Machine.h"

#include "platform/posix/PosixPlatform.h"

namespace plat {

bool HasHostSettings() { return HasCurrent(); }

std::string HostSetting(const std::string& key, const std::string& fallback) {
  if (!HasCurrent()) return fallback;
  const World& world = CurrentWorld();
  if (key == "world.root") return world.root;
  if (key == "world.identity") return world.identity;
  if (key == "world.desktop_width") return std::to_string(world.desktopWidth);
  if (key == "world.desktop_height") return std::to_string(world.desktopHeight);
  return world.Setting(key, fallback);
}

long long HostSettingInt(const std::string& key, long long fallback) {
  if (!HasCurrent()) return fallback;
  const World& world = CurrentWorld();
  if (key == "world.desktop_width") return world.desktopWidth;
  if (key == "world.desktop_height") return world.desktopHeight;
  return world.SettingInt(key, fallback);
}

std::string HostSettingsPath(const std::string& relativeOrAbsolute) {
  if (!HasCurrent()) return relativeOrAbsolute;
  return CurrentWorld().HostPathOf(relativeOrAbsolute);
}

}  // namespace plat
