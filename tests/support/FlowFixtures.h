// Pieces of the worlds that the flow tests share: config4 records, the DKCF
// and table 63 of a backup file, tables, the serial number, archives, HDD
// backups, lists of media in a drive and an operator who changes them, a
// CD-ROM drive, the tree a setup unpacks into, paths folded as the system
// compares them.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/CnfFunc.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"
#include "support/TgzWriter.h"
#include "svpsvc/AuditLog.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfProcess2.h"

namespace fixtures {

// A config4 record as bytes.
inline std::string Config4(WORD type, BYTE count, BYTE number, DWORD serial = 412345,
                           DWORD timeHigh = 0x01D2, DWORD timeLow = 0x5A5A) {
  Config4Record r{};
  r.Config4TypeWord = type;
  r.volumeCount = count;
  r.volumeNumber = number;
  r.serialNumber = serial;
  r.archiveTimeHigh = timeHigh;
  r.archiveTimeLow = timeLow;
  return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

inline Config4Record RecordOf(const std::string& bytes) {
  Config4Record r{};
  if (bytes.size() == sizeof r) std::memcpy(&r, bytes.data(), sizeof r);
  return r;
}

// The DKCF of a backup file: serial number, version and configuration type
// at their places, the rest a fixed pattern.
constexpr std::size_t kDkcfSize = 13088;
constexpr std::size_t kCfrevSize = 32;

inline std::string Dkcf(std::uint32_t serial, const char* type, const char* version) {
  std::string d(kDkcfSize, '\0');
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<char>((i * 7) & 0x7F);
  std::uint32_t stored = serial - 400000;
  std::memcpy(d.data() + 16, &stored, 4);
  std::memcpy(d.data() + 6484, version, 8);
  std::memcpy(d.data() + 6490, type, 2);
  return d;
}

inline std::string Cfrev() { return std::string("CFREV-0123456789-abcdefghijklmn!", kCfrevSize); }

// Table 63 of the given length: the DKCF, the CFREV, then filler.
inline std::string Table63(std::size_t size, std::uint32_t serial = 412345,
                           const char* type = "60") {
  std::string t = Dkcf(serial, type, "02030460") + Cfrev();
  t.resize(size, 'X');
  return t;
}

// A table of `n` bytes that compresses, though not to nothing: the seed's
// byte with two others of a pattern in every 13.
inline std::string Table(std::size_t n, int seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>(i % 13 < 2 ? (i * 31 + static_cast<std::size_t>(seed)) & 0xFF : seed);
  return s;
}

// This SVP's serial number (none: "") in DKCPRP.DAT, read afresh.
inline void SetSerial(TestWorld& world, const std::string& serial) {
  world.WriteHostFile('C', "PLAXON/CONFIG/DKCPRP.DAT",
                      (serial.empty() ? "" : "SERIAL=" + serial + "\r\n") + "MODEL=7\r\n");
  ResetSerialNumberCache();
}

// Bytes no compressor shrinks, the same for the same seed.
inline std::string Incompressible(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// A gzip tar archive of the entries (name -> content), as bytes.
inline std::string TgzBytes(TestWorld& world, const std::map<std::string, std::string>& entries) {
  const std::string path = world.Dir() + "/made.tgz";
  if (!WriteTgz(path, entries)) return {};
  std::string bytes = TestWorld::ReadHost(path);
  std::filesystem::remove(path);
  return bytes;
}

// A path as the system compares them: lower case, "/" for "\\".
inline std::string Folded(std::string s) {
  for (char& c : s)
    c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// `n` HDD backups holding `archive`, stamped `year`0101000000 and on, the oldest first.
inline void PutHddBackups(TestWorld& world, int n, int year, const std::string& archive) {
  for (int i = 0; i < n; ++i) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d0101%06d", year, i);
    world.WriteHostFile('C', std::string("PLAXON/OTHERS/BACKUP/") + stamp + "/svp_conf.tgz",
                        archive);
  }
}

// The drive holds these media in turn (host folders beside the drives),
// the first one in.
inline void PutMedia(TestWorld& world, char drive, const std::vector<std::string>& names) {
  plat::Drive& d = world.MutableWorld().drive(drive);
  d.media.clear();
  for (const std::string& name : names) {
    plat::Medium m;
    m.name = name;
    m.hostDir = world.Dir() + "/" + name;
    std::filesystem::create_directories(m.hostDir);
    d.media.push_back(m);
  }
  d.Insert(0);
}

// Volume `number` of `count` of the backup of SVP 412345 (type 0x8360) on
// a medium of PutMedia: the medium's config4, the backup's and its piece.
inline void PutVolume(TestWorld& world, const std::string& medium, BYTE count, BYTE number,
                      const std::string& piece) {
  const std::string dir = world.Dir() + "/" + medium + "/PLAXON/CONFIG/";
  std::filesystem::create_directories(dir + "412345");
  const std::string c4 = Config4(0x8360, count, number);
  for (const char* name : {"config4", "412345/config4"})
    std::ofstream(dir + name, std::ios::binary) << c4;
  std::ofstream(dir + "412345/svp_conf.tgz", std::ios::binary) << piece;
}

// Answers each request for another medium with the next name of its list
// (none left: the drive keeps what it holds).
class MediaOperator : public ScriptedOperator {
 public:
  std::string MediumToInsert(const plat::MessageBoxView& box) override {
    if (onRequest) onRequest(box);
    if (names.empty()) return {};
    std::string name = names.front();
    names.pop_front();
    return name;
  }
  std::deque<std::string> names;
  std::function<void(const plat::MessageBoxView&)> onRequest;
};

// The SVP (C:, type 0x8360) without a floppy drive, and the TMP and CONFIG
// folders of the tree (below C:) that a setup or restore unpacks into; with
// `kept`, CONFIG holds a file of its own, kept.dat with these bytes.
inline void PutSetupTarget(TestWorld& world, const std::string& tree,
                           const std::string& kept = "") {
  world.MutableWorld().drive('A').present = false;
  world.WriteHostFile('C', "PLAXON/CONFIG/config4", Config4(0x8360, 1, 0));
  world.MakeHostDir('C', tree + "/TMP");
  world.MakeHostDir('C', tree + "/CONFIG");
  if (!kept.empty()) world.WriteHostFile('C', tree + "/CONFIG/kept.dat", kept);
}

// Drive D: a CD-ROM drive with a folder of its own.
inline void AddCdromDrive(TestWorld& world) {
  plat::Drive& d = world.MutableWorld().drive('D');
  d.present = true;
  d.type = DRIVE_CDROM;
  d.hostDir = world.Dir() + "/drives/d";
  std::filesystem::create_directories(d.hostDir);
}

// What the system adds to its dialogs' captions.
inline std::string CaptionSuffix() {
  char suffix[48] = {};
  DWORD a = 0, b = 0;
  dsvp_ApiGetCaptionSuffix(0, suffix, &a, &b);
  return suffix;
}

// The records of the audit file, the oldest first.
inline std::vector<svc::AuditEntry> AuditRecords() {
  std::vector<svc::AuditEntry> records;
  svc::ReadAuditFile(svc::AuditFilePath(), &records);
  return records;
}

}  // namespace fixtures
