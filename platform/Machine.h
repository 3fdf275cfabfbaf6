// What the service stand-ins and the window emulation know of the machine
// they stand in for: its settings, its desktop and the media of its drives.
// The system's own code never reads these; it sees the machine only through
// the files, drives and dialogs of the platform interface.
//
// The POSIX half answers from the loaded world (docs/world.md). A half over
// a real machine has no such settings: it answers the fallbacks, and its
// stand-ins read what they need their own way.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plat {

// Whether there are settings to read (a world is loaded).
bool HasHostSettings();
// A setting, "section.key" in lower case: a section of the world file, or
// "world.root", "world.identity", "world.desktop_width", "world.desktop_height".
std::string HostSetting(const std::string& key, const std::string& fallback);
long long HostSettingInt(const std::string& key, long long fallback);
// The host path of a file a setting names, relative to the settings' folder.
std::string HostSettingsPath(const std::string& relativeOrAbsolute);

// What a request to change media shows: the drive of a media list that the
// system used last, its media names and the index of the one in it
// (names.size(): empty). False when no drive of the machine holds a list.
bool CurrentMediaDrive(char* letter, std::vector<std::string>* names, std::size_t* inserted);
// Changes the medium of that drive to the named one.
bool ChangeCurrentMedium(const std::string& folder, std::string* error);

// The machine's own files outside the system's drives (the trace file, the
// audit log), by host path: the text appended in one write, or false; the
// whole text, or false when the file cannot be read.
bool AppendHostFile(const std::string& hostPath, const std::string& text);
bool ReadHostFile(const std::string& hostPath, std::string* text);

}  // namespace plat
