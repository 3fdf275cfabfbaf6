// svpconf read-config4 FILE: the fields of a config4 record.
// svpconf audit: the records of the world's audit file.
#include <cstdint>
#include <cstdio>
#include <string>

#include "Json.h"
#include "Tool.h"
#include "exports/Exports.h"
#include "host/talver_host.h"

namespace {

std::uint32_t Le32(const BYTE* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string Hex(const BYTE* p, int n) {
  std::string text;
  char b[4];
  for (int i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02X", p[i]);
    text += b;
  }
  return text;
}

std::string Hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

void PrintConfig4(const BYTE* r) {
  const unsigned type = static_cast<unsigned>(r[10] | r[11] << 8);
  JsonDoc fields = {{"head", Hex(r, 10)},
                    {"type", WordText(type)},
                    {"volume_count", r[12]},
                    {"volume_number", r[13]},
                    {"serial", Le32(r + 14)},
                    {"archive_time_high", Hex32(Le32(r + 18))},
                    {"archive_time_low", Hex32(Le32(r + 22))},
                    {"tail", Hex(r + 26, 6)}};
  std::printf("head=%s\ntype=%s\n", Hex(r, 10).c_str(), WordText(type).c_str());
  std::printf("volume_count=%u%s\n", r[12], r[12] == 0xFF ? " (no volume information)" : "");
  std::printf("volume_number=%u\nserial=%u\n", r[13], Le32(r + 14));
  std::printf("archive_time_high=%s\n", Hex32(Le32(r + 18)).c_str());
  std::printf("archive_time_low=%s\ntail=%s\n", Hex32(Le32(r + 22)).c_str(),
              Hex(r + 26, 6).c_str());
  JsonOut()["config4"] = fields;
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
    JsonDoc& doc = JsonOut();
    if (TalverHost_AuditFile(path, sizeof path)) {
      std::printf("file=%s\n", path);
      doc["file"] = path;
    }
    JsonDoc records = JsonDoc::array();
    for (int i = 0;; ++i) {
      unsigned number = 0;
      char operation[64], outcome[64], detail[1024], time[64] = {};
      if (!TalverHost_AuditRecord(i, &number, operation, sizeof operation, outcome, sizeof outcome,
                                  detail, sizeof detail))
        break;
      TalverHost_AuditRecordTime(i, time, sizeof time);
      std::printf("#%u operation=\"%s\" outcome=\"%s\" detail=\"%s\" time=\"%s\"\n", number,
                  operation, outcome, detail, time);
      records.push_back({{"number", number},
                         {"time", time},
                         {"operation", operation},
                         {"outcome", outcome},
                         {"detail", detail}});
    }
    std::printf("records=%zu\n", records.size());
    doc["records"] = records;
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterValidateCommands);
