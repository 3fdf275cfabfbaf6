// svpconf drives and svpconf select-media: the SVP's drives as the media
// dialog offers them, and a media selection run to its end.
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "Json.h"
#include "Tool.h"
#include "host/talver_host.h"

namespace {

const char* ClassName(int driveClass) {
  switch (driveClass) {
    case 1:
      return "install (removable, CD-ROM, fixed)";
    case 2:
      return "backup (removable, fixed)";
    case 3:
      return "install from CD-R (CD-ROM, fixed)";
    default:
      return "backup (removable, fixed)";
  }
}

const char* MediaKindName(unsigned kind) {
  switch (kind) {
    case 1:
      return "backup";
    case 2:
      return "flat";
    case 3:
      return "software";
    default:
      return "none";
  }
}

// "C: D: E:" as ["C:", "D:", "E:"].
JsonDoc DriveList(const char* text) {
  JsonDoc list = JsonDoc::array();
  std::istringstream in(text);
  for (std::string drive; in >> drive;) list.push_back(drive);
  return list;
}

void ListDrives(ToolContext& ctx, int onlyClass) {
  char client[1024] = {};
  int clientResult = 1;
  JsonDoc classes = JsonDoc::array();
  for (int driveClass = 1; driveClass <= 3; ++driveClass) {
    if (onlyClass && driveClass != onlyClass) continue;
    char svp[256] = {};
    clientResult = TalverHost_DriveLists(driveClass, svp, sizeof svp, client, sizeof client);
    std::printf("class %d %-36s %s\n", driveClass, ClassName(driveClass),
                svp[0] ? svp : "(no drive)");
    classes.push_back(
        {{"class", driveClass}, {"name", ClassName(driveClass)}, {"drives", DriveList(svp)}});
  }
  JsonDoc& doc = JsonOut();
  doc["classes"] = classes;
  doc["client_enumerated"] = clientResult != 0;
  if (clientResult) doc["client_drives"] = DriveList(client);
  if (!clientResult) {
    std::printf("client PC: the network enumeration failed\n");
    ctx.exitCode = 1;
    return;
  }
  std::printf("client PC %s\n", client[0] ? client : "(no drive)");
}

void RegisterMediaCommands(CLI::App& app, ToolContext& ctx) {
  static int driveClass = 0;
  auto* drives = app.add_subcommand("drives", "List the SVP's drives by class and the client PC's");
  drives->add_option("--class", driveClass, "only this drive class (1, 2 or 3)")
      ->check(CLI::Range(1, 3));
  drives->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    ListDrives(ctx, driveClass);
  });

  static int requestKind = 0;
  static int volume = 0;
  static std::string drivePath;
  static std::string model;
  static std::string sizeCode;
  static unsigned purpose = 0;
  auto* select =
      app.add_subcommand("select-media", "Run the media selection and print what it ends with");
  select->add_option("--request-kind", requestKind, "1, 5, 6, 7, 8 or 9")
      ->required()
      ->check(CLI::IsMember({1, 5, 6, 7, 8, 9}));
  select->add_option("--volume", volume, "ask for volume N+1 in the drive of --in")
      ->check(CLI::Range(0, 254));
  select->add_option("--in", drivePath, "drive root of an earlier volume (\"E:\\\")");
  select->add_option("--model", model, "model number of the software medium (4 characters)")
      ->check([](const std::string& v) { return v.size() <= 4 ? "" : "at most 4 characters"; });
  select->add_option("--size-code", sizeCode, "size code of the software medium")
      ->check([](const std::string& v) { return v.size() <= 15 ? "" : "at most 15 characters"; });
  select
      ->add_option("--purpose", purpose,
                   "selection purpose (4: software restore, 5: backup drives)")
      ->check(CLI::Range(0, 255));
  select->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    if (volume > 0 && drivePath.empty()) {
      std::fprintf(stderr, "svpconf: --volume needs the drive of the earlier volume (--in E:\\)\n");
      JsonOut()["error"] = "--volume needs the drive of the earlier volume (--in E:\\)";
      ctx.exitCode = 1;
      return;
    }
    TalverHostMediaSelection s{};
    std::snprintf(s.drivePath, sizeof s.drivePath, "%s", drivePath.c_str());
    std::snprintf(s.modelNumberText, sizeof s.modelNumberText, "%s", model.c_str());
    std::snprintf(s.sizeCodeText, sizeof s.sizeCodeText, "%s", sizeCode.c_str());
    s.selectionPurpose = purpose;
    int result = TalverHost_SelectMedia(requestKind, volume, &s);
    std::printf("drive=%s\narchive=%s\nmedia-kind=%u (%s)\n", s.drivePath, s.archivePath,
                s.mediaKind, MediaKindName(s.mediaKind));
    std::printf("config4 type=0x%04X volume-count=%u volume-number=%u type-text=%s\n", s.typeWord,
                s.volumeCount, s.volumeNumber, s.typeHexText);
    JsonDoc& doc = JsonOut();
    doc["drive"] = s.drivePath;
    doc["archive"] = s.archivePath;
    doc["media_kind"] = s.mediaKind;
    doc["media_kind_name"] = MediaKindName(s.mediaKind);
    doc["config4"] = {{"type", WordText(s.typeWord)},
                      {"volume_count", s.volumeCount},
                      {"volume_number", s.volumeNumber},
                      {"type_text", s.typeHexText}};
    ReportExport(ctx, result, static_cast<std::uint16_t>(s.resultWord));
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterMediaCommands);
