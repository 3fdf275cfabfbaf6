// Host links and odd files below a drive: no call goes through a link, only
// regular files are opened as files, and the writers that replace a file
// (the copy to a medium, the config4 beside it) or make a folder's files
// fail cleanly where a link is in their way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "archive/CnfBakup.h"
#include "archive/CpyFile.h"
#include "common/CnfFunc.h"
#include "common/Format.h"
#include "exports/Exports.h"
#include "flows/BackupVolumes.h"
#include "platform/Temporary.h"
#include "support/IdentityFiles.h"
#include "support/PlatformFiles.h"
#include "support/ScriptedOperator.h"
#include "support/TestWorld.h"

namespace fs = std::filesystem;

namespace {

struct LinkCase {
  const char* name;
  std::function<bool()> call;
  DWORD error = ERROR_ACCESS_DENIED;
};

// C:\L is a link to a folder outside the world, C:\F a link to a file there
// and C:\G one to a file that is gone.
class LinkWorld : public ::testing::Test {
 protected:
  LinkWorld() {
    outside_ = world_.MakeOutsideDir("outside");
    fs::create_directories(outside_ + "/sub");
    world_.MakeHostLink('C', "L", outside_);
    world_.MakeHostLink('C', "F", outside_ + "/kept");
    world_.MakeHostLink('C', "G", outside_ + "/gone");
    world_.WriteHostFile('C', "own", "own");
  }
  TestWorld world_;
  std::string outside_;
};
class HostLinks : public LinkWorld, public ::testing::WithParamInterface<LinkCase> {};

// A call that writes the file (nothing) with the disposition.
std::function<bool()> Write(const char* path, DWORD disposition) {
  return [=] { return PlatformWrite(path, "", disposition); };
}

TEST_P(HostLinks, TheCallFailsAndNothingOutsideChanges) {
  const auto before = TestWorld::Snapshot(outside_);
  plat::SetLastError(0);
  EXPECT_FALSE(GetParam().call());
  EXPECT_EQ(plat::GetLastError(), GetParam().error);
  EXPECT_EQ(TestWorld::Snapshot(outside_), before);
  for (const char* link : {"L", "F", "G"}) EXPECT_TRUE(world_.HostLinkExists('C', link)) << link;
  EXPECT_EQ(world_.ReadHostFile('C', "own"), "own");
}

INSTANTIATE_TEST_SUITE_P(
    Calls, HostLinks,
    ::testing::Values(
        LinkCase{"WriteThroughAFileLink", Write("C:\\F", CREATE_ALWAYS)},
        LinkCase{"ReadThroughAFileLink", [] { return PlatformRead("C:\\f") != "<missing>"; }},
        LinkCase{"WriteThroughTheHostPathOfALink",
                 [] {
                   std::string host;
                   return !plat::ResolveHostPath("C:\\F", &host) || PlatformWrite(host.c_str(), "");
                 }},
        LinkCase{"CreateAlwaysThroughADanglingLink", Write("C:\\G", CREATE_ALWAYS)},
        LinkCase{"OpenAlwaysThroughADanglingLink", Write("C:\\G", OPEN_ALWAYS)},
        LinkCase{"CreateNewThroughADanglingLink", Write("C:\\G", CREATE_NEW)},
        LinkCase{"CreateInALinkedFolder", Write("C:\\L\\new", CREATE_NEW)},
        LinkCase{"TemporaryInALinkedFolder",
                 [] {
                   std::string temporary;
                   HANDLE h = plat::CreateTemporaryBeside("C:\\L\\kept", &temporary);
                   if (h) plat::CloseHandle(h);
                   return h != nullptr;
                 }},
        LinkCase{"CreateInAFolderLinkedSinceItWasWalked",
                 [] {
                   // The folder is walked to and written into, then moved
                   // away, and a link to the outside takes its place.
                   std::string own, outside;
                   if (!plat::CreateDirectory("C:\\D") || !plat::CreateDirectory("C:\\D\\sub") ||
                       !PlatformWrite("C:\\D\\sub\\first", "", CREATE_NEW) ||
                       !plat::ResolveHostPath("C:\\D", &own) ||
                       !plat::ResolveHostPath("C:\\L", &outside))
                     return true;
                   fs::rename(own, own + "2");
                   fs::create_directory_symlink(fs::read_symlink(outside), own);
                   return PlatformWrite("C:\\D\\sub\\new", "", CREATE_NEW);
                 }},
        LinkCase{"SearchInALinkedFolder", [] { return !SearchNames("C:\\L\\*.*").empty(); },
                 ERROR_PATH_NOT_FOUND},
        LinkCase{"SearchForAFileInALinkedFolder",
                 [] { return !SearchNames("C:\\L\\kept").empty(); }, ERROR_PATH_NOT_FOUND},
        LinkCase{"SearchDeepBelowALinkedFolder", [] { return !SearchNames("C:\\l\\X\\*").empty(); },
                 ERROR_PATH_NOT_FOUND},
        LinkCase{"DeleteInALinkedFolder", [] { return plat::DeleteFile("C:\\L\\kept") != 0; }},
        LinkCase{
            "AttributesInALinkedFolder",
            [] { return plat::SetFileAttributes("C:\\L\\kept", FILE_ATTRIBUTE_READONLY) != 0; }},
        LinkCase{"FolderInALinkedFolder", [] { return plat::CreateDirectory("C:\\L\\d") != 0; }},
        LinkCase{"RemoveInALinkedFolder", [] { return plat::RemoveDirectory("C:\\L\\sub") != 0; }},
        LinkCase{"RenameIntoALinkedFolder",
                 [] { return plat::MoveFileEx("C:\\own", "C:\\L\\moved", true) != 0; }},
        LinkCase{"RenameOutOfALinkedFolder",
                 [] { return plat::MoveFileEx("C:\\L\\kept", "C:\\mine", true) != 0; }}),
    [](const ::testing::TestParamInfo<LinkCase>& info) { return info.param.name; });

// A link is a reparse point of no size, with attributes of its own: marking
// it read-only leaves what it points at writable (its kind, deletion and
// removal are the backups' and the archiver's tests through links).
TEST_F(LinkWorld, ALinkHasNoSizeAndAttributesOfItsOwn) {
  WIN32_FIND_DATA data;
  plat::ScopedFind find("C:\\F", &data);
  ASSERT_TRUE(find);
  EXPECT_EQ(plat::FileSizeOf(data), 0u);
  ASSERT_TRUE(plat::SetFileAttributes("C:\\F", FILE_ATTRIBUTE_READONLY));
  EXPECT_NE(fs::status(outside_ + "/kept").permissions() & fs::perms::owner_write, fs::perms::none);
}

// ---------------------------------------------------------------- file kinds

// Runs `body`; should it still run after the watchdog's time, `release` is
// called (from the watchdog) so that it can end, and the test fails.
void WithWatchdog(const std::function<void()>& body, const std::function<void()>& release) {
  std::promise<void> done;
  bool fired = false;
  std::thread dog([&, ended = done.get_future()] {
    if (ended.wait_for(std::chrono::seconds(10)) == std::future_status::ready) return;
    fired = true;
    release();
  });
  body();
  done.set_value();
  dog.join();
  EXPECT_FALSE(fired) << "the call waited on a file that is not a regular file";
}

// A FIFO or a link to a device named as a .gpfm fails the restore at once
// with the copy's failure text, and is left as it was.
TEST(OddFiles, AFifoOrADeviceLinkFailsTheRestoreAtOnce) {
  for (bool fifo : {true, false}) {
    TestWorld w;
    // Should a device ever be copied, the copy ends at a full drive, not a full host.
    w.MutableWorld().drive('C').totalBytes = 64u << 20;
    IdentityFiles{}.WriteTo(w, "CONFIG");
    const std::string host = w.HostOf('C', "OUT/x.gpfm");
    fs::create_directories(w.HostOf('C', "OUT"));
    if (fifo)
      ASSERT_EQ(::mkfifo(host.c_str(), 0644), 0);
    else
      w.MakeHostLink('C', "OUT/x.gpfm", "/dev/zero");
    w.TakeTrace();
    ScriptedOperator op;
    op.ExpectDialog(115).Type(1029, "C:\\OUT\\x.gpfm").Click(plat::IDOK);
    op.ExpectMessage(3681, plat::IDOK);
    WORD word = 0;
    int result = -1;
    WithWatchdog([&] { result = dsvCnf_RestoreConf2(0, &word); },
                 [&] {
                   // A reader blocked in its open sees the end of the file.
                   int fd = ::open(host.c_str(), O_WRONLY | O_NONBLOCK);
                   if (fd >= 0) ::close(fd);
                 });
    EXPECT_EQ(result, 0) << fifo;
    EXPECT_EQ(word, 0x4004) << fifo;
    EXPECT_TRUE(TestWorld::Contains(w.TakeTrace(), "ERR Copy File")) << fifo;
    EXPECT_FALSE(w.HostExists('C', "PLAXON/TMP/bkcnf.gpfm")) << fifo;
    struct stat st;
    ASSERT_EQ(::lstat(host.c_str(), &st), 0);
    EXPECT_TRUE(fifo ? S_ISFIFO(st.st_mode) : S_ISLNK(st.st_mode));
  }
}

// ---------------------------------------------------------------- writers

struct WriterCase {
  const char* name;
  char drive;
  const char* link;                       // below the drive root, pointing at the outside folder
  bool toFile;                            // at the outside file "kept" instead of the folder
  std::function<bool(TestWorld&)> write;  // true when the writer reported success
};

class Writers : public ::testing::TestWithParam<WriterCase> {};

// The writer fails, nothing outside the world changes and the link stays.
TEST_P(Writers, FailWhereALinkIsInTheirWay) {
  const WriterCase& c = GetParam();
  TestWorld w;
  IdentityFiles{}.WriteTo(w, "CONFIG");
  w.WriteHostFile('C', "PLAXON/TMP/svp_conf.tgz", "archive bytes");
  std::string outside = w.MakeOutsideDir("outside");
  fs::create_directories(outside + "/CONFIG/412345");
  fs::remove_all(w.HostOf(c.drive, c.link));
  w.MakeHostLink(c.drive, c.link, c.toFile ? outside + "/kept" : outside);
  const auto before = TestWorld::Snapshot(outside);
  EXPECT_FALSE(c.write(w));
  EXPECT_EQ(TestWorld::Snapshot(outside), before);
  EXPECT_TRUE(w.HostLinkExists(c.drive, c.link));
}

bool Copies(const char* destination) {
  DWORD error = 0;
  return CopyFileInChunks("C:\\PLAXON\\TMP\\svp_conf.tgz", destination, 0, &error) != 0 ||
         error != ERROR_ACCESS_DENIED;
}

INSTANTIATE_TEST_SUITE_P(
    Links, Writers,
    ::testing::Values(
        WriterCase{"ArchiveCopy", 'E', "PLAXON/CONFIG/412345/svp_conf.tgz", true,
                   [](TestWorld&) { return Copies("E:\\PLAXON\\CONFIG\\412345\\svp_conf.tgz"); }},
        WriterCase{"ArchiveCopyIntoALinkedMediumFolder", 'E', "PLAXON", false,
                   [](TestWorld&) { return Copies("E:\\PLAXON\\CONFIG\\412345\\svp_conf.tgz"); }},
        WriterCase{"Config4Write", 'E', "PLAXON/CONFIG/412345/config4", true,
                   [](TestWorld&) {
                     Config4Record record{};
                     return WriteConfig4Beside("E:\\PLAXON\\CONFIG\\412345\\svp_conf.tgz",
                                               &record) != 0;
                   }},
        WriterCase{"HddBackupIntoALinkedBackupFolder", 'C', "PLAXON/OTHERS/BACKUP", false,
                   [](TestWorld&) {
                     char path[MAX_PATH] = {};
                     WORD word = 0;
                     return Talver_HddBacukupConfig(0, path, 0, &word) != 0;
                   }}),
    [](const ::testing::TestParamInfo<WriterCase>& info) { return info.param.name; });

}  // namespace
