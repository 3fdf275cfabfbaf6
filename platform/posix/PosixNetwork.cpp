// The network side of the POSIX half: the provider enumeration that lists the
// world's client-PC drives as the terminal-services client shows them, the
// connection query of drive letters, and the changing of media in drives
// that hold a list of them.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "platform/posix/PosixPlatform.h"

namespace plat {
namespace {

constexpr char kTerminalServicesProvider[] = "Microsoft Terminal Services";
constexpr char kClientContainer[] = "\\\\tsclient";

// One resource as the enumeration returns it, before it is packed.
struct Resource {
  DWORD scope = RESOURCE_GLOBALNET;
  DWORD type = RESOURCETYPE_DISK;
  DWORD displayType = RESOURCEDISPLAYTYPE_GENERIC;
  DWORD usage = RESOURCEUSAGE_CONNECTABLE;
  std::string remoteName;
  std::string provider;
};

struct NetEnumeration : KernelObject {
  std::vector<Resource> entries;
  std::size_t next = 0;
};

bool Same(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

std::vector<Resource> ResourcesOf(const World& world, const NETRESOURCE* container, bool* known) {
  std::vector<Resource> out;
  *known = true;
  if (!container) {
    // The top level: the network providers of the machine.
    Resource provider;
    provider.displayType = RESOURCEDISPLAYTYPE_NETWORK;
    provider.usage = RESOURCEUSAGE_CONTAINER;
    provider.remoteName = kTerminalServicesProvider;
    provider.provider = kTerminalServicesProvider;
    out.push_back(provider);
    return out;
  }
  if (Same(container->lpRemoteName, kTerminalServicesProvider)) {
    // The terminal-services provider holds the client container; it is
    // empty while no client PC has drives connected.
    Resource client;
    client.displayType = RESOURCEDISPLAYTYPE_SERVER;
    client.usage = RESOURCEUSAGE_CONTAINER;
    client.remoteName = kClientContainer;
    client.provider = kTerminalServicesProvider;
    out.push_back(client);
    return out;
  }
  if (Same(container->lpRemoteName, kClientContainer)) {
    for (const auto& drive : world.clientDrives) {
      Resource share;
      share.displayType = RESOURCEDISPLAYTYPE_SHARE;
      share.remoteName = drive.remoteName;
      share.provider = kTerminalServicesProvider;
      out.push_back(share);
    }
    return out;
  }
  *known = false;
  return out;
}

}  // namespace

DWORD PosixPlatform::WNetOpenEnum(DWORD /*scope*/, DWORD /*type*/, DWORD /*usage*/,
                                  const NETRESOURCE* container, HANDLE* enumeration) {
  if (!enumeration) return ERROR_INVALID_PARAMETER;
  bool known = false;
  auto entries = ResourcesOf(world_, container, &known);
  if (!known) return ERROR_NOT_CONTAINER;
  auto* e = new NetEnumeration;
  e->entries = std::move(entries);
  *enumeration = e;
  return NO_ERROR;
}

DWORD PosixPlatform::WNetEnumResource(HANDLE enumeration, DWORD* count, void* buffer,
                                      DWORD* bufferSize) {
  auto* e = dynamic_cast<NetEnumeration*>(enumeration);
  if (!e || !count || !buffer || !bufferSize) return ERROR_INVALID_PARAMETER;
  if (e->next >= e->entries.size()) return ERROR_NO_MORE_ITEMS;
  // The records first, their texts packed from the end of the buffer.
  auto* records = static_cast<NETRESOURCE*>(buffer);
  char* base = static_cast<char*>(buffer);
  std::size_t textEnd = *bufferSize;
  DWORD written = 0;
  while (e->next < e->entries.size() && written < *count) {
    const Resource& r = e->entries[e->next];
    std::size_t texts = r.remoteName.size() + 1 + r.provider.size() + 1;
    std::size_t recordsEnd = (written + 1) * sizeof(NETRESOURCE);
    if (recordsEnd > textEnd || textEnd - recordsEnd < texts) break;
    NETRESOURCE& out = records[written];
    out.dwScope = r.scope;
    out.dwType = r.type;
    out.dwDisplayType = r.displayType;
    out.dwUsage = r.usage;
    out.lpLocalName = nullptr;
    out.lpComment = nullptr;
    textEnd -= r.provider.size() + 1;
    std::memcpy(base + textEnd, r.provider.c_str(), r.provider.size() + 1);
    out.lpProvider = base + textEnd;
    textEnd -= r.remoteName.size() + 1;
    std::memcpy(base + textEnd, r.remoteName.c_str(), r.remoteName.size() + 1);
    out.lpRemoteName = base + textEnd;
    ++written;
    ++e->next;
  }
  if (written == 0) {
    const Resource& r = e->entries[e->next];
    *bufferSize =
        static_cast<DWORD>(sizeof(NETRESOURCE) + r.remoteName.size() + 1 + r.provider.size() + 1);
    return ERROR_MORE_DATA;
  }
  *count = written;
  return NO_ERROR;
}

DWORD PosixPlatform::WNetCloseEnum(HANDLE enumeration) {
  auto* e = dynamic_cast<NetEnumeration*>(enumeration);
  if (!e) return ERROR_INVALID_HANDLE;
  delete e;
  return NO_ERROR;
}

DWORD PosixPlatform::WNetGetConnection(const char* localName, char* remoteName, DWORD* length) {
  if (!localName || !length || !std::isalpha(static_cast<unsigned char>(localName[0])) ||
      localName[1] != ':' || localName[2] != '\0')
    return ERROR_BAD_DEVICE;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(localName[0])));
  auto it = world_.connections.find(letter);
  if (it == world_.connections.end()) return ERROR_NOT_CONNECTED;
  if (!remoteName || it->second.size() + 1 > *length) {
    *length = static_cast<DWORD>(it->second.size() + 1);
    return ERROR_MORE_DATA;
  }
  std::memcpy(remoteName, it->second.c_str(), it->second.size() + 1);
  return world_.unavailableConnections.count(letter) ? ERROR_CONNECTION_UNAVAIL : NO_ERROR;
}

// ---------------------------------------------------------------- media

void PosixPlatform::NoteMediaDrive(int driveIndex) {
  if (!world_.drives[static_cast<std::size_t>(driveIndex)].media.empty())
    lastMediaDrive_ = driveIndex;
}

char PosixPlatform::MediaDrive() const {
  int last = lastMediaDrive_.load();
  if (last >= 0) return static_cast<char>('A' + last);
  for (int i = 0; i < 26; ++i)
    if (world_.drives[static_cast<std::size_t>(i)].present &&
        !world_.drives[static_cast<std::size_t>(i)].media.empty())
      return static_cast<char>('A' + i);
  return 0;
}

bool PosixPlatform::ChangeMedium(char letter, const std::string& folder, std::string* error) {
  if (!std::isalpha(static_cast<unsigned char>(letter))) {
    *error = "no drive holds a list of media";
    return false;
  }
  Drive& d = world_.drive(letter);
  if (d.media.empty()) {
    *error = std::string("drive ") + letter + ": holds no list of media";
    return false;
  }
  if (folder.empty()) {
    d.Insert(d.inserted + 1);
    return true;
  }
  for (std::size_t i = 0; i < d.media.size(); ++i)
    if (strcasecmp(d.media[i].name.c_str(), folder.c_str()) == 0) {
      d.Insert(i);
      return true;
    }
  std::string host = world_.HostPathOf(folder);
  std::error_code ec;
  if (!std::filesystem::is_directory(host, ec)) {
    *error = "no medium or folder named " + folder;
    return false;
  }
  d.InsertFolder(folder, host);
  return true;
}

bool CurrentMediaDrive(char* letter, std::vector<std::string>* names, std::size_t* inserted) {
  PosixPlatform* posix = CurrentPosix();
  if (!posix) return false;
  char drive = posix->MediaDrive();
  if (!drive) return false;
  const Drive& d = posix->GetWorld().drive(drive);
  *letter = drive;
  names->clear();
  for (const auto& m : d.media) names->push_back(m.name);
  *inserted = d.inserted;
  return true;
}

bool ChangeCurrentMedium(const std::string& folder, std::string* error) {
  PosixPlatform* posix = CurrentPosix();
  if (!posix) {
    *error = "no world is loaded";
    return false;
  }
  return posix->ChangeMedium(posix->MediaDrive(), folder, error);
}

bool MediaOfDrive(char letter, std::vector<std::string>* names, std::size_t* inserted) {
  PosixPlatform* posix = CurrentPosix();
  if (!posix || !std::isalpha(static_cast<unsigned char>(letter))) return false;
  const Drive& d = posix->GetWorld().drive(static_cast<char>(std::toupper(letter)));
  if (!d.present || d.media.empty()) return false;
  names->clear();
  for (const auto& m : d.media) names->push_back(m.name);
  *inserted = d.inserted;
  return true;
}

bool ChangeMediumOf(char letter, const std::string& folder, std::string* error) {
  PosixPlatform* posix = CurrentPosix();
  if (!posix) {
    *error = "no world is loaded";
    return false;
  }
  return posix->ChangeMedium(static_cast<char>(std::toupper(letter)), folder, error);
}

}  // namespace plat
