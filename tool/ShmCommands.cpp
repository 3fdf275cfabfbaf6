// svpconf shm: the shared-memory exports from the command line. A section
// lives as long as its creator holds it, so "create" holds it until the
// operator presses Enter or the given number of seconds has passed.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "Json.h"
#include "Tool.h"
#include "exports/Exports.h"

namespace {

std::string HexOf(const unsigned char* data, std::size_t n) {
  std::string out;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", data[i]);
    out += b;
  }
  return out;
}

void RegisterShmCommands(CLI::App& app, ToolContext& ctx) {
  auto* shm = app.add_subcommand("shm", "Shared-memory sections of this controller");
  shm->require_subcommand(1);

  static std::string name, text;
  static int holdSeconds = -1;
  static DWORD count = 16;

  auto* create = shm->add_subcommand("create", "Create a section and hold it open");
  create->add_option("NAME", name)->required();
  create->add_option("--hold", holdSeconds,
                     "seconds to hold the section (default: until Enter, or 0 without a "
                     "terminal)");
  create->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    DWORD error = 0;
    void* section = Talver_CreateMemoryMapFile(name.c_str(), &error);
    std::printf("created=%d error=%u\n", section ? 1 : 0, error);
    std::fflush(stdout);
    JsonOut()["created"] = section != nullptr;
    JsonOut()["error_code"] = error;
    if (!section) {
      ctx.exitCode = 1;
      return;
    }
    if (holdSeconds > 0) {
      std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));
    } else if (holdSeconds < 0 && ctx.interactive) {
      std::printf("holding the section; press Enter to close it\n");
      std::string line;
      std::getline(std::cin, line);
    }
    const int closed = Talver_CloseMemoryMapFile(section);
    std::printf("closed=%d\n", closed);
    JsonOut()["closed"] = closed;
  });

  auto* open = shm->add_subcommand("open", "Test whether a section exists (exit 0 if it does)");
  open->add_option("NAME", name)->required();
  open->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    int r = Talver_OpenMemoryMapFile(name.c_str());
    std::printf("exists=%d\n", r == 0 ? 1 : 0);
    JsonOut()["exists"] = r == 0;
    ctx.exitCode = r == 0 ? 0 : 1;
  });

  auto* write = shm->add_subcommand("write", "Write a text into a section");
  write->add_option("NAME", name)->required();
  write->add_option("TEXT", text)->required();
  write->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    DWORD error = 0;
    int r = Talver_WriteMemoryMapFile(name.c_str(), text.c_str(), static_cast<DWORD>(text.size()),
                                      &error);
    std::printf("result=%d error=%u\n", r, error);
    JsonOut()["result"] = r;
    JsonOut()["error_code"] = error;
    ctx.exitCode = r == 1 ? 0 : 1;
  });

  auto* read = shm->add_subcommand("read", "Read bytes from the start of a section");
  read->add_option("NAME", name)->required();
  read->add_option("--count", count, "bytes to read (at most 1024)");
  read->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    DWORD error = 0;
    unsigned char buffer[1024] = {};
    DWORD n = count > sizeof buffer ? static_cast<DWORD>(sizeof buffer) + 1 : count;
    int r = Talver_ReadMemoryMapFile(name.c_str(), buffer, n, &error);
    std::printf("result=%d error=%u\n", r, error);
    JsonOut()["result"] = r;
    JsonOut()["error_code"] = error;
    if (r == 1) {
      std::string shown(reinterpret_cast<char*>(buffer),
                        strnlen(reinterpret_cast<char*>(buffer), n));
      std::printf("text=%s\nhex=%s\n", shown.c_str(), HexOf(buffer, n).c_str());
      JsonOut()["text"] = shown;
      JsonOut()["hex"] = HexOf(buffer, n);
    }
    ctx.exitCode = r == 1 ? 0 : 1;
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterShmCommands);
