// Host API for svpconf backups --verify, ls and diff: the HDD backups,
// archives, .gpfm files and the live configuration read through the
// system's own readers (the archiver's enumeration, the backup-file walk,
// the table decompression, the identity checks), streamed, nothing unpacked.
#include "host/HostInspect.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/CnfCmpThd.h"
#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/CnfCmpThd2.h"
#include "backupfile/CnfSimpleCnfReaderWriter.h"
#include "backupfile/GpfmFormat.h"
#include "common/CnfFunc.h"
#include "common/FlowLock.h"
#include "common/Globals.h"
#include "common/ResultWords.h"
#include "host/talver_host.h"
#include "platform/Platform.h"
#include "platform/Temporary.h"
#include "tar32/Tar32.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

#ifdef TALVER_HAVE_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif
namespace inspect {
// Known records are small; a larger one is compared by digest only.
constexpr std::uint64_t kLongestKeptRecord = 1u << 16;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool SameName(const std::string& a, const char* b) { return Upper(a) == Upper(b); }

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
      if (plat::IsTemporaryName(name)) continue;  // a folder on its way
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
    case kWordWrongMedium:
      return "the SVP type is not TQ520";
    case kWordModelMismatch:
      return "the controller model differs";
    case kWordPcmTypeMismatch:
      return "the PCM type differs";
    case kWordConfigTypeMismatch:
      return "the CONFIG.INF type differs";
    case kWordSerialMismatch:
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

void CopyWhy(const std::string& text, char* why, std::size_t size) {
  if (!why || size == 0) return;
  std::snprintf(why, size, "%s", text.c_str());
  if (text.size() >= size && size > 4) std::memcpy(why + size - 4, "...", 4);
}

}  // namespace inspect

using namespace inspect;

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
