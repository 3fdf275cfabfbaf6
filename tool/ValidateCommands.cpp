// svpconf read-config4 FILE: the fields of a config4 record.
// svpconf audit: the records of the world's audit file.
#include <cstdint>
#include <cstdio>

#include "Tool.h"
#include "exports/Exports.h"
#include "host/talver_host.h"

namespace {

std::uint32_t Le32(const BYTE* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PrintHex(const char* name, const BYTE* p, int n) {
  std::printf("%s=", name);
  for (int i = 0; i < n; ++i) std::printf("%02X", p[i]);
  std::printf("\n");
}

void PrintConfig4(const BYTE* r) {
  PrintHex("head", r, 10);
  std::printf("type=0x%04X\n", static_cast<unsigned>(r[10] | r[11] << 8));
  std::printf("volume_count=%u%s\n", r[12], r[12] == 0xFF ? " (no volume information)" : "");
  std::printf("volume_number=%u\n", r[13]);
  std::printf("serial=%u\n", Le32(r + 14));
  std::printf("archive_time_high=0x%08X\n", Le32(r + 18));
  std::printf("archive_time_low=0x%08X\n", Le32(r + 22));
  PrintHex("tail", r + 26, 6);
}

void RegisterValidateCommands(CLI::App& app, ToolContext& ctx) {
  static std::string file;
  auto* read = app.add_subcommand("read-config4", "Print the fields of a config4 record");
  read->add_option("FILE", file, "system path of the config4 (e.g. C:\\Plaxon\\Config\\config4)")
      ->required();
  read->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    BYTE record[32] = {};
    int result = talver_ReadConfig4(file.c_str(), record);
    if (result != 0) PrintConfig4(record);
    ReportExport(ctx, result != 0 ? 1 : 0, 0);
  });

  app.add_subcommand("audit", "Show the records of the audit file")->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    char path[1024] = {};
    if (TalverHost_AuditFile(path, sizeof path)) std::printf("file=%s\n", path);
    int count = 0;
    for (int i = 0;; ++i) {
      unsigned number = 0;
      char operation[64], outcome[64], detail[1024];
      if (!TalverHost_AuditRecord(i, &number, operation, sizeof operation, outcome, sizeof outcome,
                                  detail, sizeof detail))
        break;
      std::printf("#%u operation=\"%s\" outcome=\"%s\" detail=\"%s\"\n", number, operation, outcome,
                  detail);
      ++count;
    }
    std::printf("records=%d\n", count);
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterValidateCommands);
