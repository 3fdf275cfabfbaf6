// svpconf init: makes the embedded default world, an SVP with a realistic
// sample configuration whose identity files pass every check against an
// archive of itself, beside a floppy, a CD-ROM and a removable drive.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "Json.h"
#include "Tool.h"
#include "host/talver_host.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Table contents: mostly structured, compressible records with some noise.
std::string TableBytes(std::mt19937& rng, std::size_t size, int index) {
  std::string bytes(size, '\0');
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t i = 0; i < size; ++i) {
    if (i % 64 < 8)
      bytes[i] = static_cast<char>(byte(rng));
    else
      bytes[i] = static_cast<char>((index + i / 64) & 0x3F);
  }
  return bytes;
}

std::string Config4Bytes(std::uint16_t type, std::uint32_t serial) {
  std::string r(32, '\0');
  const char head[] = "CNF4HDR\x01\x02";
  for (int i = 0; i < 10; ++i) r[static_cast<std::size_t>(i)] = head[i];
  r[10] = static_cast<char>(type & 0xFF);
  r[11] = static_cast<char>(type >> 8);
  r[12] = static_cast<char>(0xFF);  // the SVP's own record has no volume information
  r[13] = 0;
  for (int i = 0; i < 4; ++i)
    r[static_cast<std::size_t>(14 + i)] = static_cast<char>(serial >> (8 * i));
  return r;
}

const char* kWorldIni = R"(; An SVP world for svpconf and the tests (see docs/world.md).
[world]
root = C:
identity = DKC-412345
desktop_width = 1024
desktop_height = 768

[drive.C]
path = drives/c
type = fixed

[drive.A]
path = drives/a
type = removable
size = 1457664

[drive.D]
path = drives/d
type = cdrom

[drive.E]
path = drives/e
type = removable

[services]
trace_file = trace.log
audit_file = audit.log
wait_ms = 1000
caption_suffix = " - SVP"
svp_state = 0
)";

void MakeSampleWorld(const fs::path& dir) {
  const fs::path c = dir / "drives" / "c";
  for (const char* d : {"drives/a", "drives/d", "drives/e"}) fs::create_directories(dir / d);
  for (const char* d : {"PLAXON/TMP", "PLAXON/OTHERS/BACKUP", "PLAXON/HOME/DIFF", "PLAXON/DIFF"})
    fs::create_directories(c / d);
  WriteFile(dir / "svp.ini", kWorldIni);

  const fs::path config = c / "PLAXON" / "CONFIG";
  const std::uint32_t serial = 412345;
  WriteFile(config / "config.inf", "SVPCONF 01020360\r\nSERIAL=412345\r\nMODEL=7\r\n");
  WriteFile(config / "config4", Config4Bytes(0x8360, serial));
  WriteFile(config / "SVP_MAIN.INI", "[SVP_MAIN]\r\nType=TQ520\r\nName=SVP1\r\n");
  WriteFile(config / "DKCPRP.DAT", "SERIAL=412345\r\nMODEL=7\r\n");
  WriteFile(config / "LMCPT.DAT", "PCMTYPE=3\r\n");
  std::mt19937 rng(20261206);
  WriteFile(config / "min500c.dat", TableBytes(rng, 4096, 1));
  WriteFile(config / "min500d.dat", TableBytes(rng, 4096, 2));
  WriteFile(config / "svphdev0.dat", TableBytes(rng, 1024, 3));
  std::uniform_int_distribution<std::size_t> size(512, 24 * 1024);
  for (int i = 0; i < 240; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "TBL%03d.DAT", i);
    WriteFile(config / "CNFDATA" / name, TableBytes(rng, size(rng), i));
  }
  for (int i = 0; i < 60; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "LDEV%02d.TBL", i);
    WriteFile(config / "LDEV" / (i < 30 ? "GRP0" : "GRP1") / name, TableBytes(rng, size(rng), i));
  }
  WriteFile(c / "PLAXON" / "OTHERS" / "INTDATA" / "min500c.dat", TableBytes(rng, 4096, 1));
  WriteFile(c / "PLAXON" / "OTHERS" / "INTDATA" / "min500d.dat", TableBytes(rng, 4096, 2));
  WriteFile(c / "PLAXON" / "MP" / "PC" / "SerialNumber", "412345");
  WriteFile(c / "PLAXON" / "MP" / "PC" / "cnfpak.avi", "RIFF\0\0\0\0AVI pack animation");
  WriteFile(c / "PLAXON" / "MP" / "PC" / "cnfunpak.avi", "RIFF\0\0\0\0AVI unpack animation");
}

// svpconf init --check FILE: every problem of the file on stderr, exit 1 if any.
void CheckWorldFile(ToolContext& ctx, const std::string& file) {
  const int problems = TalverHost_CheckWorld(
      file.c_str(), [](const char* text, void*) { std::fprintf(stderr, "%s\n", text); }, nullptr);
  std::printf("world=%s problems=%d\n", file.c_str(), problems);
  ctx.exitCode = problems == 0 ? 0 : 1;
}

// A table cell; one with a backslash as code, so that Markdown shows it as written.
std::string Cell(const std::string& text) {
  return text.find('\\') == std::string::npos ? text : "`" + text + "`";
}

// svpconf init --keys: the keys of a world file as the table of docs/world.md.
void PrintWorldKeys() {
  std::printf("| section | key | value | meaning |\n|---|---|---|---|\n");
  const char *section = nullptr, *key = nullptr, *meaning = nullptr;
  char allowed[256];
  for (int i = 0; TalverHost_WorldKey(i, &section, &key, allowed, sizeof allowed, &meaning); ++i)
    std::printf("| [%s] | %s | %s | %s |\n", section, key, Cell(allowed).c_str(), meaning);
}

void RegisterInitCommand(CLI::App& app, ToolContext& ctx) {
  static std::string dir, check;
  static bool force = false, keys = false;
  auto* init = app.add_subcommand("init", "Make the default SVP world (a sample configuration)");
  init->add_option("DIR", dir, "folder of the world (default: " + DefaultWorldFolder() + ")");
  init->add_flag("--force", force, "replace an existing world in DIR");
  init->add_option("--check", check, "check the world file FILE, every line, and make nothing")
      ->option_text("FILE");
  init->add_flag("--keys", keys, "list the sections and keys a world file may hold");
  init->callback([&ctx] {
    if (!check.empty()) return CheckWorldFile(ctx, check);
    if (keys) return PrintWorldKeys();
    fs::path target = dir.empty() ? fs::path(DefaultWorldFolder()) : fs::path(dir);
    if (fs::exists(target / "svp.ini") && !force) {
      std::fprintf(stderr, "svpconf: %s already holds a world (use --force to replace it)\n",
                   target.string().c_str());
      JsonOut()["error"] = target.string() + " already holds a world";
      ctx.exitCode = 1;
      return;
    }
    try {
      if (force) fs::remove_all(target / "drives");
      MakeSampleWorld(target);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "svpconf: %s\n", e.what());
      JsonOut()["error"] = e.what();
      ctx.exitCode = 1;
      return;
    }
    const std::string world = (fs::absolute(target) / "svp.ini").string();
    std::printf("world=%s\n", world.c_str());
    JsonOut()["world"] = world;
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterInitCommand);
