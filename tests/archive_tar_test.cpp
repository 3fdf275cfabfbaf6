// The archiver stand-in: GNU tar's archives, refusal of entries that leave
// the target, failures that leave no truncated file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/Temporary.h"
#include "support/TestWorld.h"
#include "support/TgzWriter.h"
#include "tar32/Tar32.h"

namespace fs = std::filesystem;

namespace {

TgzEntry File(const std::string& name, const std::string& data) { return {name, data, "", false}; }
TgzEntry Symlink(const std::string& name, const std::string& to) { return {name, "", to, false}; }
TgzEntry Hardlink(const std::string& name, const std::string& to) { return {name, "", to, true}; }

int RunTar(const std::string& line) {
  char output[256];
  return Tar(0, line.c_str(), output, sizeof output);
}

// Silent create of C:\PLAXON\TMP\<archive> from the tree below C:\PLAXON\,
// with the names of C:\PLAXON\TMP\<list>.
int Pack(const std::string& archive, const std::string& list) {
  return RunTar("--display-dialog=0 cvfZ C:\\PLAXON\\TMP\\" + archive +
                " C:\\plaxon\\ @C:\\PLAXON\\TMP\\" + list);
}

// Silent extraction of C:\PLAXON\TMP\<archive> into target.
int Unpack(const std::string& archive, const std::string& target = "C:\\OUT\\",
           const std::string& names = "*.*") {
  return RunTar("--display-dialog=0 xvfo C:\\PLAXON\\TMP\\" + archive + " " + target + " " + names);
}

// The exit status of a host command.
int Shell(const std::string& command) { return std::system(command.c_str()); }

class TarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world_.WriteHostFile('C', "PLAXON/CONFIG/config.inf", "[CONFIG]\r\nA=1\r\n");
    world_.WriteHostFile('C', "PLAXON/CONFIG/Sub/Deep/table.dat", std::string(5000, 'x'));
    world_.WriteHostFile('C', "PLAXON/CONFIG/empty.dat", "");
    world_.WriteHostFile('C', "PLAXON/TMP/list",
                         "CONFIG/config.inf\r\nCONFIG/Sub/Deep/table.dat\r\nCONFIG/empty.dat\r\n");
    world_.MakeHostDir('C', "OUT");
  }
  std::string Host(const std::string& rel) { return world_.HostOf('C', rel); }
  // The archiver's temporary files below a folder of drive C (none when the
  // folder is missing).
  std::vector<std::string> Temporaries(const std::string& rel) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(Host(rel), ec); !ec && it != fs::end(it);
         it.increment(ec))
      if (plat::IsTemporaryName(it->path().filename().string()))
        found.push_back(it->path().filename().string());
    return found;
  }
  TestWorld world_;
};

// An entry the target's drive cannot hold is refused before its first byte
// is written, not after it filled the drive.
TEST_F(TarTest, AnEntryAboveTheFreeSpaceIsRefusedUnwritten) {
  SKIP_ON_WINDOWS("a drive smaller than its host folder is the POSIX world's");
  ASSERT_TRUE(
      WriteTgzEntries(Host("PLAXON/TMP/s.tgz"), {File("CONFIG/big.dat", std::string(4500, 'a'))}));
  std::uint64_t used = 0;
  for (const auto& e : fs::recursive_directory_iterator(world_.DriveDir('C')))
    if (e.is_regular_file()) used += e.file_size();
  world_.MutableWorld().drive('C').totalBytes = used + 4000;
  world_.Faults().AddRule({plat::FaultOp::Write, "big.dat", ERROR_DISK_FULL});
  EXPECT_EQ(Unpack("s.tgz"), kTarErrorWrite);
  EXPECT_EQ(world_.Faults().Injected(), 0) << "written before it was refused";
  EXPECT_FALSE(fs::exists(Host("OUT/CONFIG/big.dat")));
  EXPECT_TRUE(Temporaries("OUT").empty());
}

}  // namespace

// ---------------------------------------------------------------- interop

// Names are bytes here too: a long Latin-1 name in GNU's own long-name record.
// Archives of GNU tar's formats and of bsdtar, a long name among their
// entries: each unpacks whole and counts its entries.
TEST_F(TarTest, WeReadWhatGnuTarWrites) {
  SKIP_ON_WINDOWS("GNU tar is a program of the host");
  const std::string latin1 = "CONFIG/Sub/" + std::string(120, '\xE9') + ".dat";
  world_.WriteHostFile('C', "PLAXON/" + latin1, "bytes");
  for (const char* tar : {"tar --format=gnu", "tar --format=oldgnu", "tar --format=posix",
                          "bsdtar --format=pax", "bsdtar --format=gnutar"}) {
    SCOPED_TRACE(tar);
    fs::remove_all(Host("OUT"));
    world_.MakeHostDir('C', "OUT");
    ASSERT_EQ(Shell("cd '" + Host("PLAXON") + "' && LC_ALL=C " + tar + " -czf '" +
                    Host("PLAXON/TMP/gnu.tgz") + "' CONFIG"),
              0);
    ASSERT_EQ(Unpack("gnu.tgz"), 0);
    EXPECT_EQ(world_.ReadHostFile('C', "OUT/CONFIG/Sub/Deep/table.dat"), std::string(5000, 'x'));
    EXPECT_EQ(world_.ReadHostFile('C', "OUT/CONFIG/empty.dat"), "");
    EXPECT_EQ(world_.ReadHostFile('C', "OUT/" + latin1), "bytes");
    // The directories count too: CONFIG, Sub, Deep and four files.
    EXPECT_EQ(TarGetFileCount("C:\\PLAXON\\TMP\\gnu.tgz"), 7);
  }
}

// ---------------------------------------------------------------- safety

TEST_F(TarTest, EntriesLeavingTheTargetAreRefusedAndNothingLandsOutside) {
  struct Case {
    const char* what;
    std::vector<TgzEntry> entries;
  };
  std::vector<Case> cases = {
      {"dot-dot", {File("CONFIG/../../evil.txt", "x")}},
      {"leading dot-dot", {File("../evil.txt", "x")}},
      {"absolute", {File("/evil.txt", "x")}},
      {"drive", {File("C:/evil.txt", "x")}},
      {"backslash dot-dot", {File("CONFIG\\..\\..\\evil.txt", "x")}},
      {"symlink out", {Symlink("CONFIG/link", "../../.."), File("CONFIG/link/evil.txt", "x")}},
      {"absolute symlink", {Symlink("CONFIG/link", "/tmp")}},
      {"hard link out", {Hardlink("CONFIG/hard", "../../PLAXON/CONFIG/config.inf")}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteTgzEntries(Host("PLAXON/TMP/evil.tgz"), c.entries));
    EXPECT_EQ(Unpack("evil.tgz"), kTarErrorUnsafe) << c.what;
    EXPECT_FALSE(world_.HostExists('C', "evil.txt")) << c.what;
    EXPECT_FALSE(fs::exists(world_.DriveDir('C') + "/../evil.txt")) << c.what;
    EXPECT_FALSE(fs::exists("/evil.txt")) << c.what;
    EXPECT_FALSE(fs::exists("/tmp/evil.txt")) << c.what;
  }
  // A link that stays inside passes; a hard link inside becomes a copy.
  ASSERT_TRUE(
      WriteTgzEntries(Host("PLAXON/TMP/ok.tgz"),
                      {File("CONFIG/a.dat", "alpha"), Symlink("CONFIG/sub/link", "../a.dat"),
                       Hardlink("CONFIG/b.dat", "CONFIG/a.dat")}));
  EXPECT_EQ(Unpack("ok.tgz"), 0);
  EXPECT_EQ(world_.ReadHostFile('C', "OUT/CONFIG/b.dat"), "alpha");
  // Nor does a create take names from outside its directory.
  world_.WriteHostFile('C', "PLAXON/TMP/bad", "CONFIG/../../secret\r\n");
  EXPECT_EQ(Pack("a.tgz", "bad"), kTarErrorUnsafe);
}

// The temporary name of a file being written is its own: neither an entry
// unpacked before nor a file already in the target is ever overwritten.
TEST_F(TarTest, TemporaryNamesNeverTakeAnotherFilesPlace) {
  world_.WriteHostFile('C', "OUT/CONFIG/b.~tv", "was there");
  world_.WriteHostFile('C', "OUT/CONFIG/c.~tv", "was there too");
  ASSERT_TRUE(WriteTgzEntries(Host("PLAXON/TMP/t.tgz"),
                              {File("CONFIG/a.~tv", "entry a.~tv"), File("CONFIG/a", "entry a"),
                               File("CONFIG/b", "entry b"), Hardlink("CONFIG/c", "CONFIG/a"),
                               File("config/d", "entry d")}));
  ASSERT_EQ(Unpack("t.tgz"), 0);
  const std::pair<const char*, const char*> expected[] = {
      {"OUT/CONFIG/a.~tv", "entry a.~tv"},   {"OUT/CONFIG/a", "entry a"},
      {"OUT/CONFIG/b.~tv", "was there"},     {"OUT/CONFIG/b", "entry b"},
      {"OUT/CONFIG/c.~tv", "was there too"}, {"OUT/CONFIG/c", "entry a"},
      {"OUT/CONFIG/d", "entry d"},
  };
  for (const auto& [file, data] : expected) EXPECT_EQ(world_.ReadHostFile('C', file), data) << file;
  EXPECT_TRUE(Temporaries("OUT").empty());
  // The same for the archive being made.
  world_.WriteHostFile('C', "PLAXON/TMP/a.tgz.~tv", "was there");
  ASSERT_EQ(Pack("a.tgz", "list"), 0);
  EXPECT_EQ(world_.ReadHostFile('C', "PLAXON/TMP/a.tgz.~tv"), "was there");
  EXPECT_EQ(TarGetFileCount("C:\\PLAXON\\TMP\\a.tgz"), 3);
  // A listed file that is missing fails the create, and leaves no archive.
  world_.WriteHostFile('C', "PLAXON/TMP/gone", "CONFIG/not-there.dat\r\n");
  EXPECT_EQ(Pack("b.tgz", "gone"), kTarErrorSource);
  EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/b.tgz"));
  EXPECT_TRUE(Temporaries("PLAXON/TMP").empty());
}

// A folder the extraction makes is built under a temporary name and takes its
// own name once whole, on every path: after a failure (with the entries
// that were whole), when its rename is refused (the entries then move one
// by one), when a folder's path fits only without the temporary's mark, and beside
// the staged folder of a killed job. So is an empty folder found on the way,
// which keeps its spelling and permissions; one that holds anything is
// written into. No temporary stays.
TEST_F(TarTest, NewFoldersTakeTheirNamesWhole) {
  const std::string longName(260 - sizeof "C:\\OUT\\NEW\\" - 4, 'L');
  struct Case {
    const char* name;
    std::vector<TgzEntry> entries;
    std::vector<plat::FaultRule> faults;
    int code;
    std::vector<std::pair<std::string, const char*>> files;  // null: absent
    const char* found = nullptr;  // a folder there before: "new", "new/old"
  } cases[] = {
      {"whole, in any case, a name twice",
       {File("NEW/a", "1"), File("new/Sub/b", "2"), File("NEW/a", "3")},
       {},
       0,
       {{"NEW/a", "3"}, {"NEW/Sub/b", "2"}}},
      {"a write fails",
       {File("NEW/a", "1"), File("NEW/b", "2"), File("NEW/c", "3")},
       {{plat::FaultOp::Write, "\\NEW.~tv", ERROR_DISK_FULL, 1, 1}},
       kTarErrorWrite,
       {{"NEW/a", "1"}, {"NEW/b", nullptr}, {"NEW/c", nullptr}}},
      {"its rename is refused",
       {File("NEW/a", "1"), File("NEW/Sub/b", "2")},
       {{plat::FaultOp::Rename, "\\NEW.~tv", ERROR_ACCESS_DENIED, 0, 1}},
       0,
       {{"NEW/a", "1"}, {"NEW/Sub/b", "2"}}},
      {"a folder that fits only without the mark",
       {File("NEW/a", "1"), File("NEW/" + longName + "/", ""), File("NEW/c", "3")},
       {},
       0,
       {{"NEW/a", "1"}, {"NEW/" + longName, "(folder)"}, {"NEW/c", "3"}}},
      {"an empty folder there",
       {File("NEW/a", "1"), File("NEW/Sub/b", "2")},
       {},
       0,
       {{"new/a", "1"}, {"new/Sub/b", "2"}},
       "new"},
      {"an empty folder there, its replacement refused",
       {File("NEW/a", "1"), File("NEW/Sub/b", "2")},
       {{plat::FaultOp::Rename, "\\NEW.~tv", ERROR_DIR_NOT_EMPTY, 0, 1}},
       0,
       {{"new/a", "1"}, {"new/Sub/b", "2"}},
       "new"},
      {"a folder there that holds one",
       {File("top", "0"), File("NEW/a", "1"), File("NEW/old/b", "2")},
       {},
       0,
       {{"top", "0"}, {"new/a", "1"}, {"new/old/b", "2"}},
       "new/old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Host("OUT"));
    world_.WriteHostFile('C', "OUT/NEW.~tv0000ABCD/Deep/left", "a killed job's");
    if (c.found) {
      world_.MakeHostDir('C', std::string("OUT/") + c.found);
      fs::permissions(Host("OUT/new"), fs::perms::owner_all | fs::perms::group_read);
    }
    ASSERT_TRUE(WriteTgzEntries(Host("PLAXON/TMP/n.tgz"), c.entries));
    for (const plat::FaultRule& rule : c.faults) world_.Faults().AddRule(rule);
    EXPECT_EQ(Unpack("n.tgz"), c.code);
    world_.Faults().ClearRules();
    for (const auto& [file, data] : c.files) {
      const std::string now = fs::is_directory(Host("OUT/" + file)) ? "(folder)"
                              : world_.HostExists('C', "OUT/" + file)
                                  ? world_.ReadHostFile('C', "OUT/" + file)
                                  : "(absent)";
      EXPECT_EQ(now, data ? data : "(absent)") << file;
    }
    EXPECT_EQ(testing::PrintToString(Temporaries("OUT")), "{}");
#if !defined(_WIN32)  // a Windows folder has no permission bits
    if (c.found) {
      EXPECT_EQ(fs::status(Host("OUT/new")).permissions(),
                fs::perms::owner_all | fs::perms::group_read);
    }
#endif
  }
}

// Links are never followed: a create refuses a listed link or a name below a
// linked folder and passes links over in "*.*"; an extraction refuses a
// linked folder in its way. Nothing is read or written outside.
TEST_F(TarTest, LinksAreNeverFollowed) {
  SKIP_ON_WINDOWS("host links are made on the host");
  std::string outside = world_.MakeOutsideDir("outside");
  world_.MakeHostLink('C', "PLAXON/CONFIG/linked", outside);
  world_.MakeHostLink('C', "PLAXON/CONFIG/kept.lnk", outside + "/kept");
  for (const char* listed : {"CONFIG/linked", "CONFIG/LINKED/kept", "CONFIG/kept.lnk"}) {
    world_.WriteHostFile('C', "PLAXON/TMP/l", std::string(listed) + "\r\n");
    EXPECT_EQ(Pack("l.tgz", "l"), kTarErrorUnsafe) << listed;
    EXPECT_FALSE(world_.HostExists('C', "PLAXON/TMP/l.tgz")) << listed;
  }
  ASSERT_EQ(RunTar("--display-dialog=0 cvfZ C:\\PLAXON\\TMP\\all.tgz C:\\PLAXON\\CONFIG\\ *.*"), 0);
  EXPECT_EQ(TarGetFileCount("C:\\PLAXON\\TMP\\all.tgz"), 3);
  ASSERT_EQ(Pack("a.tgz", "list"), 0);
  // A killed job's staged folder goes with the link in it, never followed.
  world_.MakeHostDir('C', "OUT2/CONFIG.~tv0000ABCD");
  world_.MakeHostLink('C', "OUT2/CONFIG.~tv0000ABCD/linked", outside);
  EXPECT_EQ(Unpack("a.tgz", "C:\\OUT2\\"), 0);
  EXPECT_FALSE(world_.HostExists('C', "OUT2/CONFIG.~tv0000ABCD"));
  world_.MakeHostLink('C', "OUT/CONFIG", outside);
  EXPECT_EQ(Unpack("a.tgz"), kTarErrorUnsafe);
  EXPECT_EQ(fs::directory_iterator(outside)->path().filename(), "kept");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
}

// ---------------------------------------------------------------- failures

// Our archives record their count at the end; without a record that names
// the archive's own length (older archives, other writers, zeros after the
// end) the entries are counted. The record is read alone: damage inside is
// found by the extraction.
TEST_F(TarTest, TheCountIsRecordedOrCounted) {
  ASSERT_EQ(Pack("a.tgz", "list"), 0);
  const std::string whole = world_.ReadHostFile('C', "PLAXON/TMP/a.tgz");
  std::string forged = whole;
  forged[forged.size() - 26] = 99;  // the count, its check left as it was
  std::string damaged = whole;
  damaged[40] = static_cast<char>(damaged[40] ^ 0x55);
  struct Case {
    const char* name;
    std::string bytes;
    int count;
    int unpack;
  } cases[] = {
      {"own", whole, 3, 0},
      {"older, without the record", whole.substr(0, whole.size() - 42), 3, 0},
      {"zeros after the end", whole + std::string(1024, '\0'), 3, 0},
      {"forged count", forged, 3, 0},
      {"damaged inside", damaged, 3, kTarErrorFormat},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    world_.WriteHostFile('C', "PLAXON/TMP/b.tgz", c.bytes);
    EXPECT_EQ(TarGetFileCount("C:\\PLAXON\\TMP\\b.tgz"), c.count);
    EXPECT_EQ(Unpack("b.tgz"), c.unpack);
  }
  EXPECT_EQ(Shell("gzip -t '" + Host("PLAXON/TMP/a.tgz") + "'"), 0);
}

TEST_F(TarTest, AStoppedJobLeavesNoTruncatedFile) {
  // One large entry, so the stop arrives while it is being written.
  std::string big(48u << 20, '\0');
  for (std::size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>(i >> 12);
  world_.WriteHostFile('C', "PLAXON/CONFIG/big.bin", big);
  world_.WriteHostFile('C', "PLAXON/TMP/l", "CONFIG/big.bin\r\n");
  ASSERT_EQ(Pack("a.tgz", "l"), 0);
  world_.WriteHostFile('C', "OUT/CONFIG/big.bin", "GOOD");
  static std::atomic<int> code;
  code = -1;
  HANDLE thread = plat::CreateThread([](void*) { code = Unpack("a.tgz"); }, nullptr);
  ASSERT_NE(thread, nullptr);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Temporaries("OUT").empty() && code == -1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_TRUE(plat::TerminateThread(thread, 1));
  plat::CloseHandle(thread);
  std::string now = world_.ReadHostFile('C', "OUT/CONFIG/big.bin");
  if (code == kTarErrorStopped)
    EXPECT_EQ(now, "GOOD");
  else
    EXPECT_TRUE(code == 0 && now == big) << code;  // the job won the race
  EXPECT_TRUE(Temporaries("OUT").empty());
  // The next job runs normally.
  EXPECT_EQ(Unpack("a.tgz"), 0);
  EXPECT_EQ(world_.ReadHostFile('C', "OUT/CONFIG/big.bin").size(), big.size());
}
