// svpconf gpfm: make, inspect and extract on host files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/GpfmTestFile.h"
#include "support/HostFiles.h"

namespace fs = std::filesystem;

namespace {

using hostfiles::Read;
using hostfiles::Write;

class GpfmToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    fs::create_directories(dir_ / "from");
  }

  // Runs svpconf with the arguments; stdout and stderr land in output_.
  int Svpconf(const std::string& args) {
    int status = -1;
    output_ = hostfiles::Run(std::string(TALVER_SVPCONF) + " " + args, &status);
    return status;
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }

  hostfiles::TempDir temp_{"gpfm"};
  fs::path dir_ = temp_.path();
  std::string output_;
};

// The maker's bytes are those of a file laid out by hand: tables cut into
// segments with a padding byte after each odd one, every table but 63 one
// LZ4 block (the empty one, the first and the last table, and the largest a
// table may be), and the directory not in use left all zero.
TEST_F(GpfmToolTest, MakeWritesTheLayoutTheReaderReads) {
  Write(dir_ / "from" / "63", "hello!!");
  ASSERT_EQ(Svpconf("gpfm make " + P("s.gpfm") + " --from " + P("from") + " --segment 3"), 0)
      << output_;
  GpfmTestFile expected;
  expected.SetValid(2, 0);
  expected.AddTable(1, 63, {"hel", "lo!", "!"}, '\0');
  EXPECT_EQ(Read(dir_ / "s.gpfm"), expected.Bytes());

  fs::remove(dir_ / "from" / "63");
  std::string big(3500000, 'q');
  std::uint32_t x = 7;
  for (std::size_t i = 0; i < big.size(); i += 64)
    big[i] = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
  const std::map<int, std::string> tables = {{0, ""}, {9, big}, {1023, std::string(777, 'z')}};
  for (const auto& [t, bytes] : tables) Write(dir_ / "from" / std::to_string(t), bytes);
  ASSERT_EQ(Svpconf("gpfm make " + P("c.gpfm") + " --from " + P("from") + " --cfm 2"), 0)
      << output_;
  GpfmTestFile second(2);
  second.SetValid(1, 0);
  for (const auto& [t, bytes] : tables) {
    const std::string block = Lz4Block(bytes);
    std::vector<std::string> segments;
    for (std::size_t at = 0; at < block.size(); at += 131072)
      segments.push_back(block.substr(at, 131072));
    ASSERT_EQ(segments.size(), t == 9 ? 2u : 1u);
    second.AddTable(2, t, segments, '\0');
  }
  EXPECT_TRUE(Read(dir_ / "c.gpfm") == second.Bytes());
}

TEST_F(GpfmToolTest, MakeRefusesWhatItCannotStoreAndLeavesWhatIsThere) {
  Write(dir_ / "from" / "notes.txt", "x");
  EXPECT_EQ(Svpconf("gpfm make " + P("x.gpfm") + " --from " + P("from")), 1);
  EXPECT_NE(output_.find("is not a table file"), std::string::npos);
  fs::remove(dir_ / "from" / "notes.txt");
  Write(dir_ / "from" / "63", "");
  EXPECT_EQ(Svpconf("gpfm make " + P("x.gpfm") + " --from " + P("from")), 1);
  EXPECT_NE(output_.find("empty raw table"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "x.gpfm"));
  fs::remove(dir_ / "from" / "63");

  // Never over one of its own table files.
  Write(dir_ / "from" / "5", "hello");
  Write(dir_ / "from" / "7", "x");
  for (const std::string& out : {P("from/7"), P("from/../from/7")}) {
    EXPECT_EQ(Svpconf("gpfm make " + out + " --from " + P("from")), 1) << out;
    EXPECT_NE(output_.find("is one of the table files"), std::string::npos) << output_;
    EXPECT_EQ(Read(dir_ / "from" / "7"), "x");
  }

  // Something the maker cannot open for writing (a folder here; a read-only
  // file for an ordinary user) is not its half-made file to delete.
  fs::create_directories(dir_ / "taken");
  EXPECT_EQ(Svpconf("gpfm make " + P("taken") + " --from " + P("from")), 1);
  EXPECT_NE(output_.find("cannot create"), std::string::npos) << output_;
  EXPECT_TRUE(fs::is_directory(dir_ / "taken"));
}

// The reader's refusals themselves: GpfmRefusalTest.
TEST_F(GpfmToolTest, InspectAndExtractReportARefusedFile) {
  Write(dir_ / "bad.gpfm", SumMismatch().Bytes());
  EXPECT_EQ(Svpconf("gpfm inspect " + P("bad.gpfm")), 1);
  EXPECT_NE(output_.find("verdict=refused: SUM in config file = 1, actual SUM = 107(Entry=6-3)"),
            std::string::npos)
      << output_;
  // What a restore could not use either: no table 63.
  EXPECT_NE(output_.find("warning: no table 63"), std::string::npos) << output_;

  EXPECT_EQ(Svpconf("gpfm extract " + P("bad.gpfm") + " " + P("lz4")), 1);
  EXPECT_NE(output_.find("result=0"), std::string::npos);
  EXPECT_EQ(Read(dir_ / "lz4" / "0.lz4"), "abc");
  // The folder now holds files: a second run is refused unless forced.
  EXPECT_EQ(Svpconf("gpfm extract " + P("bad.gpfm") + " " + P("lz4")), 1);
  EXPECT_NE(output_.find("is not empty"), std::string::npos);
}

TEST_F(GpfmToolTest, ExtractRefusesATablesFolderThatIsTheLz4Folder) {
  // A table 63 whose raw bytes happen to form a valid LZ4 block: converted
  // in place it would be replaced by what it decompresses to.
  const std::string inner(5000, 'k');
  const std::string block = Lz4Block(inner);
  Write(dir_ / "from" / "63", block);
  Write(dir_ / "from" / "2", "two");
  ASSERT_EQ(Svpconf("gpfm make " + P("b.gpfm") + " --from " + P("from")), 0) << output_;
  for (const std::string& tables : {P("lz4"), P("lz4") + "/", P("lz4/../lz4")}) {
    SCOPED_TRACE(tables);
    EXPECT_EQ(Svpconf("gpfm extract " + P("b.gpfm") + " " + P("lz4") + " --tables " + tables), 1);
    EXPECT_NE(output_.find("result=0"), std::string::npos) << output_;
    EXPECT_NE(output_.find("must not be the LZ4 directory"), std::string::npos) << output_;
    EXPECT_TRUE(fs::is_empty(dir_ / "lz4"));
  }
  EXPECT_FALSE(fs::exists(dir_ / "lz4" / "63"));
}

// Table 63 is copied, not converted, and leaves the LZ4 folder.
TEST_F(GpfmToolTest, WithAWorldDrivePathsNameTheWorldsFolders) {
  Write(dir_ / "from" / "5", "table five");
  Write(dir_ / "from" / "63", "raw table 63, no LZ4 block");
  ASSERT_EQ(Svpconf("init " + P("world")), 0) << output_;
  const std::string env = "--env " + P("world/svp.ini") + " ";
  ASSERT_EQ(Svpconf(env + "gpfm make 'C:\\PLAXON\\TMP\\b.gpfm' --from " + P("from")), 0) << output_;
  ASSERT_EQ(Svpconf(env + "gpfm extract 'C:\\PLAXON\\TMP\\b.gpfm' 'C:\\PLAXON\\TMP\\LZ4' " +
                    "--tables 'C:\\PLAXON\\TMP\\TABLES'"),
            0)
      << output_;
  EXPECT_EQ(Read(dir_ / "world/drives/c/PLAXON/TMP/TABLES/5"), "table five");
  EXPECT_EQ(Read(dir_ / "world/drives/c/PLAXON/TMP/TABLES/63"), "raw table 63, no LZ4 block");
  EXPECT_FALSE(fs::exists(dir_ / "world/drives/c/PLAXON/TMP/LZ4/63.lz4"));
  // The reader's trace lines went to the world's trace file.
  EXPECT_NE(Read(dir_ / "world/trace.log").find("Parse end"), std::string::npos);
}

}  // namespace
