#include "platform/posix/World.h"

#include <ini.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

namespace plat {
namespace {

// The clock may be set back or ahead by up to 200 years: far enough for any
// test, near enough that the time it gives stays a date.
constexpr long long kLongestClockOffset = 200LL * 366 * 24 * 3600;
// The longest line the INI reader takes whole (its buffer less the line end).
constexpr int kLineBuffer = 200;
constexpr std::size_t kLongestLine = kLineBuffer - 3;

using V = WorldValue;
const std::vector<WorldKey> kKeys = {
    {"world", "root", V::Root, 0, 64, "the software root the controller-identity library names"},
    {"world", "identity", V::Text, 0, 63, "controller identity text (shared-memory names)"},
    {"world", "desktop_width", V::Whole, 1, 100000, "width of the desktop the dialogs centre on"},
    {"world", "desktop_height", V::Whole, 1, 100000, "its height"},
    {"world", "clock_offset_seconds", V::Whole, -kLongestClockOffset, kLongestClockOffset,
     "seconds added to the host's local time (a clock set back or ahead)"},
    {"drive.X", "path", V::Folder, 0, 0, "host folder of the drive root"},
    {"drive.X", "media", V::FolderList, 0, 0,
     "a removable or CD-ROM drive's media, in place of path; the first is in the drive"},
    {"drive.X", "type", V::DriveType, 0, 0, "the drive type"},
    {"drive.X", "size", V::ByteCount, 0, 0, "total bytes; 0 = the host file system's figures"},
    {"drive.X", "not_ready", V::Flag, 0, 0, "every query fails with 21"},
    {"drive.X", "write_protected", V::Flag, 0, 0, "creation fails with 19"},
    {"medium.NAME", "size", V::ByteCount, 0, 0, "the medium's own size (else the drive's)"},
    {"medium.NAME", "not_ready", V::Flag, 0, 0, "the medium's own readiness"},
    {"medium.NAME", "write_protected", V::Flag, 0, 0, "the medium's own write protection"},
    {"client.N", "remote", V::Remote, 0, 0, "a client-PC drive's name (terminal services)"},
    {"client.N", "path", V::Folder, 0, 0, "its host folder"},
    {"connections", "X", V::Remote, 0, 0,
     "the network connection of drive letter X; \", unavailable\" after it: remembered only"},
    {"services", "trace_file", V::Text, 0, 0, "the trace file (empty: none)"},
    {"services", "audit_file", V::Text, 0, 0, "the audit file (empty: none)"},
    {"services", "wait_ms", V::Whole, 0, 3600000, "length of one timed wait (default 1000)"},
    {"services", "caption_suffix", V::Text, 0, 47, "text after every caption (default \" - SVP\")"},
    {"services", "svp_state", V::Whole, 0, 65535, "the SVP state word (default 0)"},
    {"services", "dir_operation_fails", V::Flag, 0, 0,
     "the directory operation fails (for tests; default false)"},
    {"send", "result", V::Whole, 0, 3,
     "the controller's answer: 0 answered, 1 or 3 an error, 2 refused (default 0)"},
    {"send", "status", V::Whole, 0, 4294967295LL, "the status word of the answer (default 0)"},
    {"send", "model_index", V::Whole, 0, 5,
     "the model index the controller answers (restore-media takes 0, 1, 2, 3 and 5)"},
    {"platform", "terminate_wait_ms", V::Whole, 0, 3600000,
     "how long a stop request waits for a worker to leave (default 10000)"},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trim(const std::string& text) {
  std::size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

// The pattern of a section name ("drive.c" -> "drive.X"); empty if unknown.
std::string SectionPattern(const std::string& lower) {
  for (const char* plain : {"world", "connections", "services", "send", "platform"})
    if (lower == plain) return lower;
  const std::size_t dot = lower.find('.');
  if (dot == std::string::npos || dot + 1 == lower.size()) return {};
  const std::string head = lower.substr(0, dot);
  if (head == "drive")
    return lower.size() == 7 && lower[6] >= 'a' && lower[6] <= 'z' ? "drive.X" : "";
  if (head == "medium") return "medium.NAME";
  if (head == "client") return "client.N";
  return {};
}

std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The nearest of the names, when it is near enough to be meant.
std::string Nearest(const std::string& name, const std::vector<std::string>& names) {
  std::string best;
  std::size_t bestDistance = name.size() < 5 ? 1 : 2;
  for (const std::string& candidate : names) {
    const std::size_t d = Distance(name, candidate);
    if (d <= bestDistance && (best.empty() || d < bestDistance)) {
      best = candidate;
      bestDistance = d;
    }
  }
  return best;
}

std::string SectionHint(const std::string& raw) {
  const std::string lower = Lower(raw);
  const std::size_t dot = lower.find('.');
  if (dot == std::string::npos) {
    std::string near = Nearest(lower, {"world", "connections", "services", "send", "platform"});
    return near.empty() ? "" : " (did you mean [" + near + "]?)";
  }
  const std::string head = lower.substr(0, dot), tail = raw.substr(dot + 1);
  if (head == "drive") return " (a drive is [drive.A] to [drive.Z])";
  std::string near = Nearest(head, {"drive", "medium", "client"});
  return near.empty() ? "" : " (did you mean [" + near + "." + tail + "]?)";
}

const WorldKey* FindKey(const std::string& pattern, const std::string& key) {
  for (const WorldKey& k : kKeys) {
    if (pattern != k.section) continue;
    if (pattern == "connections"
            ? key.size() == 1 && std::isalpha(static_cast<unsigned char>(key[0]))
            : key == k.key)
      return &k;
  }
  return nullptr;
}

std::string KeyHint(const std::string& pattern, const std::string& key) {
  std::vector<std::string> names;
  for (const WorldKey& k : kKeys)
    if (pattern == k.section) names.emplace_back(k.key);
  if (pattern == "connections") return " (a connection is named by its drive letter)";
  std::string near = Nearest(key, names);
  std::string all;
  for (const std::string& n : names) all += (all.empty() ? "" : ", ") + n;
  return near.empty() ? " (known: " + all + ")" : " (did you mean " + near + "?)";
}

bool ParseWhole(const std::string& value, long long low, long long high, long long* out) {
  if (value.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(value.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n < low || n > high) return false;
  *out = n;
  return true;
}

bool ParseBytes(const std::string& value, std::uint64_t* out) {
  if (value.empty() || !std::isdigit(static_cast<unsigned char>(value[0]))) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long n = std::strtoull(value.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *out = n;
  return true;
}

bool ParseFlag(const std::string& value, bool* out) {
  const std::string v = Lower(value);
  const bool yes = v == "1" || v == "true" || v == "yes" || v == "on";
  const bool no = v == "0" || v == "false" || v == "no" || v == "off";
  *out = yes;
  return yes || no;
}

bool ParseDriveType(const std::string& value, UINT* type) {
  const std::string v = Lower(value);
  if (v == "removable" || v == "2")
    *type = DRIVE_REMOVABLE;
  else if (v == "fixed" || v == "3")
    *type = DRIVE_FIXED;
  else if (v == "cdrom" || v == "cd-rom" || v == "5")
    *type = DRIVE_CDROM;
  else
    return false;
  return true;
}

bool IsRemote(const std::string& value) {
  return value.size() > 2 && value[0] == '\\' && value[1] == '\\' && value[2] != '\\';
}

bool IsRoot(const std::string& value, long long longest) {
  return value.size() >= 2 && value.size() <= static_cast<std::size_t>(longest) &&
         std::isalpha(static_cast<unsigned char>(value[0])) && value[1] == ':' &&
         (value.size() == 2 || (value[2] == '\\' && value.back() != '\\'));
}

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = list.find(';', start);
    std::string item = Trim(list.substr(start, end == std::string::npos ? end : end - start));
    if (!item.empty()) items.push_back(item);
    if (end == std::string::npos) return items;
    start = end + 1;
  }
}

constexpr char kUnavailableMark[] = ", unavailable";

struct MediumSettings {
  std::optional<std::uint64_t> totalBytes;
  std::optional<bool> notReady;
  std::optional<bool> writeProtected;
};

struct LoadState {
  World* world = nullptr;
  std::string shownPath;  // the file as the caller named it
  std::FILE* file = nullptr;
  int line = 0;
  std::vector<std::pair<int, std::string>> problems;  // line -> what is wrong there
  std::map<std::string, int> sectionLines;            // lower-case section -> its first line
  std::map<std::string, int> keyLines;                // "section.key" -> its line
  std::map<std::string, ClientDrive> clients;
  std::map<int, std::string> mediaLists;        // drive index -> "a;b;c"
  std::map<std::string, MediumSettings> media;  // lower-case name -> settings

  void Problem(int at, const std::string& text) {
    problems.emplace_back(at, shownPath + ":" + std::to_string(at) + ": " + text);
  }
};

void OnSection(LoadState& state, const std::string& raw) {
  const std::string lower = Lower(raw);
  const std::string pattern = SectionPattern(lower);
  if (pattern.empty()) {
    state.Problem(state.line, "unknown section [" + raw + "]" + SectionHint(raw));
    return;
  }
  state.sectionLines.emplace(lower, state.line);
  // A drive is there as soon as its section is, even with no keys in it.
  if (pattern == "drive.X") state.world->drive(lower[6]).present = true;
}

// The INI reader's line source: counts the lines, so that every problem
// names its line, takes section headings, and passes on what it cannot take
// as an empty line, once reported.
char* ReadLine(char* out, int size, void* stream) {
  auto& state = *static_cast<LoadState*>(stream);
  std::string text;
  bool any = false;
  for (int c; (c = std::getc(state.file)) != EOF;) {
    any = true;
    if (c == '\n') break;
    if (text.size() <= kLongestLine + 1) text.push_back(static_cast<char>(c));
  }
  if (!any) return nullptr;
  ++state.line;
  if (!text.empty() && text.back() == '\r') text.pop_back();
  const std::string trimmed = Trim(text);
  const std::size_t longest = std::min<std::size_t>(kLongestLine, size > 3 ? size - 3 : 0);
  bool take = true;
  if (text.size() > longest) {
    state.Problem(state.line, "line longer than " + std::to_string(longest) + " characters");
    take = false;
  } else if (text.find('\0') != std::string::npos) {
    state.Problem(state.line, "a NUL byte in the line");
    take = false;
  } else if (!trimmed.empty() && trimmed[0] == '[') {
    const std::size_t close = trimmed.find(']');
    if (close == std::string::npos) {
      state.Problem(state.line, "a section heading lacks its closing ]");
      take = false;
    } else {
      OnSection(state, Trim(trimmed.substr(1, close - 1)));
    }
  } else if (!trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#' &&
             trimmed.find_first_of("=:") == std::string::npos) {
    state.Problem(state.line, "not a [section], a key = value or a ; comment");
    take = false;
  }
  if (!take) text.clear();
  std::snprintf(out, static_cast<std::size_t>(size), "%s\n", text.c_str());
  return out;
}

// Checks one value against its key: true with the text it stands for
// (numbers and flags in one spelling), or false with why not.
bool Checked(const World& w, const WorldKey& key, const std::string& value, std::string* taken,
             std::string* why) {
  long long n = 0;
  std::uint64_t bytes = 0;
  bool flag = false;
  UINT type = 0;
  *taken = value;
  *why = "must be " + DescribeAllowed(key);
  switch (key.value) {
    case V::Text:
      return key.high == 0 || value.size() <= static_cast<std::size_t>(key.high);
    case V::Whole:
      if (!ParseWhole(value, key.low, key.high, &n)) return false;
      *taken = std::to_string(n);
      return true;
    case V::Flag:
      if (!ParseFlag(value, &flag)) return false;
      *taken = flag ? "1" : "0";
      return true;
    case V::DriveType:
      return ParseDriveType(value, &type);
    case V::ByteCount:
      if (!ParseBytes(value, &bytes)) return false;
      *taken = std::to_string(bytes);
      return true;
    case V::Root:
      return IsRoot(value, key.high);
    case V::Remote: {
      std::string remote = value;
      const std::size_t mark = sizeof kUnavailableMark - 1;
      if (std::string(key.section) == "connections" && remote.size() > mark &&
          Lower(remote.substr(remote.size() - mark)) == kUnavailableMark)
        remote = Trim(remote.substr(0, remote.size() - mark));
      return IsRemote(remote);
    }
    case V::Folder:
    case V::FolderList: {
      const std::vector<std::string> folders =
          key.value == V::Folder ? std::vector<std::string>{value} : SplitList(value);
      if (value.empty() || folders.empty()) return false;
      std::string missing;
      for (const std::string& folder : folders) {
        std::error_code ec;
        if (!std::filesystem::is_directory(w.HostPathOf(folder), ec))
          missing += (missing.empty() ? "" : ", ") + w.HostPathOf(folder);
      }
      *why = "no such folder " + missing;
      return missing.empty();
    }
  }
  return false;
}

void Apply(LoadState& state, const std::string& section, const std::string& key,
           const std::string& value) {
  World& w = *state.world;
  const std::string pattern = SectionPattern(section);
  if (pattern == "world") {
    if (key == "root") w.root = value;
    if (key == "identity") w.identity = value;
    if (key == "desktop_width") w.desktopWidth = std::stoi(value);
    if (key == "desktop_height") w.desktopHeight = std::stoi(value);
    if (key == "clock_offset_seconds") w.clockOffsetSeconds = std::stoll(value);
  } else if (pattern == "drive.X") {
    Drive& d = w.drive(section[6]);
    if (key == "path") d.hostDir = w.HostPathOf(value);
    if (key == "media") state.mediaLists[section[6] - 'a'] = value;
    if (key == "type") ParseDriveType(value, &d.type);
    if (key == "size") d.totalBytes = std::stoull(value);
    if (key == "not_ready") d.notReady = value == "1";
    if (key == "write_protected") d.writeProtected = value == "1";
  } else if (pattern == "medium.NAME") {
    MediumSettings& m = state.media[section.substr(7)];
    if (key == "size") m.totalBytes = std::stoull(value);
    if (key == "not_ready") m.notReady = value == "1";
    if (key == "write_protected") m.writeProtected = value == "1";
  } else if (pattern == "client.N") {
    ClientDrive& c = state.clients[section];
    if (key == "remote") c.remoteName = value;
    if (key == "path") c.hostDir = w.HostPathOf(value);
  } else if (pattern == "connections") {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key[0])));
    std::string remote = value;
    const std::size_t mark = sizeof kUnavailableMark - 1;
    if (remote.size() > mark && Lower(remote.substr(remote.size() - mark)) == kUnavailableMark) {
      remote = Trim(remote.substr(0, remote.size() - mark));
      w.unavailableConnections[letter] = true;
    }
    w.connections[letter] = remote;
  } else {
    w.settings[section + "." + key] = value;
  }
}

int OnEntry(void* user, const char* sectionRaw, const char* keyRaw, const char* valueRaw) {
  auto& state = *static_cast<LoadState*>(user);
  const std::string section = Lower(Trim(sectionRaw));
  const std::string key = Lower(keyRaw);
  std::string value = valueRaw;
  // A value may be quoted to keep its blanks: caption_suffix = " - SVP".
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
    value = value.substr(1, value.size() - 2);
  const std::string name = "[" + Trim(sectionRaw) + "] " + keyRaw;
  if (section.empty()) {
    state.Problem(state.line, std::string(keyRaw) + " outside any [section]");
    return 1;
  }
  const std::string pattern = SectionPattern(section);
  if (pattern.empty()) return 1;  // reported at its heading
  const WorldKey* rule = FindKey(pattern, key);
  if (!rule) {
    state.Problem(state.line, name + ": unknown key" + KeyHint(pattern, key));
    return 1;
  }
  auto [first, fresh] = state.keyLines.emplace(section + "." + key, state.line);
  if (!fresh) {
    state.Problem(state.line,
                  name + " given again (first on line " + std::to_string(first->second) + ")");
    return 1;
  }
  std::string taken, why;
  if (!Checked(*state.world, *rule, value, &taken, &why)) {
    state.Problem(state.line, name + " = " + value + ": " + why);
    return 1;
  }
  Apply(state, section, key, taken);
  return 1;
}

// What the whole file must hold beyond its single lines.
void CheckWhole(LoadState& state) {
  World& w = *state.world;
  auto lineOf = [&](const std::string& section) {
    auto it = state.sectionLines.find(section);
    return it == state.sectionLines.end() ? 0 : it->second;
  };
  for (auto& [name, client] : state.clients) {
    if (client.remoteName.empty() || client.hostDir.empty())
      state.Problem(lineOf(name), "[" + name + "] needs remote and path");
    else
      w.clientDrives.push_back(client);
  }
  for (const auto& [section, line] : state.sectionLines)
    if (SectionPattern(section) == "client.N" && !state.clients.count(section))
      state.Problem(line, "[" + section + "] needs remote and path");
  std::set<std::string> listed;
  for (const auto& [index, list] : state.mediaLists) {
    Drive& d = w.drives[static_cast<std::size_t>(index)];
    const std::string section = "drive." + std::string(1, static_cast<char>('a' + index));
    const std::string name = "[drive." + std::string(1, static_cast<char>('A' + index)) + "]";
    if (!d.hostDir.empty()) state.Problem(lineOf(section), name + " has both path and media");
    if (d.type != DRIVE_REMOVABLE && d.type != DRIVE_CDROM)
      state.Problem(lineOf(section), name + " media are for removable and cdrom drives");
    for (const std::string& folder : SplitList(list)) {
      Medium m;
      m.name = folder;
      m.hostDir = w.HostPathOf(folder);
      listed.insert(Lower(folder));
      if (auto it = state.media.find(Lower(folder)); it != state.media.end()) {
        m.totalBytes = it->second.totalBytes;
        m.notReady = it->second.notReady;
        m.writeProtected = it->second.writeProtected;
      }
      d.media.push_back(m);
    }
    if (d.media.empty()) state.Problem(lineOf(section), name + " media names no folder");
    d.driveTotalBytes = d.totalBytes;
    d.driveNotReady = d.notReady;
    d.driveWriteProtected = d.writeProtected;
    d.Insert(0);
  }
  for (const auto& [section, line] : state.sectionLines)
    if (SectionPattern(section) == "medium.NAME" && !listed.count(section.substr(7)))
      state.Problem(line, "[" + section + "] is no medium of a drive's media list");
  for (int i = 0; i < 26; ++i) {
    const std::string section = "drive." + std::string(1, static_cast<char>('a' + i));
    // A path or media refused on its line is not missing as well.
    if (w.drives[static_cast<std::size_t>(i)].present && !state.keyLines.count(section + ".path") &&
        !state.keyLines.count(section + ".media"))
      state.Problem(lineOf(section), "[drive." + std::string(1, static_cast<char>('A' + i)) +
                                         "] needs a path or media");
  }
}

// A folder, a device or a missing file is no world file: say which.
std::string NotAWorldFile(const std::string& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (path.empty()) return "no world file named";
  if (!std::filesystem::exists(status)) return path + ": no such world file";
  if (std::filesystem::is_directory(status))
    return path + " is a folder, not a world file (the world it holds is " +
           (std::filesystem::path(path) / "svp.ini").string() + ")";
  if (!std::filesystem::is_regular_file(status)) return path + " is not a regular file";
  return {};
}

std::optional<World> LoadAll(const std::string& iniPath, std::vector<std::string>* problems) {
  if (std::string why = NotAWorldFile(iniPath); !why.empty()) {
    problems->push_back(why);
    return std::nullopt;
  }
  World w;
  std::error_code ec;
  auto abs = std::filesystem::absolute(iniPath, ec);
  w.iniPath = ec ? iniPath : abs.string();
  w.baseDir = std::filesystem::path(w.iniPath).parent_path().string();
  LoadState state;
  state.world = &w;
  state.shownPath = iniPath;
  state.file = std::fopen(w.iniPath.c_str(), "rb");
  if (!state.file) {
    problems->push_back("cannot open world file " + iniPath);
    return std::nullopt;
  }
  const int rc = ini_parse_stream(ReadLine, &state, OnEntry, &state);
  std::fclose(state.file);
  if (rc > 0 && state.problems.empty())
    state.Problem(rc, "not a [section], a key = value or a ; comment");
  if (rc < 0) state.problems.emplace_back(0, "cannot read world file " + iniPath);
  CheckWhole(state);
  std::stable_sort(state.problems.begin(), state.problems.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [line, text] : state.problems) problems->push_back(std::move(text));
  if (!problems->empty()) return std::nullopt;
  return w;
}

}  // namespace

const std::vector<WorldKey>& WorldKeys() { return kKeys; }

std::string DescribeAllowed(const WorldKey& key) {
  switch (key.value) {
    case V::Text:
      return key.high > 0 ? "a text of at most " + std::to_string(key.high) + " characters"
                          : "a text";
    case V::Whole:
      return "a whole number from " + std::to_string(key.low) + " to " + std::to_string(key.high);
    case V::Flag:
      return "true or false (yes/no, on/off, 1/0)";
    case V::DriveType:
      return "removable, fixed or cdrom (2, 3 or 5)";
    case V::ByteCount:
      return "a byte count from 0 to 18446744073709551615";
    case V::Folder:
      return "an existing folder (relative to the world file's folder)";
    case V::FolderList:
      return "existing folders separated by ';' (relative to the world file's folder)";
    case V::Remote:
      return "a network name \\\\server\\share";
    case V::Root:
      return "a drive letter and colon (C:), or one with a folder (C:\\SVP), at most " +
             std::to_string(key.high) + " characters";
  }
  return {};
}

std::optional<World> World::Load(const std::string& iniPath, std::string* error) {
  std::vector<std::string> problems;
  std::optional<World> world = LoadAll(iniPath, &problems);
  error->clear();
  for (const std::string& p : problems) *error += (error->empty() ? "" : "\n") + p;
  return world;
}

std::vector<std::string> World::Check(const std::string& iniPath) {
  std::vector<std::string> problems;
  LoadAll(iniPath, &problems);
  return problems;
}

}  // namespace plat
