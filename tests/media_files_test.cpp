// Media files: free space of a target medium with floppy recognition, whole
// files, and the pieces of a split archive.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "archive/FDCopy3.h"
#include "archive/FdCopy.h"
#include "common/CnfFunc.h"
#include "platform/ForwardingPlatform.h"
#include "platform/Platform.h"
#include "platform/Temporary.h"
#include "support/FlowFixtures.h"
#include "support/TestWorld.h"

namespace {

using fixtures::Incompressible;

// Writes only half of what it is asked to and still reports success, as a
// medium that takes fewer bytes than it was given.
class ShortWritePlatform : public plat::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override {
    return Inner().WriteFile(file, buffer, count / 2, written);
  }
};

class MediaFiles : public ::testing::Test {
 protected:
  BackupTarget Target(const char* root) {
    BackupTarget t{};
    std::snprintf(t.drivePath, sizeof t.drivePath, "%s", root);
    return t;
  }
  TestWorld world_;
};

}  // namespace

// An append of a further volume that fails or is cut short never leaves more
// (or less) than whole volumes under the archive's name: it cuts the archive
// back to what it was.
TEST_F(MediaFiles, AShortOrFailedAppendLeavesTheArchiveAsItWas) {
  const std::string joined = Incompressible(3000, 1), volume = Incompressible(2000, 2);
  struct Case {
    const char* what;
    bool pieceThere, shortWrites;
    const char* leftover;  // a temporary a killed append left, or ""
    int result;
  };
  const Case cases[] = {
      {"appended", true, false, "PLAXON/TMP/svp_conf.tgz.~tv0000ABCD", 1},
      {"no volume", false, false, "", 0},
      {"short write", true, true, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    world_.WriteHostFile('C', "PLAXON/TMP/svp_conf.tgz", joined);
    if (*c.leftover) world_.WriteHostFile('C', c.leftover, "left by a killed append");
    if (c.pieceThere) world_.WriteHostFile('E', "svp_conf.tgz", volume);
    if (!c.pieceThere) std::remove(world_.HostOf('E', "svp_conf.tgz").c_str());
    WORD word = 0;
    std::shared_ptr<plat::Platform> previous;
    if (c.shortWrites)
      previous = plat::Install(std::make_shared<ShortWritePlatform>(plat::InstalledShared()));
    EXPECT_EQ(Talver_AppendToArchive("C:\\PLAXON\\TMP\\svp_conf.tgz", "E:\\svp_conf.tgz", &word),
              c.result);
    if (previous) plat::Install(previous);
    EXPECT_EQ(word, c.result ? 0 : 0x2000);
    EXPECT_TRUE(world_.ReadHostFile('C', "PLAXON/TMP/svp_conf.tgz") ==
                (c.result ? joined + volume : joined));
    EXPECT_EQ(plat::RemoveTemporariesIn("C:\\PLAXON\\TMP\\"), 0);
  }
}

// The free space of a target medium, the archive of this SVP already there
// counted as free, and the floppy recognised by its size; a drive not ready
// or missing fails with its word and code.
TEST_F(MediaFiles, FreeSpaceOfTargetMedia) {
  fixtures::SetSerial(world_, "412345");
  world_.MutableWorld().drive('E').totalBytes = 10000000;
  world_.WriteHostFile('E', "PLAXON/CONFIG/412345/svp_conf.tgz", Incompressible(300000, 3));
  world_.WriteHostFile('E', "other.dat", Incompressible(1000, 4));
  // On A another SVP's archive, not counted as free.
  world_.WriteHostFile('A', "PLAXON/CONFIG/400123/svp_conf.tgz", Incompressible(2000, 5));
  struct Case {
    const char* root;
    bool notReady;
    BYTE floppyBefore;
    DWORD freeBytes;
    BYTE floppyAfter;
    WORD word;
    const char* code;  // nullptr: a success
  };
  const Case cases[] = {
      {"A:\\", false, 0, 1457664 - 2000, 1, 0, nullptr},
      {"E:\\", false, 0, 10000000 - 1000, 0, 0, nullptr},
      {"E:\\", false, 1, 10000000 - 1000, 1, 0, nullptr},  // never reset here
      {"E:\\", true, 0, 0, 0, 0x2001, "ErrCode=0x15"},     // not ready, 21
      {"Q:\\", false, 0, 0, 0, 0x2012, "ErrCode=0x3"},     // no such drive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.root) + (c.notReady ? " not ready" : ""));
    world_.MutableWorld().drive('E').notReady = c.notReady;
    world_.TakeTrace();
    BackupTarget t = Target(c.root);
    t.isFloppy = c.floppyBefore;
    WORD word = 0;
    EXPECT_EQ(Talver_GetMediaFreeSpace(&t, &word) != 0, c.code == nullptr);
    EXPECT_EQ(word, c.word);
    if (c.code) {
      auto trace = world_.TakeTrace();
      EXPECT_TRUE(TestWorld::TracedAt(trace, "FdCopy.cpp"));
      EXPECT_TRUE(TestWorld::Contains(trace, c.code));
      continue;
    }
    EXPECT_EQ(t.freeBytes, c.freeBytes);
    EXPECT_EQ(t.isFloppy, c.floppyAfter);
  }
}

TEST_F(MediaFiles, FreeSpaceOfLargeMediaIsHeldAtTheLargestCount) {
  const std::uint64_t gib = 1ull << 30;
  world_.MutableWorld().drive('E').totalBytes = 6 * gib;
  world_.MutableWorld().drive('C').totalBytes = 4 * gib + kFloppyTotalBytes;
  for (const char* root : {"E:\\", "C:\\"}) {
    SCOPED_TRACE(root);
    BackupTarget t = Target(root);
    WORD word = 0;
    ASSERT_NE(Talver_GetMediaFreeSpace(&t, &word), 0);
    EXPECT_EQ(t.freeBytes, 0xFFFFFFFFu);
    EXPECT_EQ(t.isFloppy, 0);
  }
}
