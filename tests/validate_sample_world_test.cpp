// The sample world of "svpconf init": its SVP configuration passes every
// identity check against an archive of itself, and the tool reads its config4.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "common/CnfFunc.h"
#include "common/Globals.h"
#include "exports/Exports.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/World.h"
#include "support/HostFiles.h"
#include "support/TgzWriter.h"
#include "svpsvc/SvpServices.h"

namespace fs = std::filesystem;

namespace {

// Packs <world>/drives/c/PLAXON/CONFIG as the backup list does: names start
// with "CONFIG/".
void PackConfig(const fs::path& plaxon, const fs::path& archivePath) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(plaxon / "CONFIG")) {
    if (!entry.is_regular_file()) continue;
    entries[fs::relative(entry.path(), plaxon).generic_string()] = hostfiles::Read(entry.path());
  }
  ASSERT_TRUE(WriteTgz(archivePath.string(), entries));
}

class SampleWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    int status = 0;
    std::string out =
        hostfiles::Run(std::string(TALVER_SVPCONF) + " init " + dir_.string(), &status);
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
  }
  std::string Tool(const std::string& args, int* status) {
    return hostfiles::Run(
        std::string(TALVER_SVPCONF) + " --env " + (dir_ / "svp.ini").string() + " " + args, status);
  }
  fs::path Plaxon() const { return dir_ / "drives" / "c" / "PLAXON"; }

  hostfiles::TempDir temp_{"sample"};
  fs::path dir_ = temp_.path();
  std::shared_ptr<plat::Platform> previous_;
};

// Its identity files, unpacked from an archive of its CONFIG, pass every check.
TEST_F(SampleWorldTest, ArchiveOfItselfPassesTheExportCheck) {
  PackConfig(Plaxon(), Plaxon() / "TMP" / "svp_conf.tgz");
  WORD word = 0;
  EXPECT_EQ(dsvCnf_CheckConfigFile("C:\\PLAXON\\TMP\\svp_conf.tgz", 0x1F, &word), 1)
      << std::hex << word;
}

TEST_F(SampleWorldTest, ToolReadsItsConfig4) {
  int status = 0;
  std::string out = Tool("read-config4 'C:\\Plaxon\\Config\\config4'", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("type=0x8360"), std::string::npos) << out;
  EXPECT_NE(out.find("serial=412345"), std::string::npos) << out;
  EXPECT_NE(out.find("volume_count=255"), std::string::npos) << out;
}

}  // namespace
