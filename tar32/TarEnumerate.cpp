// The archiver's enumeration: an archive opened for its entries one at a
// time (name, record, details, data), and the count of its entries.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "Tar32.h"
#include "TarHeader.h"
#include "TarJob.h"
#include "platform/Platform.h"

namespace {

using namespace tar32;

struct OpenArchive {
  ArchiveReader reader;
  std::string pattern = "*.*";
  archive_entry* pending = nullptr;  // the first header, read at open
  bool pendingValid = false;
  bool ended = false;
  archive_entry* current = nullptr;  // the entry the last find returned
  std::string lastName;              // the last entry whose header was read
};

// The last failure of an enumeration call on this thread, in words.
thread_local std::string gLastFailure;

int NoteFailure(OpenArchive& handle, int code) {
  gLastFailure = handle.reader.FailureText();
  if (!handle.lastName.empty()) gLastFailure += " (after entry " + handle.lastName + ")";
  return code;
}

void DosDateTime(time_t when, WORD* date, WORD* time) {
  struct tm t {};
#if defined(_WIN32)
  localtime_s(&t, &when);
#else
  localtime_r(&when, &t);
#endif
  int year = t.tm_year + 1900;
  if (year < 1980) {
    *date = (1 << 5) | 1;
    *time = 0;
    return;
  }
  *date = static_cast<WORD>(((year - 1980) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
  *time = static_cast<WORD>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
}

void FillRecord(archive_entry* entry, TarEntryRecord* record) {
  std::memset(record, 0, sizeof *record);
  const char* name = archive_entry_pathname(entry);
  std::snprintf(record->fileName, sizeof record->fileName, "%s", name ? name : "");
  std::uint64_t size = static_cast<std::uint64_t>(archive_entry_size(entry));
  record->originalSize = static_cast<DWORD>(size);
  record->compressedSize = static_cast<DWORD>(size);
  record->ratio = 1000;
  DosDateTime(archive_entry_mtime(entry), &record->dosDate, &record->dosTime);
  bool directory = archive_entry_filetype(entry) == AE_IFDIR;
  bool writable = (archive_entry_perm(entry) & 0200) != 0;
  std::snprintf(record->attribute, sizeof record->attribute, "%c%c%c-", directory ? 'd' : '-', 'r',
                writable ? 'w' : '-');
  std::snprintf(record->method, sizeof record->method, "-tar-");
}

// The count our own archives record at their end; false for any other file.
bool RecordedCount(const char* archivePath, int* count) {
  FileCloser file;
  file.handle = plat::CreateFile(archivePath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  std::uint64_t size = 0;
  if (!file.handle || !plat::GetFileSizeEx(file.handle, &size) || size < kCountRecordBytes)
    return false;
  unsigned char record[kCountRecordBytes];
  DWORD got = 0;
  std::uint32_t entries = 0;
  if (!plat::SetFilePointerEx(file.handle, static_cast<std::int64_t>(size - sizeof record),
                              FILE_BEGIN, nullptr) ||
      !plat::ReadFile(file.handle, record, sizeof record, &got) || got != sizeof record ||
      !ReadCountRecord(record, size, &entries) || entries > INT32_MAX)
    return false;
  *count = static_cast<int>(entries);
  return true;
}

// The value of a header's number field: octal digits, space or NUL padded,
// or GNU's base-256 (the high bit of the first byte set); false for any
// other form or a negative number.
bool HeaderNumber(const unsigned char* field, std::size_t size, std::uint64_t* value) {
  *value = 0;
  if (field[0] & 0x80) {
    if (field[0] & 0x40) return false;  // negative
    for (std::size_t i = 0; i < size; ++i) {
      if (*value >> 56) return false;
      *value = (*value << 8) | (i == 0 ? field[0] & 0x3F : field[i]);
    }
    return true;
  }
  std::size_t i = 0;
  while (i < size && field[i] == ' ') ++i;
  bool digits = false;
  for (; i < size && field[i] >= '0' && field[i] <= '7'; ++i) {
    *value = *value * 8 + static_cast<unsigned>(field[i] - '0');
    digits = true;
  }
  for (; i < size; ++i)
    if (field[i] != ' ' && field[i] != '\0') return false;
  return digits;
}

// The entries of a plain tar stream counted from its headers alone: each
// header's size tells where the next one begins, so no entry is parsed and
// no data copied. What the walk cannot count as the parser would (a bad
// checksum, a header without the ustar magic, a pax or sparse header, a
// type it does not know, data behind a link or a folder, an empty name)
// makes it give up, and the parser counts.
class HeaderWalk {
 public:
  // Takes the next bytes of the stream; false once it has reached the end
  // or given up.
  bool Take(const unsigned char* data, std::size_t size) {
    while (size > 0 && !ended_ && !gaveUp_) {
      if (skip_ > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(skip_, size));
        if (longName_)
          for (std::size_t i = 0; i < n; ++i)
            if (data[i] != 0) longNameLast_ = data[i];
        skip_ -= n;
        data += n;
        size -= n;
        continue;
      }
      const std::size_t n = std::min(kTarBlock - have_, size);
      std::memcpy(header_ + have_, data, n);
      have_ += n;
      data += n;
      size -= n;
      if (have_ < kTarBlock) continue;
      have_ = 0;
      Header();
    }
    return !ended_ && !gaveUp_;
  }
  // The count, once the stream's end was reached.
  bool Count(int* count) const {
    if (!ended_ || gaveUp_) return false;
    *count = count_;
    return true;
  }

 private:
  void Header() {
    const unsigned char* h = header_;
    // The parser ends at the first zero block, whatever follows.
    ended_ = std::all_of(h, h + kTarBlock, [](unsigned char c) { return c == 0; });
    if (ended_) return;
    // The last character of the entry's name: that of a long-name record
    // before the header, else of the header's own name field.
    const std::size_t length = strnlen(reinterpret_cast<const char*>(h), 100);
    const unsigned char last = longName_ ? longNameLast_ : length ? h[length - 1] : 0;
    const bool named = longName_ || length > 0;
    longName_ = false;
    std::uint64_t size = 0;
    if (!ChecksumHolds() || std::memcmp(h + 257, "ustar", 5) != 0 ||
        !HeaderNumber(h + 124, 12, &size) || count_ == INT_MAX) {
      gaveUp_ = true;
      return;
    }
    switch (h[156]) {
      case '0':
      case '\0':
      case '7':
        // A file whose name ends in a separator is a folder to the parser,
        // which then takes no data for it.
        ++count_;
        gaveUp_ = !named || (last == '/' && size != 0);
        break;
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
        ++count_;
        gaveUp_ = !named || size != 0;
        break;
      case 'L':  // GNU's long name of the next header
        longName_ = true;
        longNameLast_ = 0;
        break;
      case 'K':  // GNU's long link target of the next header
        break;
      default:
        gaveUp_ = true;
        return;
    }
    skip_ = size + PadToBlock(size);
  }
  // The stored sum of the header's bytes, its own field counted as spaces,
  // unsigned or signed as old writers made it.
  bool ChecksumHolds() const {
    std::uint64_t stored = 0;
    if (!HeaderNumber(header_ + 148, 8, &stored)) return false;
    std::int64_t unsignedSum = 0, signedSum = 0;
    for (std::size_t i = 0; i < kTarBlock; ++i) {
      const unsigned char c = i >= 148 && i < 156 ? ' ' : header_[i];
      unsignedSum += c;
      signedSum += static_cast<signed char>(c);
    }
    return static_cast<std::int64_t>(stored) == unsignedSum ||
           static_cast<std::int64_t>(stored) == signedSum;
  }

  unsigned char header_[kTarBlock];
  std::size_t have_ = 0;
  std::uint64_t skip_ = 0;
  int count_ = 0;
  bool ended_ = false, gaveUp_ = false;
  // A long-name record came before the next header (its data is passed
  // over first).
  bool longName_ = false;
  unsigned char longNameLast_ = 0;
};

// The count of the header walk; false when it gave up or the archive could
// not be read to its end.
bool CountByHeaders(const char* archivePath, int* count) {
  FileCloser file;
  file.handle = plat::CreateFile(archivePath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!file.handle) return false;
  GzipReader reader(file.handle);
  if (!reader.Start()) return false;
  HeaderWalk walk;
  const void* data = nullptr;
  std::size_t size = 0;
  while (reader.Next(&data, &size))
    if (!walk.Take(static_cast<const unsigned char*>(data), size)) break;
  return walk.Count(count) && *count >= 0;
}

}  // namespace

HARC TarOpenArchive(HWND, const char* archivePath, DWORD) {
  gLastFailure.clear();
  if (!archivePath) return nullptr;
  auto handle = std::make_unique<OpenArchive>();
  if (int code = handle->reader.Open(archivePath)) {
    gLastFailure = code == kTarErrorArchive ? "cannot be opened" : handle->reader.FailureText();
    return nullptr;
  }
  int rc = handle->reader.NextHeader(&handle->pending);
  if (rc == 1)
    handle->pendingValid = true;
  else if (rc == 0)
    handle->ended = true;
  if (rc < 0 || rc > 1 || (rc == 0 && handle->reader.Drain() != 0))
    return NoteFailure(*handle, rc), nullptr;
  return handle.release();
}

int TarCloseArchive(HARC archive) {
  delete static_cast<OpenArchive*>(archive);
  return 0;
}

int TarFindNext(HARC archive, void* entry558) {
  auto* handle = static_cast<OpenArchive*>(archive);
  if (!handle || !entry558) return kTarErrorCommand;
  for (;;) {
    archive_entry* entry = nullptr;
    if (handle->pendingValid) {
      entry = handle->pending;
      handle->pendingValid = false;
    } else {
      if (handle->ended) return -1;
      handle->current = nullptr;
      int rc = handle->reader.NextHeader(&entry);
      if (rc == 0) {
        handle->ended = true;
        if (int code = handle->reader.Drain()) return NoteFailure(*handle, code);
        return -1;
      }
      if (rc != 1) return NoteFailure(*handle, rc);
    }
    const char* name = archive_entry_pathname(entry);
    handle->lastName = name ? name : "";
    if (tar32::WildcardMatch(handle->pattern.c_str(), name ? name : "")) {
      FillRecord(entry, static_cast<TarEntryRecord*>(entry558));
      handle->current = entry;
      return 0;
    }
  }
}

int TarFindFirst(HARC archive, const char* pattern, void* entry558) {
  auto* handle = static_cast<OpenArchive*>(archive);
  if (!handle) return kTarErrorCommand;
  handle->pattern = pattern && *pattern ? pattern : "*.*";
  return TarFindNext(archive, entry558);
}

int TarGetEntryDetail(HARC archive, TarEntryDetail* detail) {
  auto* handle = static_cast<OpenArchive*>(archive);
  if (!handle || !detail || !handle->current) return kTarErrorCommand;
  archive_entry* entry = handle->current;
  *detail = TarEntryDetail{};
  detail->size = static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry)));
  detail->modified = static_cast<std::int64_t>(archive_entry_mtime(entry));
  const auto type = archive_entry_filetype(entry);
  detail->kind = type == AE_IFREG ? 0 : type == AE_IFDIR ? 1 : 2;
  detail->mode = static_cast<DWORD>(archive_entry_perm(entry));
  return 0;
}

int TarReadEntryData(HARC archive, void* buffer, DWORD size, DWORD* got) {
  auto* handle = static_cast<OpenArchive*>(archive);
  if (!handle || !buffer || !got || !handle->current) return kTarErrorCommand;
  *got = 0;
  la_ssize_t n = archive_read_data(handle->reader.Get(), buffer, size);
  if (n < 0) return NoteFailure(*handle, handle->reader.FailureCode());
  *got = static_cast<DWORD>(n);
  return 0;
}

int TarLastFailure(char* text, DWORD size) {
  if (!text || size == 0) return 0;
  std::snprintf(text, size, "%s", gLastFailure.c_str());
  return gLastFailure.size() < size ? 1 : 0;
}

int TarGetFileCount(const char* archivePath) {
  if (!archivePath) return -1;
  int recorded = 0;
  if (RecordedCount(archivePath, &recorded)) return recorded;
  if (CountByHeaders(archivePath, &recorded)) return recorded;
  ArchiveReader reader;
  if (reader.Open(archivePath)) return -1;
  int count = 0;
  for (;;) {
    archive_entry* entry = nullptr;
    int rc = reader.NextHeader(&entry);
    if (rc == 0) return count;
    if (rc != 1) return -1;
    ++count;
  }
}
