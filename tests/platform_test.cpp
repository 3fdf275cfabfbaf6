// The platform interface's promises, kept by both halves (built for the
// Windows half too, where the tests of what only the POSIX half has skip
// themselves): paths, searches, attributes, sharing, shared memory, the
// profile reader and temporaries; and the POSIX half's own name index and
// world file. Host links are in links_test.cpp.
#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <utime.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ForwardingPlatform.h"
#include "platform/Stream.h"
#include "platform/Temporary.h"
#include "platform/posix/World.h"
#include "support/PlatformFiles.h"
#include "support/TestWorld.h"

namespace fs = std::filesystem;

namespace {

TEST(PlatformPaths, SeparatorsAndDotDotResolveWithinTheDrive) {
  TestWorld w;
  w.WriteHostFile('C', "PLAXON/CONFIG/config4", "abc");
  EXPECT_EQ(PlatformRead("c:\\PLAXON\\\\CONFIG\\CONFIG4"), "abc");
  EXPECT_EQ(PlatformRead("C:/plaxon/config/config4"), "abc");
  // "\PLAXON\\DIFF\" is the DIFF folder directly below PLAXON.
  ASSERT_TRUE(PlatformWrite("C:\\PLAXON\\\\DIFF\\svp_conf.tgz", "x"));
  EXPECT_TRUE(w.HostExists('C', "PLAXON/DIFF/svp_conf.tgz"));
  // ".." never climbs above the drive root.
  w.WriteHostFile('C', "top.txt", "root file");
  EXPECT_EQ(PlatformRead("C:\\..\\..\\top.txt"), "root file");
  EXPECT_EQ(PlatformRead("C:\\PLAXON\\..\\..\\..\\top.txt"), "root file");
  std::string host, expected;
  ASSERT_TRUE(plat::ResolveHostPath("C:\\..\\..\\x", &host));
  ASSERT_TRUE(plat::ResolveHostPath("C:\\x", &expected));
  EXPECT_EQ(host, expected);
}

// A name in another case is found through the folder's name index, which
// follows the platform's own changes and notices those made from outside,
// also right after one of its own.
TEST(PlatformPaths, NamesInAnotherCaseFollowEveryChangeOfTheFolder) {
  SKIP_ON_WINDOWS("the POSIX half's name index");
  TestWorld w;
  w.WriteHostFile('C', "D/Alpha.dat", "a");
  const fs::path d = w.HostOf('C', "D");
  struct Step {
    const char* what;
    std::function<void()> change;
    const char* spelling;         // looked up after the change
    const char* found;            // the host name found, "" for none
    const char* bytes = nullptr;  // what reading the spelling gives, when checked
  };
  // A lookup that misses brings the index up to date.
  const auto miss = [] { plat::GetFileAttributes("C:\\D\\NONE"); };
  const Step steps[] = {
      {"index built", [] {}, "C:\\D\\ALPHA.DAT", "Alpha.dat"},
      {"created", [] { PlatformWrite("C:\\D\\beta.dat", "b"); }, "C:\\d\\BETA.DAT", "beta.dat"},
      {"renamed", [] { plat::MoveFileEx("C:\\D\\BETA.dat", "C:\\D\\Gamma.dat", false); },
       "C:\\D\\beta.DAT", ""},
      {"renamed to", [] {}, "C:\\D\\GAMMA.DAT", "Gamma.dat"},
      {"deleted", [] { plat::DeleteFile("C:\\D\\gamma.dat"); }, "C:\\D\\GAMMA.DAT", ""},
      {"folder made", [] { plat::CreateDirectory("C:\\D\\Sub"); }, "C:\\D\\SUB", "Sub"},
      {"folder removed", [] { plat::RemoveDirectory("C:\\D\\sub"); }, "C:\\D\\SUB", ""},
      {"made outside", [&] { std::ofstream(d / "Delta.dat") << "d"; }, "C:\\D\\DELTA.DAT",
       "Delta.dat"},
      {"renamed outside", [&] { fs::rename(d / "Delta.dat", d / "Eps.dat"); }, "C:\\D\\delta.dat",
       ""},
      {"removed outside", [&] { fs::remove(d / "Alpha.dat"); }, "C:\\D\\ALPHA.DAT", ""},
      {"outside just after own",
       [&] {
         PlatformWrite("C:\\D\\z1.dat", "1");
         std::ofstream(d / "Z2.dat") << "2";
       },
       "C:\\D\\z2.DAT", "Z2.dat"},
      // Of two spellings the one asked for, also when the index answers.
      {"two spellings",
       [&] {
         std::ofstream(d / "two.dat") << "lower";
         std::ofstream(d / "TWO.DAT") << "upper";
         miss();
       },
       "C:\\D\\TWO.DAT", "TWO.DAT", "upper"},
      {"the other spelling", [] {}, "C:\\D\\two.dat", "two.dat", "lower"},
      // A folder kept under another spelling than the host's is checked
      // under the host's: a link put at its place is refused, a folder of
      // the asked spelling taken.
      {"kept in another spelling",
       [&] {
         fs::create_directory(d / "Conf");
         PlatformWrite("C:\\D\\CONF\\a.dat", "a");
       },
       "C:\\D\\CONF\\A.DAT", "a.dat", "a"},
      {"kept folder now a link",
       [&] {
         fs::rename(d / "Conf", d / "Old");
         fs::create_directory_symlink(d / "Old", d / "Conf");
       },
       "C:\\D\\CONF\\A.DAT", "", "<missing>"},
      {"asked spelling made",
       [&] {
         fs::remove(d / "Conf");
         fs::create_directory(d / "CONF");
         std::ofstream(d / "CONF" / "a.dat") << "new";
       },
       "C:\\D\\CONF\\A.DAT", "a.dat", "new"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.change();
    EXPECT_EQ(SearchNames(s.spelling), s.found);
    EXPECT_EQ(plat::GetFileAttributes(s.spelling) != INVALID_FILE_ATTRIBUTES, *s.found != 0);
    if (s.bytes) {
      EXPECT_EQ(PlatformRead(s.spelling), s.bytes);
    }
  }
}

TEST(PlatformPaths, OverlongAndMissingPathsGiveTheirCodes) {
  TestWorld w;
  // An overlong path fails instead of being cut.
  std::string path = "C:\\" + std::string(300, 'a');
  EXPECT_EQ(plat::CreateFile(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_FILENAME_EXCED_RANGE);
  EXPECT_FALSE(plat::CreateDirectory(path.c_str()));
  EXPECT_EQ(plat::GetFileAttributes("Q:\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(plat::GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(plat::CreateFile("C:\\NOPE\\x", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(plat::CreateFile("C:\\x", GENERIC_READ, 0, OPEN_EXISTING, 0), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(plat::CreateDirectory("C:\\NEW"));
  EXPECT_FALSE(plat::CreateDirectory("C:\\new"));
  EXPECT_EQ(plat::GetLastError(), ERROR_ALREADY_EXISTS);
  WIN32_FIND_DATA data;
  EXPECT_EQ(plat::FindFirstFile("C:\\NEW\\*.none", &data), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(plat::FindFirstFile("C:\\NOPE\\*", &data), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_PATH_NOT_FOUND);
}

// The calls in an open folder keep the rules of the calls on paths: on the
// half itself, and composed by a half that keeps no folder open (the fault
// half, as every other test runs).
TEST(PlatformFolders, CallsInAnOpenFolderKeepThePathRules) {
  for (const bool bare : {true, false}) {
    SCOPED_TRACE(bare ? "the half itself" : "composed over it");
    TestWorld w;
    std::shared_ptr<plat::Platform> over;
    if (bare) {
      auto fault = std::dynamic_pointer_cast<plat::ForwardingPlatform>(plat::InstalledShared());
      ASSERT_NE(fault, nullptr);
      over = plat::Install(fault->InnerShared());
    }
    w.WriteHostFile('C', "F/Alpha.dat", "a");
    w.WriteHostFile('C', "F/Ro.dat", "r");
    w.MakeHostDir('C', "F/Sub");
    ASSERT_TRUE(plat::SetFileAttributes("C:\\F\\Ro.dat", FILE_ATTRIBUTE_READONLY));
    HANDLE f = plat::OpenFolder("C:\\f");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(plat::PathOfFolder(f), "C:\\f\\");
    const auto attributes = [f](const char* name, DWORD expected) {
      return [=] {
        const DWORD a = plat::GetFileAttributesIn(f, name);
        return a != INVALID_FILE_ATTRIBUTES && (a & expected) == expected;
      };
    };
    const auto create = [f](const char* name, DWORD disposition) {
      return [=] {
        HANDLE file = plat::CreateFileIn(f, name, GENERIC_WRITE, 0, disposition, 0);
        DWORD done = 0;
        const bool ok = file && plat::WriteFile(file, "n", 1, &done) && plat::CloseHandle(file);
        return ok;
      };
    };
    const auto move = [f](const char* from, const char* to, bool replace) {
      return [=] { return plat::MoveFileExIn(f, from, to, replace) != 0; };
    };
    const std::string overlong(260, 'x');
    struct Step {
      const char* what;
      std::function<bool()> call;
      DWORD error;  // 0: the call succeeds
    };
    const Step steps[] = {
        {"another case", attributes("ALPHA.DAT", FILE_ATTRIBUTE_ARCHIVE), 0},
        {"a folder", attributes("sub", FILE_ATTRIBUTE_DIRECTORY), 0},
        {"read-only", attributes("ro.dat", FILE_ATTRIBUTE_READONLY), 0},
        {"missing", attributes("none", 0), ERROR_FILE_NOT_FOUND},
        {"a path for a name", attributes("Sub\\x", 0), ERROR_INVALID_NAME},
        {"the folder above", create("..", CREATE_ALWAYS), ERROR_INVALID_NAME},
        {"new", create("New.dat", CREATE_NEW), 0},
        {"new in another case", create("NEW.DAT", CREATE_NEW), ERROR_FILE_EXISTS},
        {"a name too long", create(overlong.c_str(), CREATE_NEW), ERROR_FILENAME_EXCED_RANGE},
        {"onto a name taken", move("new.dat", "ALPHA.DAT", false), ERROR_ALREADY_EXISTS},
        {"over it", move("new.dat", "ALPHA.DAT", true), 0},
        {"a name gone", move("new.dat", "other.dat", true), ERROR_FILE_NOT_FOUND},
    };
    for (const Step& s : steps) {
      SCOPED_TRACE(s.what);
      plat::SetLastError(0);
      EXPECT_EQ(s.call(), s.error == 0);
      if (s.error) {
        EXPECT_EQ(plat::GetLastError(), s.error);
      }
    }
    // Renamed onto the host's spelling: one Alpha, with the new bytes.
    EXPECT_EQ(SearchNames("C:\\F\\*.dat"), "Alpha.dat Ro.dat");
    EXPECT_EQ(PlatformRead("C:\\F\\ALPHA.DAT"), "n");
    EXPECT_TRUE(plat::CloseHandle(f));
    EXPECT_EQ(plat::OpenFolder("C:\\F\\Alpha.dat"), nullptr);
    EXPECT_EQ(plat::GetLastError(), ERROR_DIRECTORY);
    EXPECT_EQ(plat::OpenFolder("C:\\NONE"), nullptr);
    EXPECT_EQ(plat::GetLastError(), ERROR_PATH_NOT_FOUND);
    if (over) plat::Install(over);
  }
}

// The default, which removes the empty folder first, over the POSIX half.
class ComposedReplace : public plat::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;
  bool ReplaceEmptyFolder(const char* from, const char* to) override {
    return Platform::ReplaceEmptyFolder(from, to);
  }
};

// A folder takes the place of an empty folder only: never of one that holds
// anything, a file or a link, which all stay as they were.
TEST(PlatformFolders, AFolderReplacesOnlyAnEmptyFolder) {
  for (const bool composed : {false, true}) {
    SCOPED_TRACE(composed ? "the default" : "the half itself");
    TestWorld w;
    auto fault = std::dynamic_pointer_cast<plat::ForwardingPlatform>(plat::InstalledShared());
    ASSERT_NE(fault, nullptr);
    std::shared_ptr<plat::Platform> over =
        composed ? plat::Install(std::make_shared<ComposedReplace>(fault->InnerShared()))
                 : plat::Install(fault->InnerShared());
    w.WriteHostFile('C', "R/New.~tv00000001/a", "new");
    w.MakeHostDir('C', "R/empty");
    w.WriteHostFile('C', "R/full/kept", "old");
    w.WriteHostFile('C', "R/file", "old");
    w.MakeHostDir('C', "outside");
    struct Case {
      const char* to;
      DWORD error;  // 0: replaced
    };
    std::vector<Case> cases = {
        {"C:\\R\\full", ERROR_DIR_NOT_EMPTY},
        {"C:\\R\\file", ERROR_DIRECTORY},
        {"C:\\R\\none", ERROR_FILE_NOT_FOUND},
    };
    std::string names = ". .. empty file full";
#if !defined(_WIN32)  // links are made on the host
    w.MakeHostLink('C', "R/link", w.HostOf('C', "outside"));
    cases.push_back({"C:\\R\\link", ERROR_DIRECTORY});
    names += " link";
#endif
    cases.push_back({"C:\\R\\EMPTY", 0});
    for (const Case& c : cases) {
      SCOPED_TRACE(c.to);
      plat::SetLastError(0);
      EXPECT_EQ(plat::ReplaceEmptyFolder("C:\\R\\New.~tv00000001", c.to) != 0, c.error == 0);
      if (c.error) {
        EXPECT_EQ(plat::GetLastError(), c.error);
      }
    }
    EXPECT_EQ(SearchNames("C:\\R\\*"), names);
    EXPECT_EQ(w.ReadHostFile('C', "R/empty/a"), "new");
    EXPECT_EQ(w.ReadHostFile('C', "R/full/kept"), "old");
    EXPECT_EQ(w.ReadHostFile('C', "R/file"), "old");
    EXPECT_TRUE(fs::is_empty(w.HostOf('C', "outside")));
    plat::Install(over);
  }
}

// The POSIX half holds the folder itself: what is done through it stays in
// the folder it opened, whatever comes to its path, and what its lookups
// may have missed meanwhile does not outlive it.
TEST(PlatformFolders, TheFolderOpenedIsTheOneWrittenInto) {
  SKIP_ON_WINDOWS("the POSIX half's open folders");
  TestWorld w;
  auto fault = std::dynamic_pointer_cast<plat::ForwardingPlatform>(plat::InstalledShared());
  ASSERT_NE(fault, nullptr);
  const auto over = plat::Install(fault->InnerShared());
  w.MakeHostDir('C', "F");
  w.MakeHostDir('C', "Real");
  const fs::path host = w.HostOf('C', "F"), moved = w.HostOf('C', "Moved");
  w.MakeHostLink('C', "Link", w.HostOf('C', "Real"));
  EXPECT_EQ(plat::OpenFolder("C:\\Link\\"), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE f = plat::OpenFolder("C:\\F\\");
  ASSERT_NE(f, nullptr);
  const auto make = [&f](const char* name) {
    HANDLE file = plat::CreateFileIn(f, name, GENERIC_WRITE, 0, CREATE_NEW, 0);
    return file && plat::CloseHandle(file);
  };
  // Made outside in another case between two names made here: found once
  // the folder is closed.
  ASSERT_TRUE(make("a.dat"));
  std::ofstream(host / "Beta.dat") << "b";
  ASSERT_TRUE(make("c.dat"));
  EXPECT_TRUE(plat::CloseHandle(f));
  EXPECT_NE(plat::GetFileAttributes("C:\\F\\BETA.DAT"), INVALID_FILE_ATTRIBUTES);
  // A folder moved away and a link put at its place: the folder opened is
  // written into, never the link's target.
  f = plat::OpenFolder("C:\\F\\");
  ASSERT_NE(f, nullptr);
  fs::rename(host, moved);
  fs::create_directory_symlink(w.HostOf('C', "Real"), host);
  EXPECT_TRUE(make("d.dat"));
  EXPECT_TRUE(fs::exists(moved / "d.dat"));
  EXPECT_FALSE(w.HostExists('C', "Real/d.dat"));
  w.MutableWorld().drive('C').writeProtected = true;
  EXPECT_FALSE(make("e.dat"));
  EXPECT_EQ(plat::GetLastError(), ERROR_WRITE_PROTECT);
  w.MutableWorld().drive('C').writeProtected = false;
  w.MutableWorld().drive('C').notReady = true;
  EXPECT_EQ(plat::GetFileAttributesIn(f, "a.dat"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(plat::GetLastError(), ERROR_NOT_READY);
  w.MutableWorld().drive('C').notReady = false;
  EXPECT_TRUE(plat::CloseHandle(f));
  plat::Install(over);
}

TEST(PlatformSearch, DotEntriesFirstThenNamesInCaseInsensitiveOrder) {
  TestWorld w;
  for (const char* n : {"b.dat", "A.DAT", "c", "Zeta.txt"})
    w.WriteHostFile('C', std::string("D/") + n, "1");
  w.MakeHostDir('C', "D/sub");
  // A host name with a backslash is no Windows name: a path made from it
  // would name "sub", so a search never shows it.
  w.MakeHostDir('C', "D/x\\..\\sub");
  EXPECT_EQ(SearchNames("C:\\D\\*.*"), ". .. A.DAT b.dat c sub Zeta.txt");
  EXPECT_EQ(SearchNames("C:\\d\\*"), SearchNames("C:\\D\\*.*"));
  EXPECT_EQ(SearchNames("C:\\D\\*.dat"), "A.DAT b.dat");
  EXPECT_EQ(SearchNames("C:\\D\\zeta.TXT"), "Zeta.txt");
  EXPECT_EQ(SearchNames("C:\\D\\none"), "");
  // A directory named with a trailing separator finds the directory itself.
  EXPECT_EQ(SearchNames("C:\\D\\sub\\"), "sub");
  // The root of a drive has no "." entries.
  const std::string root = SearchNames("C:\\*.*");
  ASSERT_FALSE(root.empty());
  EXPECT_NE(root[0], '.');
}

TEST(PlatformSearch, FindDataCarriesLargeSizesAndTheModificationTime) {
  SKIP_ON_WINDOWS("a sparse host file with a set time");
  TestWorld w;
  w.WriteHostFile('C', "big.bin", "");
  const std::string host = w.DriveDir('C') + "/big.bin";
  const std::uint64_t size = (5ull << 30) + 3;  // needs both halves of the size
  std::filesystem::resize_file(host, size);     // sparse on the host
  utimbuf times{1234567890, 1234567890};
  ASSERT_EQ(::utime(host.c_str(), &times), 0);

  WIN32_FIND_DATA data;
  HANDLE h = plat::FindFirstFile("C:\\big.bin", &data);
  ASSERT_NE(h, nullptr);
  plat::FindClose(h);
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, (1u << 30) + 3);
  EXPECT_EQ(plat::FileSizeOf(data), size);
  EXPECT_EQ(plat::UnixSecondsOf(data.ftLastWriteTime), 1234567890);
  std::uint64_t byName = 0;
  ASSERT_TRUE(plat::GetFileSizeByName("C:\\big.bin", &byName));
  EXPECT_EQ(byName, size);
}

TEST(PlatformAttributes, ReadOnlyBlocksDeleteAndOverwriteUntilCleared) {
  TestWorld w;
  ASSERT_TRUE(PlatformWrite("C:\\ro.txt", "keep"));
  ASSERT_TRUE(plat::SetFileAttributes("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(plat::GetFileAttributes("C:\\ro.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(plat::DeleteFile("C:\\ro.txt"));
  EXPECT_EQ(plat::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(PlatformWrite("C:\\ro.txt", "lost"));
  EXPECT_EQ(plat::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(PlatformRead("C:\\ro.txt"), "keep");
  ASSERT_TRUE(plat::SetFileAttributes("C:\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(plat::DeleteFile("C:\\ro.txt"));
}

TEST(PlatformAttributes, OpensThatDenyEachOtherFailWithASharingViolation) {
  TestWorld w;
  ASSERT_TRUE(PlatformWrite("C:\\shared.txt", "keep"));
  // A reader that shares reading only: a second reader is let in, a writer
  // (under any spelling of the path) is not, and nothing is truncated.
  HANDLE reader =
      plat::CreateFile("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(PlatformRead("C:\\SHARED.TXT"), "keep");
  EXPECT_FALSE(PlatformWrite("c:\\Shared.txt", "lost"));
  EXPECT_EQ(plat::GetLastError(), ERROR_SHARING_VIOLATION);
  // A stream opened for writing that denies nothing still may not write here.
  EXPECT_EQ(plat::fopen("C:\\shared.txt", "a"), nullptr);
  plat::CloseHandle(reader);
  // A writer that denies everything keeps readers out until it is closed.
  HANDLE writer = plat::CreateFile("C:\\shared.txt", GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(PlatformRead("C:\\shared.txt"), "<missing>");
  EXPECT_EQ(plat::GetLastError(), ERROR_SHARING_VIOLATION);
  plat::CloseHandle(writer);
  EXPECT_EQ(PlatformRead("C:\\shared.txt"), "keep");
  EXPECT_TRUE(PlatformWrite("C:\\shared.txt", "new"));
}

// Every name has a section of its own, also names that differ only in "/",
// "_" or the characters of an escape (a second create and the end of a
// section are SharedMemory.CreateOpenWriteReadAndClose's).
TEST(PlatformSharedMemory, NamesDifferingOnlyInSlashOrEscapeAreSeparateSections) {
  TestWorld w;
  const std::string base = "talver-test-names-" + std::to_string(::getpid()) + "-";
  const std::vector<std::string> names = {"a/b",  "a_b", "a%2Fb", "a%2fb", "a%b",   "a%25b", "a%%b",
                                          "a%_b", "/ab", "%2Fab", "ab/",   "ab%2F", "ab%"};
  std::vector<HANDLE> sections;
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    HANDLE section = plat::CreateFileMapping((base + names[i]).c_str(), 16);
    ASSERT_NE(section, nullptr);
    void* view = plat::MapViewOfFile(section);
    ASSERT_NE(view, nullptr);
    static_cast<unsigned char*>(view)[0] = static_cast<unsigned char>(i + 1);
    plat::UnmapViewOfFile(view);
    sections.push_back(section);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    HANDLE section = plat::OpenFileMapping((base + names[i]).c_str());
    ASSERT_NE(section, nullptr);
    void* view = plat::MapViewOfFile(section);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(view)[0], i + 1);
    plat::UnmapViewOfFile(view);
    plat::CloseHandle(section);
  }
  for (HANDLE section : sections) plat::CloseHandle(section);
}

// The reader's rules: section and key in any case, blanks trimmed, one pair
// of quotes removed, no inline comments, ";" lines skipped, the first match
// in the file wins; no file gives the default.
TEST(PlatformProfile, ValuesAreReadAsTheSystemsReaderReadsThem) {
  struct Case {
    const char* text;  // nullptr: no file
    const char* value;
  };
  const Case cases[] = {
      {nullptr, "dflt"},
      {"[svp_main]\r\ntype = TQ520\r\n", "TQ520"},
      {"[SVP_MAIN]\r\nType=\"TQ520\"\r\n", "TQ520"},
      {"[SVP_MAIN]\r\nType='TQ520'\r\n", "TQ520"},
      {"[SVP_MAIN]\r\nType = \" TQ520 \" \r\n", " TQ520 "},
      {"[SVP_MAIN]\r\nType=\"TQ520'\r\n", "\"TQ520'"},
      {"[SVP_MAIN]\r\nType=\"\r\n", "\""},
      {"[SVP_MAIN]\r\nType=\"\"\"TQ\"\"\r\n", "\"\"TQ\""},
      {"[SVP_MAIN]\r\nType=TQ520 ;note\r\n", "TQ520 ;note"},
      {"[SVP_MAIN]\r\nType=TQ520 # note\r\n", "TQ520 # note"},
      {"[SVP_MAIN]\r\n;Type=X\r\n  ; Type=Y\r\nType=TQ520\r\n", "TQ520"},
      {"[SVP_MAIN]\nType=TQ520\nType=OTHER\n[svp_main]\nTYPE=THIRD\n", "TQ520"},
      {"[OTHER]\r\nType=X\r\n[SVP_MAIN]\r\n\tType\t=\tTQ520\t\r\n", "TQ520"},
      {"[SVP_MAIN]\r\nType\r\n", ""},
      {"[SVP_MAIN]\r\nType=\r\n", ""},
      {"[SVP_MAIN]\r\nType=a=b\r\n", "a=b"},
      {"\xEF\xBB\xBF[SVP_MAIN]\r\nType=TQ520", "TQ520"},
      {"Type=X\r\n[SVP_MAIN]\r\nName=Y\r\n", "dflt"},
      {"[SVP_MAIN]\r\n  Type=TQ520\r\n    continued\r\n", "TQ520"},
  };
  TestWorld w;
  const char kIni[] = "C:\\PLAXON\\TMP\\SVP_MAIN.INI";
  char out[64] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(no file)");
    if (c.text) w.WriteHostFile('C', "PLAXON/TMP/SVP_MAIN.INI", c.text);
    DWORD n = plat::GetPrivateProfileString("SVP_MAIN", "Type", "dflt", out, sizeof out, kIni);
    EXPECT_STREQ(out, c.value);
    EXPECT_EQ(n, std::strlen(c.value));
  }
  // The buffer bounds the value; an empty key matches a name that is empty or blank.
  EXPECT_EQ(plat::GetPrivateProfileString("SVP_MAIN", "Type", "", out, 3, kIni), 2u);
  EXPECT_STREQ(out, "TQ");
  w.WriteHostFile('C', "PLAXON/TMP/SVP_MAIN.INI", "[]\r\n  \r\n = empty\r\n");
  plat::GetPrivateProfileString("", "", "dflt", out, sizeof out, kIni);
  EXPECT_STREQ(out, "empty");
}

// Numbers within their range load in one spelling ("010" is ten, not an
// octal eight), flags as 1 or 0; a clock offset of 200 years still loads.
TEST(PlatformWorld, NumbersLoadInTheirRangeAndOneSpelling) {
  SKIP_ON_WINDOWS("the POSIX half's world file");
  TestWorld w;
  std::string ini = w.Dir() + "/q.ini", error;
  std::ofstream(ini) << "[world]\nclock_offset_seconds = -6311433600\ndesktop_width = 800\n"
                        "[services]\nwait_ms = 010\ndir_operation_fails = yes\n";
  auto world = plat::World::Load(ini, &error);
  ASSERT_TRUE(world) << error;
  EXPECT_EQ(world->clockOffsetSeconds, -6311433600LL);
  EXPECT_EQ(world->desktopWidth, 800);
  EXPECT_EQ(world->SettingInt("services.wait_ms", 0), 10);
  EXPECT_EQ(world->SettingInt("services.dir_operation_fails", 0), 1);
}

// The removal of one name's temporaries leaves those of other names, also
// of a longer name it begins (their form and their removal from a folder are
// the archiver's and the flows').
TEST(PlatformTemporaries, RemovalByNameLeavesOtherNamesTemporaries) {
  TestWorld w;
  for (const char* name :
       {"a.tgz.~tv0000ABCD", "a.tgz.~tv1234567F", "b.dat.~tvDEADBEEF", "a.tgz.old.~tv00000000"})
    w.WriteHostFile('C', std::string("OUT/") + name, "x");
  EXPECT_EQ(plat::RemoveTemporariesOf("C:\\OUT\\A.TGZ"), 2);
  EXPECT_TRUE(w.HostExists('C', "OUT/b.dat.~tvDEADBEEF"));
  EXPECT_TRUE(w.HostExists('C', "OUT/a.tgz.old.~tv00000000"));
}

}  // namespace
