// libFuzzer target: config4 records from hostile files.
//
// The input is the SVP's own config4 (C:\Plaxon\Config\config4); when it is
// longer than 32 bytes, the bytes after the first 32 are a medium's config4
// (E:\Plaxon\Config\config4) as well. Checked:
//   - talver_ReadConfig4's read fills at most the 32 bytes of the record: a
//     short file leaves the rest as it was, nothing past the record changes;
//   - dsvCnf_GetStrConfigType gives the four hex digits of bytes 10 and 11
//     (zero where the file is shorter) and never writes past them;
//   - the classification of the medium for every request kind ends with a
//     known kind and result word, and a failed one leaves the selection's
//     type as it was;
//   - the check that one volume continues another agrees with the fields.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "FuzzWorld.h"
#include "common/Globals.h"
#include "exports/Exports.h"
#include "media/MediaSelection.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

namespace {

fuzz::World gWorld;
std::string gMedium;

constexpr BYTE kGuard = 0xA5;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gWorld = fuzz::SetUpWorld("fuzz-config4");
  gMedium = gWorld.dir + "/e";
  std::filesystem::create_directories(gMedium + "/Plaxon/Config");
  plat::World world = plat::CurrentWorld();
  plat::Drive& e = world.drive('E');
  e.present = true;
  e.type = DRIVE_REMOVABLE;
  e.hostDir = gMedium;
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(world)));
  RefreshRootPath();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t own = size < 32 ? size : 32;
  fuzz::WriteBytes(gWorld.c + "/PLAXON/CONFIG/config4", data, own);
  const bool haveMedium = size > 32;
  const std::string mediumFile = gMedium + "/Plaxon/Config/config4";
  std::error_code ec;
  if (haveMedium)
    fuzz::WriteBytes(mediumFile, data + 32, size - 32);
  else
    std::filesystem::remove(mediumFile, ec);

  // The raw read: 32 bytes at most, the rest untouched.
  BYTE buffer[64];
  std::memset(buffer, kGuard, sizeof buffer);
  const int read = talver_ReadConfig4("C:\\Plaxon\\Config\\config4", buffer);
  fuzz::Check(read == 1, "an existing config4 could not be read");
  fuzz::Check(std::memcmp(buffer, data, own) == 0, "the record differs from the file");
  for (std::size_t i = own; i < sizeof buffer; ++i)
    fuzz::Check(buffer[i] == kGuard, "the read wrote past what the file holds");

  // The type text: four hex digits of bytes 10 and 11, little-endian.
  char type[16];
  std::memset(type, 'z', sizeof type);
  WORD word = 0;
  fuzz::Check(dsvCnf_GetStrConfigType(type, &word) == 1, "the type of an existing config4 failed");
  const unsigned low = own > 10 ? data[10] : 0, high = own > 11 ? data[11] : 0;
  char expected[8];
  std::snprintf(expected, sizeof expected, "%.4X", low | high << 8);
  fuzz::Check(std::strcmp(type, expected) == 0, "the type text is not that of bytes 10 and 11");
  for (std::size_t i = 5; i < sizeof type; ++i)
    fuzz::Check(type[i] == 'z', "the type text ran past five characters");

  // The medium's record for every request kind.
  Config4Record medium{};
  std::memcpy(&medium, data + own, haveMedium ? std::min<std::size_t>(size - 32, 32) : 0);
  for (WORD request : {kRequestBackupVolumes, kRequestSetup, kRequestRestore, kRequestSoftware,
                       kRequestInstallMode0, static_cast<WORD>(99)}) {
    MediaSelection selection{};
    selection.requestKind = request;
    std::snprintf(selection.drivePath, sizeof selection.drivePath, "E:\\");
    selection.config4.Config4TypeWord = 0x1234;
    WORD result = 0;
    const int classified = ClassifyMediaByConfig4(&selection, &result);
    if (!haveMedium) {
      fuzz::Check(classified == 0 && result == 0x400B, "a medium without config4 was classified");
    }
    if (classified == 1) {
      fuzz::Check(selection.MediaKind == kMediaBackup || selection.MediaKind == kMediaKeyCode ||
                      selection.MediaKind == kMediaSoftware,
                  "a classified medium has an unknown kind");
      fuzz::Check(result == 0, "a classification that succeeded set the result word");
      const bool noVolumes = medium.volumeCount == kConfig4NoVolumeInfo;
      fuzz::Check((selection.MediaKind == kMediaKeyCode) == noVolumes,
                  "the key-code kind does not follow the volume count");
    } else {
      fuzz::Check(classified == 0, "the classification returned neither 0 nor 1");
      fuzz::Check(selection.MediaKind == kMediaNone, "a refused medium kept a kind");
      fuzz::Check(selection.config4.Config4TypeWord == 0x1234,
                  "a refused medium changed the selection's type");
      fuzz::Check(result == 0x400B || result == 0x4105 || result == 0x2000,
                  "a refused medium has an unknown result word");
    }
  }

  // The own record followed by the medium's as the next volume.
  Config4Record previous{};
  std::memcpy(&previous, data, own);
  WORD volumeWord = 0;
  const bool continues = CheckNextVolume(&previous, &medium, &volumeWord) == 1;
  const bool expectedContinues =
      medium.volumeNumber == previous.volumeNumber + 1 &&
      medium.archiveTimeHigh == previous.archiveTimeHigh &&
      medium.archiveTimeLow == previous.archiveTimeLow &&
      (medium.serialNumber == previous.serialNumber || medium.serialNumber == DefaultSerialNumber);
  fuzz::Check(continues == expectedContinues, "the volume check disagrees with the fields");
  fuzz::Check(continues ? volumeWord == 0 : volumeWord == 0x4103,
              "the volume check has the wrong result word");
  plat::TakeDebugOutput();
  return 0;
}
