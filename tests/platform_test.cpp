// The platform interface's promises, kept by both halves (built for the
// Windows half too, where the tests of what only the POSIX half has skip
// themselves): paths, files, searches, attributes, renames, text mode, shared
// memory, the profile reader and temporaries; and the POSIX half's own host
// links, name index, capacity and world file.
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
#include <string>
#include <vector>

#include "platform/Stream.h"
#include "platform/Temporary.h"
#include "platform/posix/World.h"
#include "support/TestWorld.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Search(const char* pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATA data;
  HANDLE h = plat::FindFirstFile(pattern, &data);
  if (!h) return names;
  do names.push_back(data.cFileName);
  while (plat::FindNextFile(h, &data));
  plat::FindClose(h);
  return names;
}

std::string ReadAll(const char* path) {
  HANDLE f = plat::CreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!f) return "<missing>";
  std::string s;
  char buffer[256];
  DWORD got = 0;
  while (plat::ReadFile(f, buffer, sizeof buffer, &got) && got > 0) s.append(buffer, got);
  plat::CloseHandle(f);
  return s;
}

bool WriteAll(const char* path, const std::string& bytes) {
  HANDLE f = plat::CreateFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
  if (!f) return false;
  DWORD put = 0;
  bool ok = plat::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put);
  plat::CloseHandle(f);
  return ok && put == bytes.size();
}

TEST(PlatformPaths, SeparatorsAndDotDotResolveWithinTheDrive) {
  TestWorld w;
  w.WriteHostFile('C', "PLAXON/CONFIG/config4", "abc");
  EXPECT_EQ(ReadAll("c:\\PLAXON\\\\CONFIG\\CONFIG4"), "abc");
  EXPECT_EQ(ReadAll("C:/plaxon/config/config4"), "abc");
  // "\PLAXON\\DIFF\" is the DIFF folder directly below PLAXON.
  ASSERT_TRUE(WriteAll("C:\\PLAXON\\\\DIFF\\svp_conf.tgz", "x"));
  EXPECT_TRUE(w.HostExists('C', "PLAXON/DIFF/svp_conf.tgz"));
  // ".." never climbs above the drive root.
  w.WriteHostFile('C', "top.txt", "root file");
  EXPECT_EQ(ReadAll("C:\\..\\..\\top.txt"), "root file");
  EXPECT_EQ(ReadAll("C:\\PLAXON\\..\\..\\..\\top.txt"), "root file");
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
    const char* spelling;  // looked up after the change
    const char* found;     // the host name found, "" for none
  };
  const Step steps[] = {
      {"index built", [] {}, "C:\\D\\ALPHA.DAT", "Alpha.dat"},
      {"created", [] { WriteAll("C:\\D\\beta.dat", "b"); }, "C:\\d\\BETA.DAT", "beta.dat"},
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
         WriteAll("C:\\D\\z1.dat", "1");
         std::ofstream(d / "Z2.dat") << "2";
       },
       "C:\\D\\z2.DAT", "Z2.dat"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.change();
    const std::vector<std::string> found = Search(s.spelling);
    EXPECT_EQ(found, *s.found ? std::vector<std::string>{s.found} : std::vector<std::string>{});
    EXPECT_EQ(plat::GetFileAttributes(s.spelling) != INVALID_FILE_ATTRIBUTES, *s.found != 0);
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

TEST(PlatformFiles, SeeksFromTheEndAndATemporaryGoesOnClose) {
  TestWorld w;
  HANDLE h = plat::CreateFile("C:\\f.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, 0);
  ASSERT_TRUE(h);
  DWORD n = 0;
  ASSERT_TRUE(plat::WriteFile(h, "0123456789", 10, &n));
  std::uint64_t size = 0, at = 0;
  ASSERT_TRUE(plat::GetFileSizeEx(h, &size));
  EXPECT_EQ(size, 10u);
  ASSERT_TRUE(plat::SetFilePointerEx(h, -4, FILE_END, &at));
  EXPECT_EQ(at, 6u);
  char back[8] = {};
  ASSERT_TRUE(plat::ReadFile(h, back, sizeof back, &n));
  EXPECT_EQ(std::string(back, n), "6789");
  EXPECT_TRUE(plat::FlushFileBuffers(h));
  EXPECT_TRUE(plat::CloseHandle(h));
  EXPECT_EQ(plat::CreateFile("C:\\F.BIN", GENERIC_READ, 0, CREATE_NEW, 0), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_EXISTS);
  h = plat::CreateFile("C:\\t.bin", GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE);
  ASSERT_TRUE(h);
  plat::CloseHandle(h);
  EXPECT_FALSE(w.HostExists('C', "t.bin"));
}

TEST(PlatformSearch, DotEntriesFirstThenNamesInCaseInsensitiveOrder) {
  TestWorld w;
  for (const char* n : {"b.dat", "A.DAT", "c", "Zeta.txt"})
    w.WriteHostFile('C', std::string("D/") + n, "1");
  w.MakeHostDir('C', "D/sub");
  // A host name with a backslash is no Windows name: a path made from it
  // would name "sub", so a search never shows it.
  w.MakeHostDir('C', "D/x\\..\\sub");
  EXPECT_EQ(Search("C:\\D\\*.*"),
            (std::vector<std::string>{".", "..", "A.DAT", "b.dat", "c", "sub", "Zeta.txt"}));
  EXPECT_EQ(Search("C:\\d\\*"), Search("C:\\D\\*.*"));
  EXPECT_EQ(Search("C:\\D\\*.dat"), (std::vector<std::string>{"A.DAT", "b.dat"}));
  EXPECT_EQ(Search("C:\\D\\zeta.TXT"), (std::vector<std::string>{"Zeta.txt"}));
  EXPECT_TRUE(Search("C:\\D\\none").empty());
  // A directory named with a trailing separator finds the directory itself.
  EXPECT_EQ(Search("C:\\D\\sub\\"), (std::vector<std::string>{"sub"}));
  // The root of a drive has no "." entries.
  auto root = Search("C:\\*.*");
  ASSERT_FALSE(root.empty());
  EXPECT_NE(root[0], ".");
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
  ASSERT_TRUE(WriteAll("C:\\ro.txt", "keep"));
  ASSERT_TRUE(plat::SetFileAttributes("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(plat::GetFileAttributes("C:\\ro.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(plat::DeleteFile("C:\\ro.txt"));
  EXPECT_EQ(plat::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(WriteAll("C:\\ro.txt", "lost"));
  EXPECT_EQ(plat::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadAll("C:\\ro.txt"), "keep");
  ASSERT_TRUE(plat::SetFileAttributes("C:\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(plat::DeleteFile("C:\\ro.txt"));
}

TEST(PlatformAttributes, RenamesReplaceOnlyWhenAskedAndAFullFolderStays) {
  TestWorld w;
  ASSERT_TRUE(WriteAll("C:\\a.txt", "first"));
  ASSERT_TRUE(WriteAll("C:\\b.txt", "second"));
  EXPECT_FALSE(plat::MoveFileEx("C:\\a.txt", "C:\\b.txt", false));
  EXPECT_EQ(plat::GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(plat::MoveFileEx("C:\\a.txt", "C:\\B.TXT", true));
  EXPECT_EQ(ReadAll("C:\\b.txt"), "first");
  EXPECT_FALSE(w.HostExists('C', "a.txt"));
  EXPECT_TRUE(plat::SameFile("C:\\B.TXT", "C:\\PLAXON\\..\\b.txt"));
  EXPECT_FALSE(plat::RemoveDirectory("C:\\PLAXON"));
  EXPECT_EQ(plat::GetLastError(), ERROR_DIR_NOT_EMPTY);
}

TEST(PlatformAttributes, OpensThatDenyEachOtherFailWithASharingViolation) {
  TestWorld w;
  ASSERT_TRUE(WriteAll("C:\\shared.txt", "keep"));
  // A reader that shares reading only: a second reader is let in, a writer
  // (under any spelling of the path) is not, and nothing is truncated.
  HANDLE reader =
      plat::CreateFile("C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ReadAll("C:\\SHARED.TXT"), "keep");
  EXPECT_FALSE(WriteAll("c:\\Shared.txt", "lost"));
  EXPECT_EQ(plat::GetLastError(), ERROR_SHARING_VIOLATION);
  // A stream opened for writing that denies nothing still may not write here.
  EXPECT_EQ(plat::fopen("C:\\shared.txt", "a"), nullptr);
  plat::CloseHandle(reader);
  // A writer that denies everything keeps readers out until it is closed.
  HANDLE writer = plat::CreateFile("C:\\shared.txt", GENERIC_WRITE, 0, OPEN_EXISTING, 0);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(ReadAll("C:\\shared.txt"), "<missing>");
  EXPECT_EQ(plat::GetLastError(), ERROR_SHARING_VIOLATION);
  plat::CloseHandle(writer);
  EXPECT_EQ(ReadAll("C:\\shared.txt"), "keep");
  EXPECT_TRUE(WriteAll("C:\\shared.txt", "new"));
}

// Host links inside a drive: each is a reparse point of its own, a search
// never descends into it and deleting it leaves what it points at.
TEST(PlatformLinks, ALinkIsAReparsePointThatIsNeverFollowed) {
  SKIP_ON_WINDOWS("host links");
  TestWorld w;
  std::string outside = w.MakeOutsideDir("outside");
  w.MakeHostLink('C', "D/folder", outside);
  w.MakeHostLink('C', "D/file", outside + "/kept");
  w.MakeHostLink('C', "D/dangling", outside + "/gone");
  struct Case {
    const char* path;
    DWORD attributes;
  };
  const Case cases[] = {
      {"C:\\D\\folder", FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
      {"C:\\D\\FILE", FILE_ATTRIBUTE_REPARSE_POINT},
      {"C:\\D\\dangling", FILE_ATTRIBUTE_REPARSE_POINT},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plat::GetFileAttributes(c.path), c.attributes) << c.path;
    WIN32_FIND_DATA data;
    HANDLE h = plat::FindFirstFile(c.path, &data);
    ASSERT_NE(h, nullptr) << c.path;
    plat::FindClose(h);
    EXPECT_EQ(data.dwFileAttributes, c.attributes) << c.path;
    EXPECT_EQ(plat::FileSizeOf(data), 0u) << c.path;
  }
  EXPECT_EQ(Search("C:\\D\\*.*"),
            (std::vector<std::string>{".", "..", "dangling", "file", "folder"}));
  // No search below a link, however deep.
  for (const char* pattern : {"C:\\D\\folder\\*.*", "C:\\D\\folder\\kept", "C:\\d\\FOLDER\\x\\*"}) {
    EXPECT_TRUE(Search(pattern).empty()) << pattern;
    EXPECT_EQ(plat::GetLastError(), ERROR_PATH_NOT_FOUND) << pattern;
  }
  // Nothing is created through a link whose target is gone.
  for (DWORD disposition : {CREATE_ALWAYS, OPEN_ALWAYS, CREATE_NEW}) {
    EXPECT_EQ(plat::CreateFile("C:\\D\\dangling", GENERIC_WRITE, 0, disposition, 0), nullptr);
    EXPECT_FALSE(std::filesystem::exists(outside + "/gone")) << disposition;
  }
  // Attributes and deletion reach the link only.
  ASSERT_TRUE(plat::SetFileAttributes("C:\\D\\file", FILE_ATTRIBUTE_READONLY));
  EXPECT_NE(std::filesystem::status(outside + "/kept").permissions() &
                std::filesystem::perms::owner_write,
            std::filesystem::perms::none);
  EXPECT_TRUE(plat::DeleteFile("C:\\D\\file"));
  EXPECT_TRUE(plat::DeleteFile("C:\\D\\dangling"));
  EXPECT_TRUE(plat::RemoveDirectory("C:\\D\\folder"));
  EXPECT_EQ(Search("C:\\D\\*.*"), (std::vector<std::string>{".", ".."}));
  EXPECT_EQ(w.ReadHostFile('C', "../../outside/kept"), "outside");
}

TEST(PlatformStreams, TextModeWritesCrLfAndReadsItBackAsLf) {
  TestWorld w;
  plat::Stream* s = plat::fopen("C:\\t.txt", "w");
  ASSERT_NE(s, nullptr);
  plat::fputs("CONFIG/a\nCONFIG/b\n", s);
  EXPECT_EQ(plat::fclose(s), 0);
  EXPECT_EQ(w.ReadHostFile('C', "t.txt"), "CONFIG/a\r\nCONFIG/b\r\n");
  s = plat::fopen("C:\\t.txt", "r");
  char line[32];
  ASSERT_NE(plat::fgets(line, sizeof line, s), nullptr);
  EXPECT_STREQ(line, "CONFIG/a\n");
  ASSERT_NE(plat::fgets(line, sizeof line, s), nullptr);
  EXPECT_STREQ(line, "CONFIG/b\n");
  EXPECT_EQ(plat::fgets(line, sizeof line, s), nullptr);
  plat::fclose(s);
  // A lone CR stays, and binary mode keeps every byte.
  w.WriteHostFile('C', "cr.txt", "a\rb\r\n");
  s = plat::fopen("C:\\cr.txt", "rb");
  char raw[8] = {};
  EXPECT_EQ(plat::fread(raw, 1, sizeof raw, s), 5u);
  plat::fclose(s);
  EXPECT_EQ(std::string(raw, 5), "a\rb\r\n");
  s = plat::fopen("C:\\cr.txt", "r");
  EXPECT_EQ(plat::fread(raw, 1, sizeof raw, s), 4u);
  plat::fclose(s);
  EXPECT_EQ(std::string(raw, 4), "a\rb\n");
}

TEST(PlatformDrives, CapacityNotReadyAndWriteProtection) {
  SKIP_ON_WINDOWS("the POSIX half's drive conditions");
  TestWorld w;
  std::uint64_t freeBytes = 0, total = 0;
  ASSERT_TRUE(plat::GetDiskFreeSpaceEx("A:\\", &freeBytes, &total, nullptr));
  EXPECT_EQ(total, 1457664u);
  EXPECT_EQ(freeBytes, 1457664u);
  ASSERT_TRUE(WriteAll("A:\\big", std::string(1000000, 'x')));
  ASSERT_TRUE(plat::GetDiskFreeSpaceEx("A:\\", &freeBytes, &total, nullptr));
  EXPECT_EQ(freeBytes, 457664u);
  // A write that would pass the total fails whole with the disk-full code.
  EXPECT_FALSE(WriteAll("A:\\more", std::string(500000, 'y')));
  EXPECT_EQ(plat::GetLastError(), ERROR_DISK_FULL);

  w.MutableWorld().drive('A').notReady = true;
  EXPECT_FALSE(plat::GetDiskFreeSpaceEx("A:\\", &freeBytes, &total, nullptr));
  EXPECT_EQ(plat::GetLastError(), ERROR_NOT_READY);
  EXPECT_EQ(plat::GetFileAttributes("A:\\big"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(plat::GetLastError(), ERROR_NOT_READY);
  w.MutableWorld().drive('A').notReady = false;

  w.MutableWorld().drive('E').writeProtected = true;
  EXPECT_EQ(plat::CreateFile("E:\\x", GENERIC_WRITE, 0, CREATE_ALWAYS, 0), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_WRITE_PROTECT);
  EXPECT_FALSE(plat::CreateDirectory("E:\\DIR"));
  EXPECT_EQ(plat::GetLastError(), ERROR_WRITE_PROTECT);
  EXPECT_EQ(plat::GetDriveType("A:\\"), DRIVE_REMOVABLE);
  EXPECT_EQ(plat::GetDriveType("C:\\"), DRIVE_FIXED);
  EXPECT_EQ(plat::GetDriveType("Q:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(plat::GetLogicalDrives(), (1u << 0) | (1u << 2) | (1u << 4));
}

// Every name has a section of its own, also names that differ only in "/",
// "_" or the characters of an escape.
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
    EXPECT_EQ(plat::GetLastError(), ERROR_SUCCESS);
    void* view = plat::MapViewOfFile(section);
    ASSERT_NE(view, nullptr);
    static_cast<unsigned char*>(view)[0] = static_cast<unsigned char>(i + 1);
    plat::UnmapViewOfFile(view);
    sections.push_back(section);
  }
  HANDLE again = plat::CreateFileMapping((base + names[0]).c_str(), 16);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_ALREADY_EXISTS);
  plat::CloseHandle(again);
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
  EXPECT_EQ(plat::OpenFileMapping((base + names[0]).c_str()), nullptr);
  EXPECT_EQ(plat::GetLastError(), ERROR_FILE_NOT_FOUND);
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

TEST(PlatformWorld, QuotedValuesKeepTheirBlanksAndNumbersTheirRange) {
  SKIP_ON_WINDOWS("the POSIX half's world file");
  TestWorld w;
  std::string ini = w.Dir() + "/q.ini", error;
  auto load = [&](const char* text) {
    std::FILE* f = std::fopen(ini.c_str(), "w");
    std::fputs(text, f);
    std::fclose(f);
    return plat::World::Load(ini, &error);
  };
  auto world = load(
      "[world]\nroot = C:\n[drive.C]\npath = drives/c\n[services]\n"
      "caption_suffix = \" - SVP\"\n");
  ASSERT_TRUE(world) << error;
  EXPECT_EQ(world->Setting("services.caption_suffix"), " - SVP");
  EXPECT_EQ(world->drive('C').hostDir, w.Dir() + "/drives/c");
  // Numbers within their range load in one spelling ("010" is ten, not an
  // octal eight), flags as 1 or 0; a clock offset of 200 years still loads.
  world = load(
      "[world]\nclock_offset_seconds = -6311433600\ndesktop_width = 800\n[services]\n"
      "wait_ms = 010\ndir_operation_fails = yes\n");
  ASSERT_TRUE(world) << error;
  EXPECT_EQ(world->clockOffsetSeconds, -6311433600LL);
  EXPECT_EQ(world->desktopWidth, 800);
  EXPECT_EQ(world->SettingInt("services.wait_ms", 0), 10);
  EXPECT_EQ(world->SettingInt("services.dir_operation_fails", 0), 1);
}

// Temporaries: the one form, and their removal from a folder or of one name.
TEST(PlatformTemporaries, OneFormRemovedByFolderOrByName) {
  TestWorld w;
  for (const char* name : {"a.tgz.~tv0000ABCD", "a.tgz.~tv1234567F", "b.dat.~tvDEADBEEF", "a.tgz",
                           "c.~tv123", "d.~tv0000ABCDx"})
    w.WriteHostFile('C', std::string("OUT/") + name, "x");
  EXPECT_TRUE(plat::IsTemporaryName("C:\\OUT\\a.tgz.~tv0000ABCD"));
  EXPECT_FALSE(plat::IsTemporaryName("c.~tv123"));
  EXPECT_FALSE(plat::IsTemporaryName("d.~tv0000ABCDx"));
  EXPECT_FALSE(plat::IsTemporaryName("x.~tv0000ABCD\\y"));
  EXPECT_EQ(plat::RemoveTemporariesOf("C:\\OUT\\A.TGZ"), 2);
  EXPECT_TRUE(w.HostExists('C', "OUT/b.dat.~tvDEADBEEF"));
  EXPECT_EQ(plat::RemoveTemporariesIn("C:\\OUT"), 1);
  for (const char* kept : {"a.tgz", "c.~tv123", "d.~tv0000ABCDx"})
    EXPECT_TRUE(w.HostExists('C', std::string("OUT/") + kept)) << kept;
}

// A committed temporary takes the final name; one that cannot be renamed goes.
TEST(PlatformTemporaries, CommitReplacesTheFinalNameOrLeavesNothing) {
  TestWorld w;
  w.WriteHostFile('C', "OUT/f.dat", "old");
  std::string temporary;
  HANDLE h = plat::CreateTemporaryBeside("C:\\OUT\\f.dat", &temporary);
  ASSERT_TRUE(h);
  DWORD n = 0;
  ASSERT_TRUE(plat::WriteFile(h, "new", 3, &n));
  ASSERT_TRUE(plat::CommitTemporary(h, temporary, "C:\\OUT\\f.dat"));
  EXPECT_EQ(w.ReadHostFile('C', "OUT/f.dat"), "new");
  h = plat::CreateTemporaryBeside("C:\\OUT\\f.dat", &temporary);
  ASSERT_TRUE(h);
  w.Faults().AddRule({plat::FaultOp::Rename, "f.dat", ERROR_ACCESS_DENIED, 0, 1});
  EXPECT_FALSE(plat::CommitTemporary(h, temporary, "C:\\OUT\\f.dat"));
  EXPECT_EQ(plat::GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(w.ReadHostFile('C', "OUT/f.dat"), "new");
  EXPECT_EQ(plat::RemoveTemporariesIn("C:\\OUT"), 0);
}

}  // namespace
