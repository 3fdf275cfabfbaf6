// The sample world of "svpconf init": its SVP configuration passes every
// identity check against an archive of itself, and the tool's config4, type
// and audit commands read it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "backupfile/AuditRecord.h"
#include "common/CnfFunc.h"
#include "common/Globals.h"
#include "exports/Exports.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/World.h"
#include "support/TgzWriter.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

namespace fs = std::filesystem;

namespace {

std::string RunCommand(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  std::array<char, 512> buffer;
  while (std::fgets(buffer.data(), buffer.size(), pipe)) out += buffer.data();
  *status = ::pclose(pipe);
  return out;
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Packs <world>/drives/c/PLAXON/CONFIG as the backup list does: names start
// with "CONFIG/".
void PackConfig(const fs::path& plaxon, const fs::path& archivePath) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(plaxon / "CONFIG")) {
    if (!entry.is_regular_file()) continue;
    entries[fs::relative(entry.path(), plaxon).generic_string()] = Slurp(entry.path());
  }
  ASSERT_TRUE(WriteTgz(archivePath.string(), entries));
}

class SampleWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "talver-sample-XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    int status = 0;
    std::string out = RunCommand(std::string(TALVER_SVPCONF) + " init " + dir_.string(), &status);
    ASSERT_EQ(status, 0) << out;
    std::string error;
    auto world = plat::World::Load((dir_ / "svp.ini").string(), &error);
    ASSERT_TRUE(world.has_value()) << error;
    previous_ = plat::Install(std::make_shared<plat::PosixPlatform>(std::move(*world)));
    RefreshRootPath();
    ResetSerialNumberCache();
    svc::StartTraceCapture();
  }
  void TearDown() override {
    if (previous_) plat::Install(previous_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Tool(const std::string& args, int* status) {
    return RunCommand(
        std::string(TALVER_SVPCONF) + " --env " + (dir_ / "svp.ini").string() + " " + args, status);
  }
  fs::path Plaxon() const { return dir_ / "drives" / "c" / "PLAXON"; }

  fs::path dir_;
  std::shared_ptr<plat::Platform> previous_;
};

// Its identity files, unpacked from an archive of its CONFIG, pass every check.
TEST_F(SampleWorldTest, ArchiveOfItselfPassesTheExportCheck) {
  PackConfig(Plaxon(), Plaxon() / "TMP" / "svp_conf.tgz");
  WORD word = 0;
  EXPECT_EQ(dsvCnf_CheckConfigFile("C:\\PLAXON\\TMP\\svp_conf.tgz", 0x1F, &word), 1)
      << std::hex << word;
}

TEST_F(SampleWorldTest, SerialNumberFileAndVersionTextAreReadable) {
  DWORD serial = 0;
  EXPECT_EQ(ReadSerialNumberFile("C:\\PLAXON\\MP\\PC\\SerialNumber", &serial), 1);
  EXPECT_EQ(serial, 412345u);
  DWORD configSerial = 0;
  WORD error = 0;
  ASSERT_EQ(dsvp_ApiGetSerialNumber("C:\\PLAXON\\CONFIG\\", &configSerial, &error), 1);
  EXPECT_EQ(configSerial, serial);
  char text[32];
  EXPECT_EQ(ReadVersionText("C:\\PLAXON\\CONFIG\\config.inf", text, sizeof text), 1);
  EXPECT_STREQ(text, "01-02-03/60");
}

TEST_F(SampleWorldTest, ToolReadsConfig4TypeAuditRecordsAndCheckWord) {
  int status = 0;
  std::string out = Tool("read-config4 'C:\\Plaxon\\Config\\config4'", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("type=0x8360"), std::string::npos) << out;
  EXPECT_NE(out.find("serial=412345"), std::string::npos) << out;
  EXPECT_NE(out.find("volume_count=255"), std::string::npos) << out;
  out = Tool("config-type", &status);
  EXPECT_NE(out.find("type=8360"), std::string::npos) << out;
  out = Tool("read-config4 'C:\\Plaxon\\Config\\none'", &status);
  EXPECT_NE(status, 0) << out;

  WriteAuditRecord(10, "01-02-03/60", "----", 1, 0);
  WriteAuditRecord(14, "----", "01-02-03/60", 0, 0x2000);
  WriteAuditRecord(14, "----", "----", 0, 0x4000);  // a cancel leaves none
  out = Tool("audit", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(
      out.find("#1 operation=\"Backup Config\" outcome=\"Normal end\" detail=\"Ver.=01-02-03/60\""),
      std::string::npos)
      << out;
  EXPECT_NE(
      out.find("#2 operation=\"NEW Installation\" outcome=\"Error\" detail=\"{New Ver.}={----}\""),
      std::string::npos)
      << out;
  EXPECT_NE(out.find("records=2"), std::string::npos) << out;

  // The result word the export set, not the one the tool had before the call.
  out = Tool("check 'C:\\PLAXON\\TMP\\none.tgz' --checks 0x1F", &status);
  EXPECT_NE(status, 0) << out;
  EXPECT_NE(out.find("result=0 word=0x2000"), std::string::npos) << out;
}

}  // namespace
