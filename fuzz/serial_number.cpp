// libFuzzer target: the identity files of a configuration and the serial
// number file, from hostile bytes.
//
// The input is cut at its 0x00 bytes into up to five files: the archive's
// DKCPRP.DAT and LMCPT.DAT (as the check unpacks them into \PLAXON\TMP\),
// the SVP's DKCPRP.DAT and LMCPT.DAT (\PLAXON\CONFIG\) and a serial number
// file; a missing piece is a missing file. Checked:
//   - a serial number read from DKCPRP.DAT is the default one or a number
//     written after "SERIAL=" in the file; model and PCM type are read only
//     from a file that names them;
//   - the archive checks of serial number, model and PCM type pass exactly
//     when the values read on both sides allow it, and fail with a known word;
//   - the serial number file gives a serial only from a first line of six
//     characters that begins with a non-zero number, and the check of a
//     backup file's serial number passes only when the numbers agree.
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzWorld.h"
#include "common/CnfFunc.h"
#include "common/Globals.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

namespace {

fuzz::World gWorld;

struct Piece {
  const char* relative;  // below drive C
  std::string host;
};
Piece gPieces[] = {{"PLAXON/TMP/DKCPRP.DAT", {}},
                   {"PLAXON/TMP/LMCPT.DAT", {}},
                   {"PLAXON/CONFIG/DKCPRP.DAT", {}},
                   {"PLAXON/CONFIG/LMCPT.DAT", {}},
                   {"PLAXON/OTHERS/serial.sdl", {}}};

// True when some "KEY=" of the text (any case, anywhere: a line longer than
// the reader's buffer goes on as a line of its own) is followed by a number
// whose low 32 bits are the value.
bool NamesValue(const std::string& text, const char* key, DWORD value) {
  const std::size_t keyLength = std::strlen(key);
  for (std::size_t at = 0; at + keyLength < text.size(); ++at) {
    if (strncasecmp(text.c_str() + at, key, keyLength) != 0 || text[at + keyLength] != '=')
      continue;
    const long long number = std::strtoll(text.c_str() + at + keyLength + 1, nullptr, 10);
    if (static_cast<DWORD>(number) == value) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gWorld = fuzz::SetUpWorld("fuzz-serial");
  for (Piece& p : gPieces) p.host = gWorld.c + "/" + p.relative;
  RefreshRootPath();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> texts;
  std::vector<bool> present;
  std::size_t start = 0;
  for (Piece& p : gPieces) {
    std::error_code ec;
    std::filesystem::remove(p.host, ec);
    if (start > size) {
      texts.emplace_back();
      present.push_back(false);
      continue;
    }
    const void* found = std::memchr(data + start, 0, size - start);
    const std::size_t end = found ? static_cast<const std::uint8_t*>(found) - data : size;
    texts.emplace_back(reinterpret_cast<const char*>(data + start), end - start);
    present.push_back(true);
    fuzz::WriteBytes(p.host, data + start, end - start);
    start = end + 1;
  }

  // The plain reads of each configuration directory.
  DWORD serials[2] = {}, models[2] = {}, types[2] = {};
  bool haveSerial[2], haveModel[2], haveType[2];
  const char* dirs[2] = {"C:\\PLAXON\\TMP\\", "C:\\PLAXON\\CONFIG\\"};
  for (int side = 0; side < 2; ++side) {
    const std::string& dkcprp = texts[side * 2];
    const std::string& lmcpt = texts[side * 2 + 1];
    WORD error = 0;
    DWORD serial = 0xDEADBEEF;
    haveSerial[side] = dsvp_ApiGetSerialNumber(dirs[side], &serial, &error) == 1;
    if (haveSerial[side]) {
      fuzz::Check(present[side * 2], "a serial number came from a missing file");
      fuzz::Check(serial != 0, "a serial number of 0 was read");
      fuzz::Check(serial == DefaultSerialNumber || NamesValue(dkcprp, "SERIAL", serial),
                  "a serial number the file does not hold was read");
      serials[side] = serial;
    } else {
      fuzz::Check(serial == 0xDEADBEEF, "a failed read changed the serial number");
      fuzz::Check(error != 0, "a failed read gave no error word");
    }
    DWORD model = 0;
    haveModel[side] = dsvp_ApiGetDkcModel(&model, dirs[side], &error) == 1;
    if (haveModel[side]) {
      fuzz::Check(NamesValue(dkcprp, "MODEL", model), "a model the file does not hold was read");
      models[side] = model;
    }
    DWORD type = 0;
    haveType[side] = dsvp_ApiGetPcmType(&type, dirs[side], &error) == 1;
    if (haveType[side]) {
      fuzz::Check(NamesValue(lmcpt, "PCMTYPE", type), "a PCM type the file does not hold was read");
      types[side] = type;
    }
  }

  // The archive checks against what the reads gave.
  WORD word = 0;
  const int serialCheck = Talver_CheckSerialNumber(&word);
  if (!haveSerial[0]) {
    fuzz::Check(serialCheck == 0 && word == 0x2000, "an unreadable archive serial passed");
  } else if (serials[0] == DefaultSerialNumber) {
    fuzz::Check(serialCheck == 1 && word == 0, "the default archive serial was refused");
  } else if (!haveSerial[1]) {
    fuzz::Check(serialCheck == 0 && word == 0x2000, "an unreadable SVP serial passed");
  } else {
    const bool same = serials[1] == DefaultSerialNumber || serials[1] == serials[0];
    fuzz::Check(serialCheck == (same ? 1 : 0), "the serial check disagrees with the numbers");
    fuzz::Check(word == (same ? 0 : 0x4009), "the serial check has the wrong word");
  }
  word = 0;
  const int modelCheck = Talver_CheckDkcModel(&word);
  const bool modelsRead = haveModel[0] && haveModel[1];
  fuzz::Check(modelCheck == (modelsRead && models[0] == models[1] ? 1 : 0),
              "the model check disagrees with the models");
  fuzz::Check(modelCheck ? word == 0 : word == (modelsRead ? 0x4010 : 0x2000),
              "the model check has the wrong word");
  word = 0;
  const int typeCheck = Talver_CheckPcmType(&word);
  const bool typesRead = haveType[0] && haveType[1];
  fuzz::Check(typeCheck == (typesRead && types[0] == types[1] ? 1 : 0),
              "the PCM type check disagrees with the types");
  fuzz::Check(typeCheck ? word == 0 : word == (typesRead ? 0x4002 : 0x2000),
              "the PCM type check has the wrong word");

  // The serial number file.
  DWORD fileSerial = 0xDEADBEEF;
  const int fileRead = ReadSerialNumberFile("C:\\PLAXON\\OTHERS\\serial.sdl", &fileSerial);
  if (fileRead == 1) {
    const std::string& text = texts[4];
    fuzz::Check(present[4] && text.size() >= 6, "a serial came from a short or missing file");
    fuzz::Check(fileSerial > 0 && fileSerial <= 999999, "the file's serial is out of range");
    fuzz::Check(std::to_string(fileSerial) == text.substr(0, std::to_string(fileSerial).size()) ||
                    text[0] == '0',
                "the file's serial is not its leading digits");
  } else {
    fuzz::Check(fileRead == 0 && fileSerial == 0xDEADBEEF, "a failed file read changed the serial");
  }

  // A backup file's serial number (its DKCF) against the SVP's.
  static BYTE dkcf[kDkcfSize];
  std::memset(dkcf, 0, sizeof dkcf);
  std::memcpy(dkcf, data, std::min(size, sizeof dkcf));
  DWORD stored = 0;
  std::memcpy(&stored, dkcf + kDkcfSerialOffset, sizeof stored);
  word = 0;
  const int backupCheck = CheckBackupSerialNumber("C:\\PLAXON\\CONFIG\\", dkcf,
                                                  "C:\\PLAXON\\OTHERS\\serial.sdl", &word);
  if (backupCheck == 1) {
    const DWORD backup = stored + kDkcfSerialBase;
    const DWORD svp = serials[1] != DefaultSerialNumber ? serials[1] : fileSerial;
    fuzz::Check(haveSerial[1] && backup == svp && backup != DefaultSerialNumber,
                "a backup of another serial number passed");
    fuzz::Check(word == 0, "a passed backup check set the word");
  } else {
    fuzz::Check(backupCheck == 0 && (word == 0x2000 || word == 0x4011),
                "a failed backup check has an unknown word");
  }
  ResetSerialNumberCache();
  plat::TakeDebugOutput();
  return 0;
}
