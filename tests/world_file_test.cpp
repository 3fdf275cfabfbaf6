// The world file is checked whole: every problem of it is named with its
// line, and "svpconf init --check" lists them all without running anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/HostFiles.h"

namespace fs = std::filesystem;

namespace {

struct BadWorld {
  const char* text;     // the file svp.ini (null: none is written)
  const char* message;  // expected in the output, lines apart by "\n"
  int exitCode = 1;
  const char* checked = "svp.ini";  // the name given to --check
};

const BadWorld kWorlds[] = {
    {"[world]\nroot = C:\n[drive.C]\npath = c\ntype = fixed\n", "problems=0", 0},
    {"[world]\n[drve.C]\npath = c\n",
     "svp.ini:2: unknown section [drve.C] (did you mean [drive.C]?)"},
    {"[drive.CC]\n", "svp.ini:1: unknown section [drive.CC] (a drive is"},
    {"[drive.C]\npath = c\ntyp = fixed\n",
     "svp.ini:3: [drive.C] typ: unknown key (did you mean type?)"},
    {"[services]\nwait_ms = -5\nsvp_state = two\n",
     "svp.ini:2: [services] wait_ms = -5: must be a whole number from 0 to 3600000\n"
     "svp.ini:3: [services] svp_state = two: must be a whole number from 0 to 65535"},
    {"[services]\ndir_operation_fails = maybe\n",
     "svp.ini:2: [services] dir_operation_fails = maybe: must be true or false"},
    {"[services]\ncaption_suffix = \"123456789012345678901234567890123456789012345678\"\n",
     "must be a text of at most 47 characters"},
    {"[world]\nclock_offset_seconds = 99999999999\ndesktop_width = 0\nroot = /tmp\n",
     "svp.ini:2: [world] clock_offset_seconds = 99999999999: must be a whole number from "
     "-6324480000 to 6324480000\nsvp.ini:3: [world] desktop_width = 0: must be a whole number "
     "from 1 to 100000\nsvp.ini:4: [world] root = /tmp: must be a drive letter"},
    {"[drive.A]\npath = c\nsize = -1\ntype = floppy\n",
     "svp.ini:3: [drive.A] size = -1: must be a byte count from 0 to 18446744073709551615\n"
     "svp.ini:4: [drive.A] type = floppy: must be removable, fixed or cdrom (2, 3 or 5)"},
    {"[drive.C]\npath = nowhere\n", "svp.ini:2: [drive.C] path = nowhere: no such folder"},
    {"[drive.E]\ntype = removable\nmedia = vol1; lost\n",
     "svp.ini:3: [drive.E] media = vol1; lost: no such folder"},
    {"[drive.E]\ntype = removable\npath = c\nmedia = vol1\n",
     "svp.ini:1: [drive.E] has both path and media"},
    {"[drive.E]\ntype = fixed\nmedia = vol1\n",
     "svp.ini:1: [drive.E] media are for removable and cdrom drives"},
    {"[drive.E]\ntype = cdrom\nmedia = ;\n",
     "svp.ini:3: [drive.E] media = : must be existing folders"},
    {"[drive.C]\npath = c\n[drive.D]\n", "svp.ini:3: [drive.D] needs a path or media"},
    {"[medium.vol1]\nsize = 10\n", "svp.ini:1: [medium.vol1] is no medium of a drive's"},
    {"[client.1]\nremote = \\\\tsclient\\C\n", "svp.ini:1: [client.1] needs remote and path"},
    {"[connections]\nFF = \\\\tsclient\\C\nG = tsclient\n",
     "svp.ini:2: [connections] FF: unknown key (a connection is named by its drive letter)\n"
     "svp.ini:3: [connections] G = tsclient: must be a network name"},
    {"[drive.C]\npath = c\npath = vol1\n",
     "svp.ini:3: [drive.C] path given again (first on line 2)"},
    {"root = C:\n[world]\nthis is no key\n[world\n",
     "svp.ini:1: root outside any [section]\n"
     "svp.ini:3: not a [section], a key = value or a ; comment\n"
     "svp.ini:4: a section heading lacks its closing ]"},
    // A line the reader would split is refused, never read as two.
    {"[world]\nidentity = "
     "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890"
     "1234567890123456789012345678901234567890123456789012345678901234567890123456789012345678901"
     "234567890\n",
     "svp.ini:2: line longer than 197 characters"},
    {nullptr, "none.ini: no such world file", 1, "none.ini"},
    {nullptr, ". is a folder, not a world file", 1, "."},
};

TEST(WorldFile, EveryProblemIsNamedWithItsLine) {
  hostfiles::TempDir temp("world");
  const fs::path& dir = temp.path();
  ASSERT_FALSE(dir.empty());
  fs::create_directories(dir / "c");
  fs::create_directories(dir / "vol1");
  for (const BadWorld& w : kWorlds) {
    fs::remove(dir / "svp.ini");
    if (w.text) std::ofstream(dir / "svp.ini") << w.text;
    int status = 0;
    const std::string out = hostfiles::Run(
        "cd '" + dir.string() + "' && " + TALVER_SVPCONF + " init --check " + w.checked, &status);
    EXPECT_NE(out.find(w.message), std::string::npos) << w.checked << ": " << out;
    EXPECT_EQ(status, w.exitCode) << out;
  }
}

}  // namespace
