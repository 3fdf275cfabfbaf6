// Host API for svpconf backups --verify --drive: every volume of a backup on
// removable media, taken through the setup's own media selection, joined in
// memory and read by the archiver, nothing written.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/FDCopy3.h"
#include "common/CnfFunc.h"
#include "common/Globals.h"
#include "flows/FetchArchive.h"
#include "host/HostInspect.h"
#include "host/talver_host.h"
#include "media/MediaSelection.h"
#include "platform/ForwardingPlatform.h"
#include "platform/KernelObject.h"
#include "platform/Platform.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

namespace inspect {
namespace {

// The volumes of a split backup joined in memory, offered to the archiver's
// reader as the one file `path` names (read only) while installed.
class JoinedVolumes : public plat::ForwardingPlatform {
 public:
  JoinedVolumes(std::shared_ptr<plat::Platform> inner, std::string path,
                const std::vector<char>& bytes)
      : ForwardingPlatform(std::move(inner)), path_(Upper(std::move(path))), bytes_(bytes) {}

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override {
    if (!path || Upper(path) != path_)
      return Inner().CreateFile(path, access, share, disposition, flags);
    if ((access & GENERIC_WRITE) || disposition != OPEN_EXISTING) {
      plat::SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    return new View;
  }
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override {
    View* view = dynamic_cast<View*>(file);
    if (!view) return Inner().ReadFile(file, buffer, count, read);
    const std::size_t n = std::min<std::size_t>(count, bytes_.size() - view->at);
    std::memcpy(buffer, bytes_.data() + view->at, n);
    view->at += n;
    if (read) *read = static_cast<DWORD>(n);
    return true;
  }
  bool SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                      std::uint64_t* position) override {
    View* view = dynamic_cast<View*>(file);
    if (!view) return Inner().SetFilePointer(file, offset, method, position);
    const std::int64_t base = method == FILE_BEGIN     ? 0
                              : method == FILE_CURRENT ? static_cast<std::int64_t>(view->at)
                                                       : static_cast<std::int64_t>(bytes_.size());
    if (base + offset < 0) {
      plat::SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    view->at = std::min<std::size_t>(static_cast<std::size_t>(base + offset), bytes_.size());
    if (position) *position = view->at;
    return true;
  }
  bool GetFileSize(HANDLE file, std::uint64_t* size) override {
    View* view = dynamic_cast<View*>(file);
    if (!view) return Inner().GetFileSize(file, size);
    *size = bytes_.size();
    return true;
  }
  // The joined bytes are read only; no other call reaches the half below
  // with a handle it did not make.
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override {
    if (!dynamic_cast<View*>(file)) return Inner().WriteFile(file, buffer, count, written);
    plat::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  bool SetEndOfFile(HANDLE file) override {
    if (!dynamic_cast<View*>(file)) return Inner().SetEndOfFile(file);
    plat::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  bool FlushFile(HANDLE file) override {
    return dynamic_cast<View*>(file) || Inner().FlushFile(file);
  }
  bool TryLockFile(HANDLE file) override {
    return dynamic_cast<View*>(file) || Inner().TryLockFile(file);
  }

 private:
  struct View : plat::KernelObject {
    std::size_t at = 0;
  };
  std::string path_;
  const std::vector<char>& bytes_;
};

// Installs the joined volumes for one reading, and the platform before
// them again after it.
class JoinedVolumesInstalled {
 public:
  JoinedVolumesInstalled(const std::string& path, const std::vector<char>& bytes)
      : before_(plat::InstalledShared()) {
    plat::Install(std::make_shared<JoinedVolumes>(before_, path, bytes));
  }
  ~JoinedVolumesInstalled() { plat::Install(before_); }

 private:
  std::shared_ptr<plat::Platform> before_;
};

// The prompt the setup from media asks for its medium with.
constexpr DWORD kSetupPrompt = 4040;

struct MediaRun {
  talver_volume_fn each;
  void* context;
  std::vector<std::uint64_t> sizes;  // of the volumes taken so far
};

int ReadVolume(const char* path, std::vector<char>* bytes, std::string* why) {
  HANDLE file = plat::CreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!file) {
    *why = std::string("cannot read ") + path;
    return 0;
  }
  std::vector<char> block(kReadBlock);
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!(ok = plat::ReadFile(file, block.data(), kReadBlock, &got)) || got == 0) break;
    bytes->insert(bytes->end(), block.data(), block.data() + got);
  }
  plat::CloseHandle(file);
  if (!ok) *why = std::string("cannot read ") + path;
  return ok ? 1 : 0;
}

// Takes the volume the selection holds: its bytes appended to `joined`, its
// line given; a volume but the last must be a whole piece.
int TakeVolume(MediaRun& run, const MediaSelection& selection, std::vector<char>* joined,
               std::string* why) {
  const std::size_t before = joined->size();
  if (!ReadVolume(selection.archivePath, joined, why)) return 0;
  const std::uint64_t size = joined->size() - before;
  const int number = selection.config4.volumeNumber + 1;
  const int count = selection.config4.volumeCount;
  run.sizes.push_back(size);
  talver_volume volume{number, count, selection.archivePath, size};
  if (run.each) run.each(&volume, run.context);
  if (number < count && size < kArchivePieceBytes) {
    *why = Printf("volume %d of %d truncated at byte %llu (a volume but the last holds %lu)",
                  number, count, static_cast<unsigned long long>(size),
                  static_cast<unsigned long>(kArchivePieceBytes));
    return 0;
  }
  if (size > kArchivePieceBytes && count > 1) {
    *why = Printf("volume %d of %d is %llu bytes, more than a volume holds (%lu)", number, count,
                  static_cast<unsigned long long>(size),
                  static_cast<unsigned long>(kArchivePieceBytes));
    return 0;
  }
  return 1;
}

// Why a medium given for volume `number` does not continue the one before.
std::string RefusedVolume(int number, int count, const Config4Record& previous,
                          const Config4Record& given) {
  if (given.archiveTimeHigh != previous.archiveTimeHigh ||
      given.archiveTimeLow != previous.archiveTimeLow)
    return Printf(
        "volume %d of %d: the medium given is a volume of another backup "
        "(archive time 0x%08lX%08lX, not 0x%08lX%08lX)",
        number, count, static_cast<unsigned long>(given.archiveTimeHigh),
        static_cast<unsigned long>(given.archiveTimeLow),
        static_cast<unsigned long>(previous.archiveTimeHigh),
        static_cast<unsigned long>(previous.archiveTimeLow));
  if (given.volumeNumber + 1 != number)
    return Printf("volume %d of %d missing: the medium given is volume %d", number, count,
                  given.volumeNumber + 1);
  return Printf("volume %d of %d: the medium given is of another SVP (serial number %lu)", number,
                count, static_cast<unsigned long>(given.serialNumber));
}

// Where a fault the reader places at byte N of the joined archive lies.
std::string PlaceInVolumes(const std::string& reason, const std::vector<std::uint64_t>& sizes) {
  const std::size_t at = reason.find("at byte ");
  if (at == std::string::npos || sizes.size() < 2) return reason;
  std::uint64_t offset = std::strtoull(reason.c_str() + at + 8, nullptr, 10);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (offset < sizes[i] || i + 1 == sizes.size())
      return reason + Printf(" (volume %zu of %zu, its byte %llu)", i + 1, sizes.size(),
                             static_cast<unsigned long long>(offset));
    offset -= sizes[i];
  }
  return reason;
}

// The directory of this SVP's backup on a medium ("412345").
bool IsOwnBackup(const MediaSelection& selection, std::string* own) {
  *own = Printf("%.6lu", static_cast<unsigned long>(GetSerialNumber()));
  const std::string expected = Upper(std::string("\\CONFIG\\") + *own + "\\svp_conf.tgz");
  return EndsWithIgnoringCase(selection.archivePath, expected.c_str());
}

int VerifyMedia(MediaRun& run, std::string* why) {
  if (!plat::HasCurrent()) {
    *why = "no world";
    return -1;
  }
  RefreshRootPath();
  MediaSelection selection{};
  selection.requestKind = kRequestSetup;
  selection.promptMessageId = kSetupPrompt;
  WORD word = 0;
  if (SelectMedia(0, &selection, 0, &word) != 1 || selection.MediaKind != kMediaBackup) {
    *why = Printf("no backup medium was given (word 0x%04X)", static_cast<unsigned>(word));
    return -1;
  }
  std::string own;
  if (!IsOwnBackup(selection, &own)) {
    *why = std::string("no backup of this SVP (") + own + ") on " + selection.drivePath +
           ", only " + selection.archivePath;
    return -1;
  }
  const Config4Record& c4 = selection.config4;
  if (c4.volumeCount == 0 || c4.volumeNumber != 0) {
    *why = Printf("the medium in %s holds volume %d of %d, not the first", selection.drivePath,
                  c4.volumeNumber + 1, c4.volumeCount);
    return c4.volumeCount == 0 ? 0 : -1;
  }
  const std::string first = selection.archivePath;
  std::vector<char> joined;
  if (c4.volumeCount == 1) {
    // A whole archive is read where it lies.
    WIN32_FIND_DATA data;
    talver_volume volume{1, 1, selection.archivePath, 0};
    if (HANDLE search = plat::FindFirstFile(first.c_str(), &data)) {
      volume.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
      plat::FindClose(search);
    }
    if (run.each) run.each(&volume, run.context);
    return VerifyArchive({Kind::kArchive, first}, why);
  }
  if (!TakeVolume(run, selection, &joined, why)) return 0;
  const int count = c4.volumeCount;
  for (int number = 2; number <= count; ++number) {
    const MediaSelection previous = selection;
    MediaSelection refused{};
    if (!SelectNextVolume(0, &selection, previous, static_cast<BYTE>(number - 1), &word,
                          &refused)) {
      *why = refused.MediaKind != kMediaNone
                 ? RefusedVolume(number, count, previous.config4, refused.config4)
                 : Printf("volume %d of %d missing (word 0x%04X)", number, count,
                          static_cast<unsigned>(word));
      return 0;
    }
    if (!TakeVolume(run, selection, &joined, why)) return 0;
  }
  JoinedVolumesInstalled installed(first, joined);
  const int result = VerifyOpenArchive(first, why);
  if (result == 0) *why = PlaceInVolumes(*why, run.sizes);
  return result;
}

}  // namespace
}  // namespace inspect

using namespace inspect;

int TalverHost_VerifyMedia(talver_volume_fn each, void* context, char* why, std::size_t whySize) {
  MediaRun run{each, context, {}};
  std::string reason;
  const int result = VerifyMedia(run, &reason);
  CopyWhy(result == 1 ? "" : reason, why, whySize);
  return result;
}
