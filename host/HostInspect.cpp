// Host API for svpconf backups --verify, ls and diff: the HDD backups,
// archives, .gpfm files and the live configuration read through the
// system's own readers (the archiver's enumeration, the backup-file walk,
// the table decompression, the identity checks), streamed, nothing unpacked.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/CnfCmpThd.h"
#include "archive/FDCopy3.h"
#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/CnfCmpThd2.h"
#include "backupfile/CnfSimpleCnfReaderWriter.h"
#include "backupfile/GpfmFormat.h"
#include "common/CnfFunc.h"
#include "common/FlowLock.h"
#include "common/Globals.h"
#include "flows/FetchArchive.h"
#include "host/talver_host.h"
#include "media/MediaSelection.h"
#include "platform/ForwardingPlatform.h"
#include "platform/Platform.h"
#include "tar32/Tar32.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

#ifdef TALVER_HAVE_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

namespace {

constexpr const char kConfig4Entry[] = "CONFIG/config4";
constexpr const char kConfigInfEntry[] = "CONFIG/CONFIG.INF";
constexpr const char kDkcfTable[] = "table 63";
// Known records are small; a larger one is compared by digest only.
constexpr std::uint64_t kLongestKeptRecord = 1u << 16;
constexpr DWORD kReadBlock = 1u << 20;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool SameName(const std::string& a, const char* b) { return Upper(a) == Upper(b); }

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return "?";
  if (static_cast<std::size_t>(n) < sizeof text) return text;
  return std::string(text) + "...";
}

// The content digest: CRC-32 and Adler-32 of the bytes, 16 hex digits.
class Digest {
 public:
  void Add(const void* data, std::size_t size) {
#ifdef TALVER_HAVE_LIBDEFLATE
    crc_ = libdeflate_crc32(crc_, data, size);
    adler_ = libdeflate_adler32(adler_, data, size);
#else
    crc_ = static_cast<std::uint32_t>(crc32_z(crc_, static_cast<const Bytef*>(data), size));
    adler_ = static_cast<std::uint32_t>(adler32_z(adler_, static_cast<const Bytef*>(data), size));
#endif
  }
  void Text(char (&out)[17]) const {
    std::snprintf(out, sizeof out, "%08x%08x", static_cast<unsigned>(crc_),
                  static_cast<unsigned>(adler_));
  }

 private:
  std::uint32_t crc_ = 0;
  std::uint32_t adler_ = 1;
};

// One entry or table as read, with the bytes of a known record.
struct Item {
  std::string name;
  std::string key;  // the order of a diff: names without regard to case, tables by number
  talver_entry entry{};
  std::vector<char> bytes;
  bool kept = false;
};
using ItemFn = std::function<bool(Item&)>;

bool IsCheckFile(const std::string& name) {
  int count = 0;
  const char* const* names = CheckFileEntries(&count);
  for (int i = 0; i < count; ++i)
    if (SameName(name, names[i])) return true;
  return false;
}

bool IsKnownRecord(const std::string& name) {
  return SameName(name, kConfig4Entry) || IsCheckFile(name) || name == kDkcfTable;
}

// --------------------------------------------------------------- what

enum class Kind { kArchive, kGpfm, kLive };
struct Target {
  Kind kind = Kind::kArchive;
  std::string path;
};

bool EndsWithIgnoringCase(const std::string& text, const char* end) {
  const std::size_t n = std::strlen(end);
  return text.size() >= n && Upper(text.substr(text.size() - n)) == Upper(end);
}

bool IsStamp(const std::string& what) {
  return what.size() == 14 &&
         std::all_of(what.begin(), what.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Resolve(const char* what, Target* target, std::string* why) {
  if (!plat::HasCurrent() || !what || !*what) {
    *why = "no world, or nothing named";
    return false;
  }
  RefreshRootPath();
  const std::string name = what;
  const std::string root = RootPath;
  if (SameName(name, "live")) {
    *target = {Kind::kLive, root + "\\PLAXON\\CONFIG\\"};
  } else if (SameName(name, "DIFF")) {
    *target = {Kind::kArchive, root + "\\PLAXON\\DIFF\\svp_conf.tgz"};
  } else if (IsStamp(name)) {
    *target = {Kind::kArchive, root + "\\plaxon\\others\\backup\\" + name + "\\svp_conf.tgz"};
  } else {
    *target = {EndsWithIgnoringCase(name, ".gpfm") ? Kind::kGpfm : Kind::kArchive, name};
  }
  if (target->path.size() >= MAX_PATH) {
    *why = "path too long";
    return false;
  }
  return true;
}

// --------------------------------------------------------------- archives

struct ArchiveCloser {
  HARC archive;
  ~ArchiveCloser() {
    if (archive) TarCloseArchive(archive);
  }
};

std::string LastTarFailure() {
  char text[512];
  TarLastFailure(text, sizeof text);
  return *text ? text : "damaged";
}

// Reads the current entry's data: into the digest (when asked) and, for a
// known record, into the item.
int ReadEntryData(HARC archive, Item& item, bool digest, std::vector<char>& block) {
  const bool keep = IsKnownRecord(item.name) && item.entry.size <= kLongestKeptRecord;
  if (!digest && !keep) return 0;  // the next find passes over it, read all the same
  Digest sum;
  for (;;) {
    DWORD got = 0;
    if (int code = TarReadEntryData(archive, block.data(), kReadBlock, &got)) return code;
    if (got == 0) break;
    sum.Add(block.data(), got);
    if (keep) item.bytes.insert(item.bytes.end(), block.data(), block.data() + got);
  }
  item.kept = keep;
  if (digest) sum.Text(item.entry.digest);
  return 0;
}

// Reads an archive that is there (an open failure is damage).
int ReadOpenArchive(const std::string& path, bool digests, const ItemFn& each, std::string* why) {
  ArchiveCloser open{TarOpenArchive(0, path.c_str(), 0x200)};
  if (!open.archive) {
    *why = LastTarFailure();
    return 0;
  }
  std::vector<char> block(kReadBlock);
  TarEntryRecord record;
  for (int rc = TarFindFirst(open.archive, "*.*", &record); rc != -1;
       rc = TarFindNext(open.archive, &record)) {
    if (rc != 0) {
      *why = LastTarFailure();
      return 0;
    }
    Item item;
    item.name = record.fileName;
    TarEntryDetail detail{};
    TarGetEntryDetail(open.archive, &detail);
    item.entry.size = detail.size;
    item.entry.modified = detail.modified;
    item.entry.kind = detail.kind;
    item.entry.mode = detail.mode;
    if (detail.kind == 0 && ReadEntryData(open.archive, item, digests, block) != 0) {
      *why = LastTarFailure();
      return 0;
    }
    if (!each(item)) return 0;
  }
  return 1;
}

int ReadArchive(const std::string& path, bool digests, const ItemFn& each, std::string* why) {
  if (!TalVer_FindFile(path.c_str(), 1)) {
    *why = "no archive " + path;
    return -1;
  }
  return ReadOpenArchive(path, digests, each, why);
}

// --------------------------------------------------------------- .gpfm

// Takes every table of a backup file whole and decompresses it.
class TableReader : public GpfmTableSink {
 public:
  TableReader(const ItemFn& each, std::string* why) : each_(each), why_(why) {}
  bool BeginTable(int table, std::uint64_t storedSize, int segments) override {
    item_ = Item{};
    table_ = table;
    item_.name = Printf("table %d", table);
    item_.key = Printf("TABLE %04d", table);
    item_.entry.kind = 3;
    item_.entry.size = storedSize;
    item_.entry.segments = segments;
    digest_ = Digest{};
    if (table != gpfm::kRawTable && storedSize > kLz4InputBufferSize) {
      *why_ = Printf("%s: %llu bytes, more than a table holds (%lu)", item_.name.c_str(),
                     static_cast<unsigned long long>(storedSize),
                     static_cast<unsigned long>(kLz4InputBufferSize));
      return false;
    }
    item_.bytes.reserve(storedSize);
    return true;
  }
  bool TableData(const std::uint8_t* data, std::uint32_t size, int) override {
    digest_.Add(data, size);
    item_.bytes.insert(item_.bytes.end(), data, data + size);
    return true;
  }
  bool EndTable() override {
    digest_.Text(item_.entry.digest);
    if (table_ == gpfm::kRawTable) {
      item_.entry.unpackedSize = item_.bytes.size();
      if (item_.bytes.size() >= kDkcfSize)
        BuildVersionText(item_.bytes.data() + kDkcfVersionOffset, item_.entry.version);
      item_.bytes.resize(std::min<std::size_t>(item_.bytes.size(), kDkcfSize));
      item_.kept = true;
    } else {
      if (output_.empty()) output_.resize(kLz4OutputBufferSize);
      const int length = DecompressTableBlock(
          item_.bytes.data(), static_cast<DWORD>(item_.bytes.size()), output_.data());
      if (length < 0) {
        *why_ = item_.name + ": does not decompress (malformed block)";
        return false;
      }
      item_.entry.unpackedSize = static_cast<std::uint64_t>(length);
      item_.bytes.clear();
    }
    return each_(item_);
  }

 private:
  const ItemFn& each_;
  std::string* why_;
  Item item_;
  int table_ = 0;
  Digest digest_;
  std::vector<char> output_;
};

int ReadGpfm(const std::string& path, const ItemFn& each, std::string* why) {
  if (!TalVer_FindFile(path.c_str(), 1)) {
    *why = "no file " + path;
    return -1;
  }
  why->clear();
  TableReader reader(each, why);
  if (WalkGpfmFile(path.c_str(), reader)) return 1;
  if (why->empty()) *why = *LastGpfmFailure() ? LastGpfmFailure() : "damaged";
  return 0;
}

// --------------------------------------------------------------- live

int DigestFile(const std::string& path, Item& item, std::vector<char>& block) {
  HANDLE file = plat::CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 OPEN_EXISTING, 0);
  if (!file) return 0;
  const bool keep = IsKnownRecord(item.name);
  Digest sum;
  bool ok = true;
  std::uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    if (!plat::ReadFile(file, block.data(), kReadBlock, &got)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    total += got;
    sum.Add(block.data(), got);
    if (keep && total <= kLongestKeptRecord)
      item.bytes.insert(item.bytes.end(), block.data(), block.data() + got);
  }
  plat::CloseHandle(file);
  item.entry.size = total;
  item.kept = keep && total <= kLongestKeptRecord;
  sum.Text(item.entry.digest);
  return ok ? 1 : 0;
}

// The files a backup would pack (the same names the backup list takes),
// named as their entries are.
int WalkLive(const std::string& dir, const std::string& prefix, const ItemFn& each,
             std::vector<char>& block, std::string* why) {
  WIN32_FIND_DATA data;
  HANDLE search = plat::FindFirstFile((dir + "*.*").c_str(), &data);
  if (!search) {
    *why = "cannot search " + dir;
    return 0;
  }
  int result = 1;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == ".." || (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      result = WalkLive(dir + name + "\\", prefix + "/" + name, each, block, why);
    } else if (IsListedFile(name.c_str())) {
      Item item;
      item.name = prefix + "/" + name;
      item.entry.modified = plat::UnixSecondsOf(data.ftLastWriteTime);
      item.entry.mode = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
      if (!DigestFile(dir + name, item, block)) {
        *why = "cannot read " + dir + name;
        result = 0;
      } else if (!each(item)) {
        result = 0;
      }
    }
  } while (result && plat::FindNextFile(search, &data));
  plat::FindClose(search);
  return result;
}

int Read(const Target& target, bool digests, const ItemFn& each, std::string* why) {
  switch (target.kind) {
    case Kind::kGpfm:
      return ReadGpfm(target.path, each, why);
    case Kind::kLive: {
      std::vector<char> block(kReadBlock);
      return WalkLive(target.path, "CONFIG", each, block, why);
    }
    default:
      return ReadArchive(target.path, digests, each, why);
  }
}

// --------------------------------------------------------------- verify

const char* CheckWordInWords(WORD word) {
  switch (word) {
    case 0x400B:
      return "the SVP type is not TQ520";
    case 0x4010:
      return "the controller model differs";
    case 0x4002:
      return "the PCM type differs";
    case 0x400A:
      return "the CONFIG.INF type differs";
    case 0x4009:
      return "the serial number differs";
    default:
      return "an identity value cannot be read";
  }
}

// The identity check of the archive's own identity files against this
// SVP, through the files the check of an archive compares.
int CheckIdentity(const std::map<std::string, std::vector<char>>& files, std::string* why) {
  FlowLock hold;
  if (!hold.Take()) {
    *why = "identity not checked: another flow holds the configuration";
    return -1;
  }
  RefreshRootPath();
  if (!RemoveStaleCheckFiles()) {
    *why = "identity not checked: \\PLAXON\\TMP\\ holds identity files that cannot be removed";
    return -1;
  }
  int result = 1;
  for (const auto& [name, bytes] : files) {
    const std::string path = std::string(RootPath) + "\\PLAXON\\TMP\\" + name.substr(7);
    if (path.size() >= MAX_PATH ||
        !CnfSimpleCnfReaderWriter::WriteContainer(path.c_str(), bytes.data(),
                                                  static_cast<DWORD>(bytes.size()))) {
      *why = "identity not checked: " + path + " cannot be written";
      result = -1;
      break;
    }
  }
  WORD word = 0;
  if (result == 1 && !CheckConfigIdentity(0x1F, &word)) {
    *why = Printf("identity check fails (word 0x%04X): %s", static_cast<unsigned>(word),
                  CheckWordInWords(word));
    result = 0;
  }
  Talver_DeleteCheckFiles();
  return result;
}

// An archive that is there: read whole, the entries a backup must hold,
// and the identity check.
int VerifyOpenArchive(const std::string& path, std::string* why) {
  std::map<std::string, std::vector<char>> checkFiles;
  bool config4 = false;
  int result = ReadOpenArchive(
      path, false,
      [&](Item& item) {
        if (SameName(item.name, kConfig4Entry) && item.entry.kind == 0) config4 = true;
        if (IsCheckFile(item.name) && item.kept) checkFiles[Upper(item.name)] = item.bytes;
        return true;
      },
      why);
  if (result != 1) return result;
  if (!config4) {
    *why = std::string("missing ") + kConfig4Entry;
    return 0;
  }
  int count = 0;
  const char* const* names = CheckFileEntries(&count);
  for (int i = 0; i < count; ++i) {
    if (!checkFiles.count(Upper(names[i]))) {
      *why = std::string("missing ") + names[i];
      return 0;
    }
  }
  return CheckIdentity(checkFiles, why);
}

int VerifyArchive(const Target& target, std::string* why) {
  if (!TalVer_FindFile(target.path.c_str(), 1)) {
    *why = "no archive " + target.path;
    return -1;
  }
  return VerifyOpenArchive(target.path, why);
}

// --------------------------------------------------------------- media

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

void CopyWhy(const std::string& text, char* why, std::size_t size) {
  if (!why || size == 0) return;
  std::snprintf(why, size, "%s", text.c_str());
  if (text.size() >= size && size > 4) std::memcpy(why + size - 4, "...", 4);
}

// --------------------------------------------------------------- diff

std::string FirstLine(const std::vector<char>& bytes) {
  std::string line(bytes.begin(), bytes.end());
  return line.substr(0, line.find_first_of("\r\n"));
}

void DescribeConfigInf(const Item& a, const Item& b, std::vector<std::string>* out) {
  const std::string la = FirstLine(a.bytes), lb = FirstLine(b.bytes);
  char va[kVersionTextSize] = "----", vb[kVersionTextSize] = "----";
  if (la.size() >= 16) BuildVersionText(la.c_str() + 8, va);
  if (lb.size() >= 16) BuildVersionText(lb.c_str() + 8, vb);
  if (std::strcmp(va, vb) != 0)
    out->push_back(Printf("CONFIG.INF version %s -> %s", va, vb));
  else if (la != lb)
    out->push_back("CONFIG.INF first line \"" + la + "\" -> \"" + lb + "\"");
}

void DescribeConfig4(const Item& a, const Item& b, std::vector<std::string>* out) {
  if (a.bytes.size() < sizeof(Config4Record) || b.bytes.size() < sizeof(Config4Record)) {
    out->push_back(Printf("config4 length %zu -> %zu bytes", a.bytes.size(), b.bytes.size()));
    return;
  }
  Config4Record ra, rb;
  std::memcpy(&ra, a.bytes.data(), sizeof ra);
  std::memcpy(&rb, b.bytes.data(), sizeof rb);
  auto field = [out](const char* what, unsigned long x, unsigned long y, const char* form) {
    if (x == y) return;
    char text[160];
    std::snprintf(text, sizeof text, form, what, x, y);
    out->push_back(text);
  };
  field("type", ra.Config4TypeWord, rb.Config4TypeWord, "config4 %s 0x%04lX -> 0x%04lX");
  field("volume count", ra.volumeCount, rb.volumeCount, "config4 %s %lu -> %lu");
  field("volume number", ra.volumeNumber, rb.volumeNumber, "config4 %s %lu -> %lu");
  field("serial number", ra.serialNumber, rb.serialNumber, "config4 %s %lu -> %lu");
  field("archive time (high)", ra.archiveTimeHigh, rb.archiveTimeHigh,
        "config4 %s 0x%08lX -> 0x%08lX");
  field("archive time (low)", ra.archiveTimeLow, rb.archiveTimeLow,
        "config4 %s 0x%08lX -> 0x%08lX");
  if (std::memcmp(ra.head, rb.head, sizeof ra.head) ||
      std::memcmp(ra.tail, rb.tail, sizeof ra.tail))
    out->push_back("config4 bytes not interpreted (0..9, 26..31) differ");
}

// KEY=VALUE lines, keys without regard to case, [section] before a key.
std::map<std::string, std::string> KeyValues(const std::vector<char>& bytes) {
  std::map<std::string, std::string> values;
  std::string section, line;
  std::string text(bytes.begin(), bytes.end());
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      section = line;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) values[section + Upper(line.substr(0, eq))] = line.substr(eq + 1);
  }
  return values;
}

void DescribeKeyValues(const std::string& file, const Item& a, const Item& b,
                       std::vector<std::string>* out) {
  auto va = KeyValues(a.bytes), vb = KeyValues(b.bytes);
  for (const auto& [key, value] : va) {
    auto other = vb.find(key);
    const std::string now = other == vb.end() ? "(none)" : other->second;
    if (now != value) out->push_back(file + " " + key + " " + value + " -> " + now);
  }
  for (const auto& [key, value] : vb)
    if (!va.count(key)) out->push_back(file + " " + key + " (none) -> " + value);
}

void DescribeDkcf(const Item& a, const Item& b, std::vector<std::string>* out) {
  if (a.bytes.size() < kDkcfSize || b.bytes.size() < kDkcfSize) {
    out->push_back("DKCF shorter than its 13088 bytes");
    return;
  }
  if (std::strcmp(a.entry.version, b.entry.version) != 0)
    out->push_back(Printf("DKCF version %s -> %s", a.entry.version, b.entry.version));
  DWORD sa = 0, sb = 0;
  std::memcpy(&sa, a.bytes.data() + kDkcfSerialOffset, sizeof sa);
  std::memcpy(&sb, b.bytes.data() + kDkcfSerialOffset, sizeof sb);
  if (sa != sb)
    out->push_back(Printf("DKCF serial number %lu -> %lu",
                          static_cast<unsigned long>(sa + kDkcfSerialBase),
                          static_cast<unsigned long>(sb + kDkcfSerialBase)));
}

std::vector<std::string> DescribeFields(const Item& a, const Item& b) {
  std::vector<std::string> out;
  if (!a.kept || !b.kept) return out;
  if (SameName(a.name, kConfigInfEntry))
    DescribeConfigInf(a, b, &out);
  else if (SameName(a.name, kConfig4Entry))
    DescribeConfig4(a, b, &out);
  else if (a.name == kDkcfTable)
    DescribeDkcf(a, b, &out);
  else if (IsCheckFile(a.name))
    DescribeKeyValues(a.name.substr(a.name.rfind('/') + 1), a, b, &out);
  return out;
}

int Collect(const char* what, std::map<std::string, Item>* items, std::string* why) {
  Target target;
  if (!Resolve(what, &target, why)) return -1;
  return Read(
      target, true,
      [items](Item& item) {
        std::string key = item.key.empty() ? Upper(item.name) : item.key;
        (*items)[key] = std::move(item);
        return true;
      },
      why);
}

void Emit(talver_change_fn each, void* context, char kind, const std::string& name, const Item* a,
          const Item* b, const char* detail) {
  talver_change change{kind, name.c_str(), a ? &a->entry : nullptr, b ? &b->entry : nullptr,
                       detail};
  if (each) each(&change, context);
}

}  // namespace

int TalverHost_Verify(const char* what, char* why, std::size_t whySize) {
  Target target;
  std::string reason;
  int result = -1;
  if (!Resolve(what, &target, &reason)) {
  } else if (target.kind == Kind::kGpfm) {
    result = ReadGpfm(
        target.path, [](Item&) { return true; }, &reason);
  } else if (target.kind == Kind::kArchive) {
    result = VerifyArchive(target, &reason);
  } else {
    reason = "the live configuration is no backup";
  }
  CopyWhy(result == 1 ? "" : reason, why, whySize);
  return result;
}

int TalverHost_VerifyMedia(talver_volume_fn each, void* context, char* why, std::size_t whySize) {
  MediaRun run{each, context, {}};
  std::string reason;
  const int result = VerifyMedia(run, &reason);
  CopyWhy(result == 1 ? "" : reason, why, whySize);
  return result;
}

int TalverHost_List(const char* what, talver_entry_fn each, void* context, char* why,
                    std::size_t whySize) {
  Target target;
  std::string reason;
  int result = -1;
  if (Resolve(what, &target, &reason)) {
    result = Read(
        target, true,
        [&](Item& item) {
          item.entry.name = item.name.c_str();
          if (each) each(&item.entry, context);
          return true;
        },
        &reason);
  }
  CopyWhy(result == 1 ? "" : reason, why, whySize);
  return result;
}

int TalverHost_Diff(const char* a, const char* b, talver_change_fn each, void* context, char* why,
                    std::size_t whySize) {
  std::map<std::string, Item> left, right;
  std::string reason;
  int result = Collect(a, &left, &reason);
  if (result == 1) result = Collect(b, &right, &reason);
  CopyWhy(result == 1 ? "" : reason, why, whySize);
  if (result != 1) return result;
  for (auto& [key, item] : left) item.entry.name = item.name.c_str();
  for (auto& [key, item] : right) item.entry.name = item.name.c_str();
  auto l = left.begin();
  auto r = right.begin();
  while (l != left.end() || r != right.end()) {
    if (r == right.end() || (l != left.end() && l->first < r->first)) {
      Emit(each, context, '-', l->second.name, &l->second, nullptr, "");
      ++l;
    } else if (l == left.end() || r->first < l->first) {
      Emit(each, context, '+', r->second.name, nullptr, &r->second, "");
      ++r;
    } else {
      const Item& x = l->second;
      const Item& y = r->second;
      if (x.entry.size != y.entry.size || std::strcmp(x.entry.digest, y.entry.digest) != 0) {
        Emit(each, context, '~', y.name, &x, &y, "");
        for (const std::string& field : DescribeFields(x, y))
          Emit(each, context, '=', y.name, nullptr, nullptr, field.c_str());
      }
      ++l;
      ++r;
    }
  }
  return 1;
}
