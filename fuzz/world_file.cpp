// libFuzzer target: the loader of the world file (svp.ini).
//
// The input is the file. Checked: the load either gives a world or an error
// text, never both or neither; a loaded world is whole (every present drive
// has a folder or a list of media, the medium in a drive is one of its list
// or none, every host folder is absolute and normal, every client drive has
// its remote name and folder); and with the world installed the platform's
// drive and path queries, its clock and the service stand-ins' settings
// reads end without fault. Nothing is written: the queries only look.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "FuzzWorld.h"
#include "common/Globals.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"

namespace {

std::string gIni;

bool AbsoluteAndNormal(const std::string& path) {
  const std::filesystem::path p(path);
  return p.is_absolute() && p.lexically_normal() == p;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gIni = fuzz::SetUpScratch("fuzz-world") + "/svp.ini";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WriteBytes(gIni, data, size);
  std::string error;
  std::optional<plat::World> world = plat::World::Load(gIni, &error);
  fuzz::Check(world.has_value() != !error.empty(), "a load gave both or neither world and error");
  if (!world) return 0;

  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const plat::Drive& d = world->drive(letter);
    if (!d.present) continue;
    fuzz::Check(!d.hostDir.empty() || !d.media.empty(), "a present drive has no folder");
    fuzz::Check(d.inserted <= d.media.size(), "the medium in a drive is not of its list");
    if (d.inserted < d.media.size())
      fuzz::Check(d.hostDir == d.media[d.inserted].hostDir, "a drive shows another medium");
    if (!d.hostDir.empty()) fuzz::Check(AbsoluteAndNormal(d.hostDir), "a drive folder is relative");
    for (const plat::Medium& m : d.media)
      fuzz::Check(!m.name.empty() && AbsoluteAndNormal(m.hostDir), "a medium has no folder");
    fuzz::Check(d.type == DRIVE_REMOVABLE || d.type == DRIVE_FIXED || d.type == DRIVE_CDROM,
                "a drive has an unknown type");
  }
  for (const plat::ClientDrive& c : world->clientDrives)
    fuzz::Check(!c.remoteName.empty() && AbsoluteAndNormal(c.hostDir),
                "a client drive lacks its name or folder");

  // The world in use: drive and path queries, and the stand-ins' settings.
  auto previous = plat::Install(std::make_shared<plat::PosixPlatform>(*world));
  const DWORD drives = plat::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    const char root[4] = {static_cast<char>('A' + i), ':', '\\', '\0'};
    const UINT type = plat::GetDriveType(root);
    const bool present = (drives >> i) & 1u;
    fuzz::Check(present == world->drives[static_cast<std::size_t>(i)].present,
                "the drive mask disagrees with the world");
    if (!present) continue;
    const bool connected = world->connections.count(static_cast<char>('A' + i)) != 0;
    fuzz::Check(
        type == (connected ? DRIVE_REMOTE : world->drives[static_cast<std::size_t>(i)].type),
        "a drive's type differs from the world's");
    plat::GetFileAttributes(root);
  }
  SYSTEMTIME now{};
  plat::GetLocalTime(&now);
  fuzz::Check(now.wMonth >= 1 && now.wMonth <= 12 && now.wDay >= 1 && now.wDay <= 31 &&
                  now.wHour < 24 && now.wMinute < 60 && now.wSecond < 61 &&
                  now.wMilliseconds < 1000,
              "the world's clock gives a time that is none");
  RefreshRootPath();
  fuzz::Check(std::strlen(RootPath) < MAX_PATH, "the root path is not terminated");
  char path[MAX_PATH * 2];
  std::snprintf(path, sizeof path, "%s\\PLAXON\\CONFIG\\config4", RootPath);
  plat::GetFileAttributes(path);
  WORD state = 0;
  DWORD other = 0;
  dsvp_ApiGetSvpState(&state, &other);
  char suffix[48];
  DWORD a = 0, b = 0;
  dsvp_ApiGetCaptionSuffix(0, suffix, &a, &b);
  fuzz::Check(std::strlen(suffix) < sizeof suffix, "the caption suffix is not terminated");
  fuzz::Check(std::strlen(dsvw_GetDkcId()) < 64, "the identity is not terminated");
  plat::Install(previous);
  plat::TakeDebugOutput();
  return 0;
}
