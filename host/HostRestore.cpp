// Host API for svpconf restore-gpfm: what the restore from a backup file left.
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
