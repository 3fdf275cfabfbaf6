// Where the service stand-ins read their settings ("section.key", lower
// case): the loaded world's sections on this machine (docs/world.md); on
// Windows an INI file of their own, named by TALVER_SVPSVC_INI or else
// svpsvc.ini beside svpsvc.dll (docs/windows.md).
#pragma once

#include <string>

namespace svc {

// Whether there are settings to read (a world is loaded).
bool HasSettings();
std::string Setting(const std::string& key, const std::string& fallback);
long long SettingInt(const std::string& key, long long fallback);
// The host path of a file a setting names, relative to the settings' folder.
std::string SettingsFilePath(const std::string& relativeOrAbsolute);
// The controller identity library's values: software root and identity.
std::string SoftwareRoot();
std::string ControllerIdentity();

}  // namespace svc
