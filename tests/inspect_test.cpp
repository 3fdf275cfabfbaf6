// Looking inside backups: backups --verify finds the one damaged backup of
// five and names the fault, a .gpfm with a bad sum or block is found, and
// diff names exactly what changed, the known records' fields in words.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/CnfFunc.h"
#include "exports/Exports.h"
#include "host/talver_host.h"
#include "support/FlowFixtures.h"
#include "support/GpfmTestFile.h"
#include "support/HostFiles.h"
#include "support/TgzWriter.h"

namespace fs = std::filesystem;

namespace {

using hostfiles::Read;
using hostfiles::Write;

// A sample world ("svpconf init") with one HDD backup made by the export.
class InspectTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    const std::string init = std::string(TALVER_SVPCONF) + " init " + dir_.string() + " >/dev/null";
    ASSERT_EQ(std::system(init.c_str()), 0);
    char error[256];
    ASSERT_EQ(TalverHost_LoadWorld((dir_ / "svp.ini").c_str(), error, sizeof error), 1) << error;
    plaxon_ = dir_ / "drives/c/PLAXON";
    fs::create_directories(plaxon_ / "TMP");
  }

  fs::path Backups() const { return plaxon_ / "OTHERS/BACKUP"; }
  fs::path ArchiveOf(const std::string& stamp) const { return Backups() / stamp / "svp_conf.tgz"; }
  // A backup made by the export, under the stamp given.
  void MakeBackup(const std::string& stamp) {
    WORD word = 0;
    ASSERT_EQ(dsvCnf_ConfigIsHddBackup(0, 0, &word), 1);
    for (const auto& folder : fs::directory_iterator(Backups())) {
      if (folder.path().filename() == stamp || fs::exists(Backups() / stamp)) continue;
      fs::rename(folder.path(), Backups() / stamp);
    }
  }
  // The live configuration packed as a backup would pack it, changed by `edit`.
  void PackLive(const fs::path& archive, const std::map<std::string, std::string>& edits = {}) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(plaxon_ / "CONFIG"))
      if (e.is_regular_file() && IsListedFile(e.path().filename().c_str()))
        entries[fs::relative(e.path(), plaxon_).generic_string()] = Read(e.path());
    for (const auto& [name, bytes] : edits) {
      if (bytes.empty())
        entries.erase(name);
      else
        entries[name] = bytes;
    }
    fs::create_directories(archive.parent_path());
    ASSERT_TRUE(WriteTgz(archive.string(), entries));
  }
  std::string ConfigInf() const { return Read(plaxon_ / "CONFIG/config.inf"); }
  std::string Verify(const std::string& what, int* result) {
    char why[512] = "";
    *result = TalverHost_Verify(what.c_str(), why, sizeof why);
    return why;
  }

  hostfiles::TempDir temp_{"inspect"};
  fs::path dir_ = temp_.path(), plaxon_;
};

const auto ByName = [](const auto& info) { return std::string(info.param.name); };

struct Damage {
  const char* name;
  void (*apply)(InspectTest& test, const fs::path& archive);
  const char* why;  // a part of the reason
};

const Damage kDamages[] = {
    {"ByteFlipped",
     [](InspectTest&, const fs::path& a) {
       // One flipped bit may only move a match to an equal copy of the same bytes
       // and leave the content whole; sixteen inverted bytes cannot.
       std::string bytes = Read(a);
       for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i)
         bytes[i] = static_cast<char>(~bytes[i]);
       Write(a, bytes);
     },
     "gzip member"},
    {"Truncated",
     [](InspectTest&, const fs::path& a) { fs::resize_file(a, fs::file_size(a) * 2 / 3); },
     "truncated at byte"},
    {"TrailingGarbage", [](InspectTest&, const fs::path& a) { Write(a, Read(a) + "junk"); },
     "is no gzip member (bytes after the last one)"},
    {"NoConfig4",
     [](InspectTest& t, const fs::path& a) {
       t.PackLive(a, {{"CONFIG/config4", ""}});
     },
     "missing CONFIG/config4"},
    {"OtherSerial",
     [](InspectTest& t, const fs::path& a) {
       t.PackLive(a, {{"CONFIG/DKCPRP.DAT", "SERIAL=412999\nMODEL=7\n"}});
     },
     "serial number differs"},
};

class VerifyDamage : public InspectTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(VerifyDamage, TheOneDamagedBackupOfFiveIsNamedTheOthersAreSound) {
  MakeBackup("20260101000000");
  const std::vector<std::string> stamps = {"20260101000000", "20260102000000", "20260103000000",
                                           "20260104000000", "20260105000000"};
  for (std::size_t i = 1; i < stamps.size(); ++i)
    fs::copy(Backups() / stamps[0], Backups() / stamps[i]);
  GetParam().apply(*this, ArchiveOf(stamps[2]));
  for (const std::string& stamp : stamps) {
    int result = 0;
    const std::string why = Verify(stamp, &result);
    EXPECT_EQ(result, stamp == stamps[2] ? 0 : 1) << stamp << ": " << why;
    EXPECT_TRUE(stamp != stamps[2] || why.find(GetParam().why) != std::string::npos) << why;
  }
  int result = 0;
  EXPECT_EQ((Verify("DIFF", &result), result), 1);
  // The check leaves no identity file behind.
  EXPECT_FALSE(fs::exists(plaxon_ / "TMP/DKCPRP.DAT"));
}

INSTANTIATE_TEST_SUITE_P(Damages, VerifyDamage, ::testing::ValuesIn(kDamages), ByName);

// A backup split over the three floppies of drive A, as the backup to media
// leaves it: 1,400,000 bytes a volume, each medium with its config4 twice.
struct MediaCase {
  const char* name;
  const char* media;  // the drive's list
  void (*spoil)(const fs::path& world);
  int result;
  const char* why;
};

fs::path VolumeDir(const fs::path& world, int n, const char* serial = "412345") {
  return world / ("f" + std::to_string(n)) / "PLAXON/CONFIG" / serial;
}

// Both config4 records of medium n.
void WriteConfig4(const fs::path& world, int n, const std::string& c4) {
  Write(VolumeDir(world, n) / "config4", c4);
  Write(VolumeDir(world, n).parent_path() / "config4", c4);
}

class VerifyMedia : public InspectTest, public ::testing::WithParamInterface<MediaCase> {
 protected:
  void WriteVolumes() {
    const fs::path table = plaxon_ / "CONFIG/CNFDATA/TBL900.DAT";
    Write(table, fixtures::Incompressible(3000000, 12345));
    const fs::path archive = plaxon_ / "TMP/split.tgz";
    PackLive(archive);
    fs::remove(table);
    const std::string bytes = Read(archive);
    ASSERT_EQ((bytes.size() + kPiece - 1) / kPiece, 3u);
    for (int n = 1; n <= 3; ++n) {
      fs::create_directories(VolumeDir(dir_, n));
      Write(VolumeDir(dir_, n) / "svp_conf.tgz", bytes.substr((n - 1) * kPiece, kPiece));
      WriteConfig4(dir_, n, fixtures::Config4(0x8360, 3, static_cast<BYTE>(n - 1)));
    }
  }
  // Drive A with the media of `list` in place of its one folder.
  void UseMedia(const char* list) {
    std::string ini = Read(dir_ / "svp.ini");
    ini.replace(ini.find("path = drives/a"), 15, std::string("media = ") + list);
    Write(dir_ / "svp.ini", ini);
    char error[256];
    ASSERT_EQ(TalverHost_LoadWorld((dir_ / "svp.ini").c_str(), error, sizeof error), 1) << error;
    ASSERT_EQ(TalverHost_SetAnswer("drive", "A", error, sizeof error), 1) << error;
    ASSERT_EQ(TalverHost_SetAnswer("3836", "ok", error, sizeof error), 1) << error;
  }
  void TearDown() override { TalverHost_ClearAnswers(); }
  static constexpr std::size_t kPiece = 1400000;
};

// Every file below the media, with its bytes and time.
std::map<std::string, std::string> MediaFiles(const fs::path& world) {
  std::map<std::string, std::string> files;
  for (const char* m : {"f1", "f2", "f3"})
    for (const auto& e : fs::recursive_directory_iterator(world / m))
      files[e.path().string()] =
          (e.is_regular_file() ? Read(e.path()) : "") + "@" +
          std::to_string(fs::last_write_time(e.path()).time_since_epoch().count());
  return files;
}

void NoteVolume(const talver_volume* v, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(std::to_string(v->number) + "/" +
                                                             std::to_string(v->count));
}

const MediaCase kMediaCases[] = {
    {"Sound", "f1; f2; f3", [](const fs::path&) {}, 1, ""},
    {"Truncated", "f1; f2; f3",
     [](const fs::path& w) { fs::resize_file(VolumeDir(w, 2) / "svp_conf.tgz", 1000000); }, 0,
     "volume 2 of 3 truncated at byte 1000000"},
    {"LastShort", "f1; f2; f3",
     [](const fs::path& w) { fs::resize_file(VolumeDir(w, 3) / "svp_conf.tgz", 100000); }, 0,
     "(volume 3 of 3, its byte "},
    {"OfAnotherBackup", "f1; f2; f3",
     [](const fs::path& w) { WriteConfig4(w, 2, fixtures::Config4(0x8360, 3, 1, 412345, 1, 2)); },
     0, "volume 2 of 3: the medium given is a volume of another backup"},
    {"LastMissing", "f1; f2", [](const fs::path&) {}, 0, "volume 3 of 3 missing"},
    {"OtherSvp", "f1; f2; f3",
     [](const fs::path& w) { fs::rename(VolumeDir(w, 1), VolumeDir(w, 1, "412999")); }, -1,
     "no backup of this SVP (412345)"},
};

TEST_P(VerifyMedia, EveryVolumeIsReadInTurnAndNothingChanges) {
  WriteVolumes();
  GetParam().spoil(dir_);
  UseMedia(GetParam().media);
  const auto before = MediaFiles(dir_);
  std::vector<std::string> volumes;
  char why[512] = "";
  EXPECT_EQ(TalverHost_VerifyMedia(NoteVolume, &volumes, why, sizeof why), GetParam().result)
      << why;
  EXPECT_NE(std::string(why).find(GetParam().why), std::string::npos) << why;
  if (GetParam().result == 1) {
    EXPECT_EQ(volumes, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
  }
  EXPECT_EQ(MediaFiles(dir_), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, VerifyMedia, ::testing::ValuesIn(kMediaCases), ByName);

// A backup file of two tables (one LZ4 block, one raw DKCF).
GpfmTestFile TwoTables(const std::string& table5, const char* version,
                       const std::string& table7 = "") {
  GpfmTestFile file;
  file.AddTable(1, 5, {Lz4Block(table5)});
  if (!table7.empty()) file.AddTable(1, 7, {Lz4Block(table7)});
  file.AddTable(1, 63, {fixtures::Dkcf(412345, "60", version)});
  return file;
}

// Sound, then spoiled: a sum stands for the reader's refusals
// (GpfmRefusalTest), whose line is the reason, and a block that does not
// decompress.
TEST_F(InspectTest, EverySumAndTableOfABackupFileIsChecked) {
  const struct {
    void (*spoil)(GpfmTestFile& file);
    int result;
    const char* why;
  } cases[] = {
      {[](GpfmTestFile&) {}, 1, ""},
      {[](GpfmTestFile& f) { f.SetSum(1, 5, 0, 12345); }, 0, "SUM in config file = 12345"},
      {[](GpfmTestFile& f) {
         f = GpfmTestFile();
         f.AddTable(1, 5, {std::string("\xF0\x01\x02", 3)});
       },
       0, "table 5: does not decompress"},
  };
  for (const auto& c : cases) {
    GpfmTestFile file = TwoTables(std::string(100000, 'x') + "tail", "01020360");
    c.spoil(file);
    Write(plaxon_ / "TMP/bk.gpfm", file.Bytes());
    int result = 0;
    const std::string why = Verify("C:\\PLAXON\\TMP\\bk.gpfm", &result);
    EXPECT_EQ(result, c.result) << why;
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
  }
}

// The changes as "~ NAME" and "= FIELD" lines.
void Note(const talver_change* c, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back(
      std::string(1, c->kind) + " " + (c->kind == '=' ? c->detail : c->name));
}

std::vector<std::string> Diff(const std::string& a, const std::string& b, int* result) {
  std::vector<std::string> out;
  char why[512] = "";
  *result = TalverHost_Diff(a.c_str(), b.c_str(), Note, &out, why, sizeof why);
  return out;
}

TEST_F(InspectTest, DiffNamesTheChangedTableAndTheVersionInWords) {
  MakeBackup("20260101000000");
  std::string inf = ConfigInf();
  inf.replace(inf.find("01020360"), 8, "01020460");
  Write(plaxon_ / "CONFIG/config.inf", inf);
  const fs::path table = plaxon_ / "CONFIG/CNFDATA/TBL007.DAT";
  Write(table, Read(table) + "one more row");
  PackLive(ArchiveOf("20260102000000"));
  const std::vector<std::string> want = {"~ CONFIG/CNFDATA/TBL007.DAT", "~ CONFIG/config.inf",
                                         "= CONFIG.INF version 01-02-03/60 -> 01-02-04/60"};
  for (const char* b : {"20260102000000", "live"}) {
    int result = 0;
    EXPECT_EQ(Diff("20260101000000", b, &result), want) << b;
    EXPECT_EQ(result, 1);
  }
  int result = 0;
  EXPECT_TRUE(Diff("20260102000000", "live", &result).empty());
  EXPECT_EQ(result, 1);
  // Of two backup files: the table added, the one changed and the DKCF's version.
  Write(plaxon_ / "TMP/a.gpfm", TwoTables("same table", "01020360").Bytes());
  Write(plaxon_ / "TMP/b.gpfm", TwoTables("same table", "01020460", "a new table").Bytes());
  EXPECT_EQ(Diff("C:\\PLAXON\\TMP\\a.gpfm", "C:\\PLAXON\\TMP\\b.gpfm", &result),
            (std::vector<std::string>{"+ table 7", "~ table 63",
                                      "= DKCF version 01-02-03/60 -> 01-02-04/60"}));
  EXPECT_EQ(result, 1);
}

}  // namespace
