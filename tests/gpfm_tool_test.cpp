// svpconf gpfm: make, inspect and extract on host files, and the round trip
// make -> extract -> convert that gives back the table files byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

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

  // Table files of several shapes: empty, tiny, compressible and large, and
  // a raw table 63 of a DKCF and a CFREV.
  std::map<int, std::string> SampleTables() {
    std::map<int, std::string> tables;
    std::uint32_t x = 7;
    auto noise = [&x] {
      x = x * 1664525u + 1013904223u;
      return static_cast<char>(x >> 24);
    };
    tables[0] = "";
    tables[1] = "a";
    std::string mixed(300001, '\0');
    for (std::size_t i = 0; i < mixed.size(); ++i)
      mixed[i] = i % 8 == 0 ? noise() : static_cast<char>(i / 512);
    tables[5] = mixed;
    std::string big(3500000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = i % 64 == 0 ? noise() : 'q';
    tables[9] = big;
    std::string raw(13120, '\0');
    for (auto& c : raw) c = noise();
    tables[63] = raw;
    tables[1023] = std::string(777, 'z');
    for (const auto& [t, bytes] : tables) Write(dir_ / "from" / std::to_string(t), bytes);
    return tables;
  }

  hostfiles::TempDir temp_{"gpfm"};
  fs::path dir_ = temp_.path();
  std::string output_;
};

TEST_F(GpfmToolTest, RoundTripGivesBackEveryTableFile) {
  const auto tables = SampleTables();
  for (const std::string options : {"", "--cfm 2 --segment 99999"}) {
    SCOPED_TRACE(options);
    fs::remove_all(dir_ / "lz4");
    fs::remove_all(dir_ / "tables");
    ASSERT_EQ(Svpconf("gpfm make " + P("b.gpfm") + " --from " + P("from") + " " + options), 0)
        << output_;
    ASSERT_EQ(Svpconf("gpfm inspect --brief " + P("b.gpfm")), 0) << output_;
    EXPECT_NE(output_.find("verdict=ok"), std::string::npos);
    ASSERT_EQ(Svpconf("gpfm extract " + P("b.gpfm") + " " + P("lz4") + " --tables " + P("tables")),
              0)
        << output_;
    EXPECT_NE(output_.find("result=1"), std::string::npos);
    for (const auto& [t, bytes] : tables)
      EXPECT_EQ(Read(dir_ / "tables" / std::to_string(t)), bytes) << "table " << t;
    int count = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_ / "tables")) ++count;
    EXPECT_EQ(count, static_cast<int>(tables.size()));
    EXPECT_FALSE(fs::exists(dir_ / "lz4" / "63.lz4"));
  }
}

TEST_F(GpfmToolTest, MakeWritesTheLayoutTheReaderReads) {
  // Segments of 3 bytes: table 63 ("hello!!") is cut 3 + 3 + 1, each odd
  // segment followed by one padding byte.
  Write(dir_ / "from" / "63", "hello!!");
  ASSERT_EQ(Svpconf("gpfm make " + P("s.gpfm") + " --from " + P("from") + " --segment 3"), 0)
      << output_;
  const std::string file = Read(dir_ / "s.gpfm");
  GpfmTestFile expected;
  expected.SetValid(2, 0);  // the directory not in use is left all zero
  expected.AddTable(1, 63, {"hel", "lo!", "!"}, '\0');
  EXPECT_EQ(file, expected.Bytes());
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

TEST_F(GpfmToolTest, InspectNamesWhyTheReaderWouldRefuse) {
  GpfmTestFile file;
  file.AddTable(1, 0, {"abc"});
  file.AddTable(1, 5, {"12", "34", "56"});
  file.SetSum(1, 5, 2, 1);
  Write(dir_ / "bad.gpfm", file.Bytes());
  EXPECT_EQ(Svpconf("gpfm inspect " + P("bad.gpfm")), 1);
  EXPECT_NE(output_.find("verdict=refused: SUM in config file = 1, actual SUM = 107(Entry=6-3)"),
            std::string::npos)
      << output_;

  // A file the reader accepts, but a restore could not use: no table 63.
  EXPECT_NE(output_.find("warning: no table 63"), std::string::npos) << output_;
}

TEST_F(GpfmToolTest, ExtractReportsARefusedFileAndKeepsFoldersOfOtherBackups) {
  GpfmTestFile file;
  file.AddTable(1, 0, {"abc"});
  file.AddTable(1, 1, {"xy"});
  file.SetSum(1, 1, 0, 0);
  Write(dir_ / "bad.gpfm", file.Bytes());
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

TEST_F(GpfmToolTest, WithAWorldDrivePathsNameTheWorldsFolders) {
  Write(dir_ / "from" / "5", "table five");
  ASSERT_EQ(Svpconf("init " + P("world")), 0) << output_;
  const std::string env = "--env " + P("world/svp.ini") + " ";
  ASSERT_EQ(Svpconf(env + "gpfm make 'C:\\PLAXON\\TMP\\b.gpfm' --from " + P("from")), 0) << output_;
  ASSERT_EQ(Svpconf(env + "gpfm extract 'C:\\PLAXON\\TMP\\b.gpfm' 'C:\\PLAXON\\TMP\\LZ4' " +
                    "--tables 'C:\\PLAXON\\TMP\\TABLES'"),
            0)
      << output_;
  EXPECT_EQ(Read(dir_ / "world/drives/c/PLAXON/TMP/TABLES/5"), "table five");
  // The reader's trace lines went to the world's trace file.
  EXPECT_NE(Read(dir_ / "world/trace.log").find("Parse end"), std::string::npos);
}

}  // namespace
