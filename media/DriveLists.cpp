// Drive discovery for the media dialog: the SVP's drives by class and the
// client PC's drives seen through terminal services.
#include <cstring>
#include <memory>
#include <new>

#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "media/CnfSelPcDlg.h"
#include "platform/Platform.h"

TALVER_SOURCE_AT("CnfSelPcDlg", 1000)

DriveList ClientPcDriveList;
DriveList SvpDriveList;

namespace {

constexpr char kTerminalServicesProvider[] = "Microsoft Terminal Services";
constexpr char kClientContainer[] = "\\\\tsclient";
// "\\tsclient\X": the drive letter follows the container and one backslash.
constexpr std::size_t kClientLetterPosition = 11;
constexpr DWORD kEnumBlockSize = 16384;

// Appends one entry; a full list takes no more (false).
bool AppendDrive(DriveList* list, const char* text) {
  if (list->count >= kDriveListEntries) return false;
  CopyBounded(list->entries[list->count], kDriveEntrySize, text);
  ++list->count;
  return true;
}

bool ClassOffers(DriveClass driveClass, UINT type) {
  switch (driveClass) {
    case kDriveClassInstall:
      return type == DRIVE_REMOVABLE || type == DRIVE_CDROM || type == DRIVE_FIXED;
    case kDriveClassInstallCdr:
      return type == DRIVE_CDROM || type == DRIVE_FIXED;
    default:
      return type == DRIVE_REMOVABLE || type == DRIVE_FIXED;
  }
}

// The SVP's fixed C: is no backup target when it holds the software root.
bool IsRootDriveC(const char* drive) {
  return std::memcmp(drive, "C:", 3) == 0 && std::memcmp(RootPath, "C:", 3) == 0;
}

int EnumerateSvpDrives(DriveList* list, DriveClass driveClass) {
  DWORD mask = plat::GetLogicalDrives();
  if (mask == 0) {
    list->count = 0;
    return 1;
  }
  WORD count = 0;
  for (int bit = 0; bit < 32; ++bit) {
    if (!(mask & (1u << bit))) continue;
    char drive[kDriveEntrySize];
    FORMAT_PATH(drive, "%c:", 'A' + bit);
    UINT type = plat::GetDriveType(drive);
    if (!ClassOffers(driveClass, type)) continue;
    if (driveClass == kDriveClassBackup && type == DRIVE_FIXED && IsRootDriveC(drive)) continue;
    if (count >= kDriveListEntries) break;
    CopyBounded(list->entries[count], kDriveEntrySize, drive);
    ++count;
  }
  list->count = count;
  return 1;
}

// The block the network enumeration writes into.
struct alignas(NETRESOURCE) EnumBlock {
  unsigned char bytes[kEnumBlockSize];
};

// One open-enumerate-close of a container into the block.
bool EnumerateOnce(const NETRESOURCE* container, EnumBlock* block, DWORD* count, DWORD* size) {
  HANDLE enumeration = nullptr;
  if (plat::WNetOpenEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, 0, container, &enumeration) !=
      NO_ERROR)
    return false;
  DWORD result = plat::WNetEnumResource(enumeration, count, block->bytes, size);
  DWORD closed = plat::WNetCloseEnum(enumeration);
  return result == NO_ERROR && closed == NO_ERROR;
}

const NETRESOURCE* FindResource(const EnumBlock* block, DWORD count, const char* name) {
  const auto* entries = reinterpret_cast<const NETRESOURCE*>(block->bytes);
  for (DWORD i = 0; i < count && i < kEnumBlockSize / sizeof(NETRESOURCE); ++i)
    if (entries[i].lpRemoteName && std::strcmp(entries[i].lpRemoteName, name) == 0)
      return &entries[i];
  return nullptr;
}

// Appends the drive letter of each client resource. A name too short to
// carry a letter is passed over, and a full list takes no more.
void AppendClientDrives(DriveList* list, const EnumBlock* block, DWORD count) {
  const auto* entries = reinterpret_cast<const NETRESOURCE*>(block->bytes);
  for (DWORD i = 0; i < count && i < kEnumBlockSize / sizeof(NETRESOURCE); ++i) {
    const char* name = entries[i].lpRemoteName;
    if (!name || std::strlen(name) <= kClientLetterPosition) continue;
    const char letter[2] = {name[kClientLetterPosition], '\0'};
    AppendDrive(list, letter);
  }
}

int EnumerateClientDrives(DriveList* list, EnumBlock* block) {
  DWORD count = plat::kEnumAllEntries;
  DWORD size = kEnumBlockSize;
  if (!EnumerateOnce(nullptr, block, &count, &size)) return 0;
  const NETRESOURCE* provider = FindResource(block, count, kTerminalServicesProvider);
  if (!provider) {
    list->count = 0;
    return 1;
  }
  NETRESOURCE providerCopy = *provider;
  if (!EnumerateOnce(&providerCopy, block, &count, &size)) return 0;
  const NETRESOURCE* container = FindResource(block, count, kClientContainer);
  if (!container) {
    list->count = 0;
    return 1;
  }
  NETRESOURCE containerCopy = *container;
  HANDLE enumeration = nullptr;
  if (plat::WNetOpenEnum(RESOURCE_GLOBALNET, RESOURCETYPE_DISK, 0, &containerCopy, &enumeration) !=
      NO_ERROR)
    return 0;
  DriveList found{};
  for (;;) {
    DWORD result = plat::WNetEnumResource(enumeration, &count, block->bytes, &size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != NO_ERROR) {
      plat::WNetCloseEnum(enumeration);
      return 0;
    }
    AppendClientDrives(&found, block, count);
  }
  if (plat::WNetCloseEnum(enumeration) != NO_ERROR) return 0;
  *list = found;
  return 1;
}

}  // namespace

int GetSvpInstallDisk(DriveList* list) { return EnumerateSvpDrives(list, kDriveClassInstall); }

int GetSvpInstallDiskCDR(DriveList* list) {
  return EnumerateSvpDrives(list, kDriveClassInstallCdr);
}

int GetSvpBackupDisk(DriveList* list) { return EnumerateSvpDrives(list, kDriveClassBackup); }

int dsvp_GetConnectedClientPcDrive(DriveList* list) {
  std::unique_ptr<EnumBlock> block(new (std::nothrow) EnumBlock{});
  if (!block) return 0;
  return EnumerateClientDrives(list, block.get());
}

void RefreshDriveLists(DriveClass driveClass) {
  std::memset(&ClientPcDriveList, 0, sizeof ClientPcDriveList);
  std::memset(&SvpDriveList, 0, sizeof SvpDriveList);
  if (!dsvp_GetConnectedClientPcDrive(&ClientPcDriveList))
    TRACE_TEXT("dsvp_GetConnectedClientPcDrive");
  switch (driveClass) {
    case kDriveClassInstall:
      if (!GetSvpInstallDisk(&SvpDriveList)) TRACE_TEXT("GetSvpInstallDisk");
      break;
    case kDriveClassInstallCdr:
      if (!GetSvpInstallDiskCDR(&SvpDriveList)) TRACE_TEXT("GetSvpInstallDiskCDR");
      break;
    default:
      if (!GetSvpBackupDisk(&SvpDriveList)) TRACE_TEXT("GetSvpBackupDisk");
      break;
  }
}
