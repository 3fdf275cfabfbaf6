// Host API for svpconf gpfm: a world of host paths, the backup-file reader and
// the table conversion.
#include <memory>

#include "archive/CnfCmpDlg.h"
#include "archive/CompressRequest.h"
#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/CnfCmpThd2.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "host/talver_host.h"
#include "platform/Platform.h"
#include "platform/Win.h"
#if !defined(_WIN32)
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/World.h"

int TalverHost_UseHostFiles(void) {
  plat::World world = plat::World::Empty();
  // An empty trace file setting: no trace file at all.
  world.settings["services.trace_file"] = "";
  world.settings["services.audit_file"] = "";
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(world)));
  return 1;
}
#endif

int TalverHost_GpfmExtract(const char* gpfmPath, const char* lz4Dir) {
  if (!plat::HasCurrent()) return 0;
  return ParseGpfmFile(gpfmPath, lz4Dir);
}

int TalverHost_GpfmConvert(const char* lz4Dir, const char* tablesDir, int withDialog) {
  if (!plat::HasCurrent() || !lz4Dir || !tablesDir) return 0;
  if (withDialog) {
    RefreshRootPath();
    return CompressDialog2(0, kArchiveTableConversion, 1, lz4Dir, tablesDir);
  }
  CompressRequest request{};
  request.mode = kArchiveTableConversion;
  request.displayFlag = 1;
  if (!CopyBounded(request.archivePath, sizeof request.archivePath, lz4Dir) ||
      !CopyBounded(request.directory, sizeof request.directory, tablesDir))
    return 0;
  Talver_CompressThread2(&request);
  // Without a dialog the progress messages went to this thread's own queue.
  plat::MSG message;
  while (plat::PeekMessage(&message, 0, 0, 0, PM_REMOVE)) {
  }
  return CompressThreadState == 1 ? 1 : 0;
}
