// Host API for svpconf restore-gpfm (what the restore from a backup file
// left) and svpconf backups (the HDD backups as the system's scan sees them).
#include "archive/CnfBakup.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "host/talver_host.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"
#include "validate/CnfProcess2.h"

namespace {

// The version text, or "----" when it cannot be read.
bool VersionOrIdle(int read, const char* text, char* out, std::size_t size) {
  return CopyBounded(out, size, read ? text : kIdleVersionText);
}

}  // namespace

int TalverHost_RestoredTables(char* tablesDir, std::size_t tablesSize, char* newVersion,
                              std::size_t newSize, char* oldVersion, std::size_t oldSize) {
  if (!plat::HasCurrent() || !tablesDir || !newVersion || !oldVersion) return 0;
  RefreshRootPath();
  char tables[MAX_PATH];
  char configInf[MAX_PATH];
  if (!FORMAT_PATH(tables, "%s%s", RootPath, "\\PLAXON\\TMP\\TABLES\\") ||
      !FORMAT_PATH(configInf, "%s%s", RootPath, "\\PLAXON\\CONFIG\\config.inf") ||
      !CopyBounded(tablesDir, tablesSize, tables))
    return 0;
  char dkcfPath[MAX_PATH] = {};
  WORD word = 0;
  char text[32] = {};
  int read = GetTifFileInf(9, tables, 0, 0, dkcfPath, MAX_PATH, &word) == 1 &&
             ReadContainerVersionText(dkcfPath, text, sizeof text);
  if (!VersionOrIdle(read, text, newVersion, newSize)) return 0;
  read = ReadVersionText(configInf, text, sizeof text);
  return VersionOrIdle(read, text, oldVersion, oldSize) ? 1 : 0;
}

namespace {

struct BackupsRelay {
  talver_backup_fn each;
  void* context;
};

void Relay(const BackupFolder& folder, void* context) {
  auto* relay = static_cast<BackupsRelay*>(context);
  relay->each(folder.name, folder.archiveSize, folder.valid ? 1 : 0, folder.interrupted ? 1 : 0,
              relay->context);
}

}  // namespace

int TalverHost_Backups(talver_backup_fn each, void* context) {
  if (!plat::HasCurrent() || !each) return 0;
  RefreshRootPath();
  BackupsRelay relay{each, context};
  return Talver_ListBackupDirectories(Relay, &relay);
}

int TalverHost_NewestBackup(char* folder, std::size_t size) {
  if (!plat::HasCurrent() || !folder) return 0;
  RefreshRootPath();
  char path[MAX_PATH] = {};
  WORD count = 0;
  if (!Talver_FindBackupDirectory(path, &count, 1) || count == 0) return 0;
  return CopyBounded(folder, size, path) ? 1 : 0;
}
