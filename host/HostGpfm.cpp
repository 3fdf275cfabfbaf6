// Host API for svpconf gpfm: a world of host paths, the backup-file reader and
// the table conversion.
#include <cstring>
#include <memory>

#include "archive/CnfCmpDlg.h"
#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/CnfCmpThd2.h"
#include "backupfile/GpfmFormat.h"
#include "common/CompressRequest.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "host/talver_host.h"
#include "platform/Platform.h"
#include "platform/Win.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"
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

namespace {

// The reader's walk shown to a host's view; the tables' bytes go nowhere.
class ViewSink : public GpfmTableSink {
 public:
  explicit ViewSink(TalverHostGpfmView& view) : view_(view) {}
  bool BeginTable(int table, std::uint64_t storedSize, int segments) override {
    view_.Table(table, segments, storedSize);
    return true;
  }
  bool TableData(const std::uint8_t*, std::uint32_t, int) override { return true; }
  bool EndTable() override { return true; }
  void Target(std::uint32_t targetCFM) override {
    target_ = targetCFM;
    view_.Target(targetCFM);
  }
  void Directory(const PfmHeader& directory, std::uint64_t offset) override {
    view_.Directory(static_cast<int>(target_), offset, directory.valid);
  }
  void Segment(const GpfmSegmentSeen& s) override {
    view_.Segment(s.table, s.segment, s.offset, s.size, s.storedSum, s.computedSum);
  }
  bool ReadOnAfterMismatch() override { return true; }

 private:
  TalverHostGpfmView& view_;
  std::uint32_t target_ = 0;
};

}  // namespace

int TalverHost_GpfmInspect(const char* gpfmPath, TalverHostGpfmView& view, char* why,
                           std::size_t whySize) {
  if (!why || whySize == 0) return 0;
  why[0] = '\0';
  if (!plat::HasCurrent() || !gpfmPath) return 0;
  std::uint64_t size = 0;
  if (plat::GetFileSizeByName(gpfmPath, &size)) view.File(size);
  ViewSink sink(view);
  if (WalkGpfmFile(gpfmPath, sink)) return 1;
  CopyBounded(why, whySize, LastGpfmFailure());
  return 0;
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

// Table 63 as a restore reads it: the DKCF with the serial number and the
// version (type in its last two characters), then the CFREV.
std::size_t TalverHost_SampleTable63(unsigned long serial, const char* version, unsigned char* out,
                                     std::size_t size) {
  constexpr std::size_t kCfrevSize = 32, kVersionSize = 8;
  if (!out || !version || size < kDkcfSize + kCfrevSize || std::strlen(version) != kVersionSize ||
      serial < kDkcfSerialBase || serial - kDkcfSerialBase > 0xFFFFFFFFul)
    return 0;
  std::memset(out, 0, kDkcfSize + kCfrevSize);
  const DWORD stored = static_cast<DWORD>(serial - kDkcfSerialBase);
  for (int i = 0; i < 4; ++i)
    out[kDkcfSerialOffset + i] = static_cast<unsigned char>(stored >> (8 * i));
  std::memcpy(out + kDkcfVersionOffset, version, kVersionSize);
  std::memcpy(out + kDkcfSize, "CFREV", 5);
  return kDkcfSize + kCfrevSize;
}
