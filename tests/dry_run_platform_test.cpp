// The trial platform: what a run writes reads back from the overlay, the real
// file stays as it was, and the list names each change against the real tree.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/Platform.h"
#include "platform/Temporary.h"
#include "platform/posix/DryRunPlatform.h"
#include "support/PlatformFiles.h"
#include "support/TestWorld.h"

namespace {

const char kA[] = "C:\\PLAXON\\CONFIG\\a.txt";

struct Case {
  const char* name;
  std::function<void()> run;  // what the run does, with its own checks of the view
  const char* list;           // the changes, one a line
};

const Case kCases[] = {
    {"WrittenBytesReadBack",
     [] {
       ASSERT_TRUE(PlatformWrite(kA, "new"));
       EXPECT_EQ(PlatformRead(kA), "new");
     },
     "replace C:\\PLAXON\\CONFIG\\a.txt (3 bytes, was 4)\n"},
    {"CommittedTemporaryIsAnAddAndNoTemporaryShows",
     [] {
       std::string temporary;
       HANDLE h = plat::CreateTemporaryBeside("C:\\PLAXON\\CONFIG\\b.txt", &temporary);
       ASSERT_TRUE(h);
       DWORD done = 0;
       plat::WriteFile(h, "b", 1, &done);
       ASSERT_TRUE(plat::CommitTemporary(h, temporary, "C:\\PLAXON\\CONFIG\\b.txt"));
       EXPECT_EQ(SearchNames("C:\\PLAXON\\CONFIG\\*"), ". .. a.txt b.txt");
     },
     "add C:\\PLAXON\\CONFIG\\b.txt (1 bytes)\n"},
    {"DeletedFileIsGoneFromOpensAndSearches",
     [] {
       ASSERT_TRUE(plat::DeleteFile(kA));
       EXPECT_EQ(PlatformRead(kA), "<missing>");
       EXPECT_EQ(plat::GetFileAttributes(kA), INVALID_FILE_ATTRIBUTES);
       EXPECT_EQ(SearchNames("C:\\PLAXON\\CONFIG\\*"), ". ..");
       EXPECT_FALSE(plat::DeleteFile(kA));
     },
     "delete C:\\PLAXON\\CONFIG\\a.txt (4 bytes)\n"},
    {"RenamedRealFileKeepsItsBytes",
     [] {
       ASSERT_TRUE(plat::MoveFileEx(kA, "C:\\PLAXON\\CONFIG\\c.txt", false));
       EXPECT_EQ(PlatformRead("C:\\PLAXON\\CONFIG\\c.txt"), "real");
       EXPECT_EQ(PlatformRead(kA), "<missing>");
     },
     "delete C:\\PLAXON\\CONFIG\\a.txt (4 bytes)\nadd C:\\PLAXON\\CONFIG\\c.txt (4 bytes)\n"},
    {"FileInAFolderOfTheOverlay",
     [] {
       EXPECT_FALSE(PlatformWrite("C:\\PLAXON\\NEW\\x", "x"));
       EXPECT_EQ(plat::GetLastError(), ERROR_PATH_NOT_FOUND);
       ASSERT_TRUE(plat::CreateDirectory("C:\\PLAXON\\NEW"));
       ASSERT_TRUE(PlatformWrite("C:\\PLAXON\\NEW\\x", "x", CREATE_NEW));
       EXPECT_FALSE(PlatformWrite("C:\\PLAXON\\NEW\\x", "y", CREATE_NEW));
       EXPECT_EQ(SearchNames("C:\\PLAXON\\NEW\\*.*"), ". .. x");
       EXPECT_FALSE(plat::RemoveDirectory("C:\\PLAXON\\NEW"));
     },
     "add-folder C:\\PLAXON\\NEW\\\nadd C:\\PLAXON\\NEW\\x (1 bytes)\n"},
    {"LockOfAnOpenForWritingHoldsTheRealFile",
     [] {
       HANDLE dry =
           plat::CreateFile(kA, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, 0);
       ASSERT_TRUE(dry);
       ASSERT_TRUE(plat::TryLockFile(dry));
       auto& real = plat::CurrentDryRun()->Inner();
       HANDLE other = real.CreateFile(kA, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
       ASSERT_TRUE(other);
       EXPECT_FALSE(real.TryLockFile(other));
       plat::CloseHandle(other);
       plat::CloseHandle(dry);
     },
     ""},
};

class DryRun : public ::testing::TestWithParam<Case> {};

TEST_P(DryRun, TheRealTreeStaysAndTheListNamesTheChange) {
  TestWorld world;
  world.WriteHostFile('C', "PLAXON/CONFIG/a.txt", "real");
  std::string why;
  auto dry = plat::DryRunPlatform::Make(plat::InstalledShared(), &why);
  ASSERT_TRUE(dry) << why;
  auto previous = plat::Install(dry);
  GetParam().run();
  std::string list;
  for (const plat::DryRunChange& c : dry->Changes()) list += plat::DryRunLine(c) + "\n";
  EXPECT_EQ(list, GetParam().list);
  plat::Install(previous);
  EXPECT_EQ(world.ReadHostFile('C', "PLAXON/CONFIG/a.txt"), "real");
  EXPECT_EQ(SearchNames("C:\\PLAXON\\CONFIG\\*"), ". .. a.txt");
  EXPECT_FALSE(world.HostExists('C', "PLAXON/NEW"));
}

INSTANTIATE_TEST_SUITE_P(Overlay, DryRun, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
