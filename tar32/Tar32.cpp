// Archiver stand-in: gzip-compressed POSIX tar archives through libarchive,
// every file reached through the platform layer (docs/archiver.md).
#include "Tar32.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TarCommand.h"
#include "TarGzip.h"
#include "TarHeader.h"
#include "TarNotify.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"
#include "platform/Temporary.h"
#include "platform/Win.h"

namespace {

using tar32::TarCommand;

std::atomic<HWND> gOwnerWindow{0};
std::atomic<bool> gCursorMode{false};

constexpr std::size_t kFileBlock = 1u << 20;
// libdeflate's level 4 comes within 2 % of zlib's level 6 in size at three
// times its speed; zlib stays at 6.
#ifdef TALVER_HAVE_LIBDEFLATE
constexpr int kCompressionLevel = 4;
#else
constexpr int kCompressionLevel = 6;
#endif
constexpr int kCompressionThreads = 2;
constexpr std::uint64_t kLongestListFile = 16u << 20;

// ---------------------------------------------------------------- paths

// dir + "\" + the components; false when it does not fit MAX_PATH.
bool JoinPath(const std::string& dir, const std::vector<std::string>& parts, std::string* out) {
  std::string path = dir;
  for (const std::string& part : parts) {
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    path += part;
  }
  *out = path;
  return path.size() < MAX_PATH;
}

// Splits an entry or list name at "/" and "\" into safe components: no
// absolute name, no drive, no "..". "." components and empty ones vanish.
bool SafeComponents(const std::string& name, std::vector<std::string>* parts) {
  parts->clear();
  if (name.empty()) return true;
  if (name[0] == '/' || name[0] == '\\') return false;
  if (name.find(':') != std::string::npos) return false;  // "C:..." or a stream name
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts->push_back(part);
    start = end + 1;
  }
  return true;
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = plat::GetFileAttributes(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// True when dir + parts, or a folder on its way below dir, is a link.
bool ReachedThroughLink(const std::string& dir, const std::vector<std::string>& parts) {
  std::string path = dir;
  for (const std::string& part : parts) {
    if (!JoinPath(path, {part}, &path)) return false;
    if (IsLink(plat::GetFileAttributes(path.c_str()))) return true;
  }
  return false;
}

// Creates a new file beside `final` under a temporary name of its own
// (exclusively, so neither an existing file nor an entry unpacked before is
// ever overwritten).
int CreateTemporary(const std::string& final, std::string* temporary, HANDLE* handle,
                    int failureCode) {
  *handle = plat::CreateTemporaryBeside(final, temporary);
  if (*handle) return 0;
  return plat::GetLastError() == ERROR_FILENAME_EXCED_RANGE ? kTarErrorPath : failureCode;
}

// The folders the running extraction has made or found in place (no link,
// no file), so that the entries after the first in a folder ask nothing.
thread_local std::set<std::string> gFoldersMade;

// Creates dir + parts (each level) where missing.
int MakeDirectories(const std::string& dir, const std::vector<std::string>& parts) {
  std::string path = dir;
  for (const std::string& part : parts) {
    if (!JoinPath(path, {part}, &path)) return kTarErrorPath;
    if (gFoldersMade.count(path)) continue;
    DWORD attributes = plat::GetFileAttributes(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!plat::CreateDirectory(path.c_str()) && !IsDirectory(path)) return kTarErrorTarget;
    } else if (IsLink(attributes)) {
      return kTarErrorUnsafe;  // a linked folder may lead anywhere
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return kTarErrorTarget;
    }
    gFoldersMade.insert(path);
  }
  return 0;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  HANDLE file = plat::CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!file) return false;
  text->clear();
  char buffer[64 * 1024];
  bool ok = true;
  for (;;) {
    DWORD got = 0;
    if (!plat::ReadFile(file, buffer, sizeof buffer, &got)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    text->append(buffer, got);
    if (text->size() > kLongestListFile) {
      ok = false;
      break;
    }
  }
  plat::CloseHandle(file);
  return ok;
}

// Closes a platform file when it goes out of scope.
struct FileCloser {
  HANDLE handle = nullptr;
  ~FileCloser() { Close(); }
  bool Close() {
    bool ok = true;
    if (handle) ok = plat::CloseHandle(handle) != 0;
    handle = nullptr;
    return ok;
  }
};

struct ArchiveReadFree {
  void operator()(archive* a) const { archive_read_free(a); }
};

// ---------------------------------------------------------------- progress

// Sends the job's progress to the owner window when the command asked for it;
// without an owner window (none set, or one that is gone) the archiver shows
// its own dialog over the job's total of entries.
class Progress {
 public:
  Progress(int display, const char* caption, const std::function<int()>& total) {
    if (display != 1) return;
    window_ = gOwnerWindow.load();
    if (window_ && plat::IsWindow(window_)) return;
    window_ = dialog_.Open(caption, total()) ? dialog_.Window() : 0;
  }
  void Opened() { Send(kTarProgressOpened, nullptr); }
  void Entry(const std::string& name, const std::string& file, std::uint64_t size) {
    if (!window_) return;
    TarProgressRecord record{};
    record.fileSize = static_cast<DWORD>(size);
    std::snprintf(record.fileName, sizeof record.fileName, "%s", name.c_str());
    std::snprintf(record.destination, sizeof record.destination, "%s", file.c_str());
    Send(kTarProgressEntry, &record);
  }
  void Ended() { Send(kTarProgressEnded, nullptr); }

 private:
  void Send(int code, const TarProgressRecord* record) {
    if (window_) tar32::NotifyOwner(window_, code, record);
  }
  HWND window_ = 0;
  tar32::ProgressDialog dialog_;
};

int ReaderFailureCode(const tar32::GzipReader& reader) {
  switch (reader.Failure()) {
    case tar32::ReadFailure::kRead:
      return kTarErrorArchive;
    case tar32::ReadFailure::kMemory:
      return kTarErrorResources;
    default:
      return kTarErrorFormat;
  }
}

// ---------------------------------------------------------------- create

// Every file below dir, as "/"-separated names relative to it.
bool CollectTree(const std::string& dir, const std::string& prefix,
                 std::vector<std::string>* names) {
  std::string pattern;
  if (!JoinPath(dir, {"*.*"}, &pattern)) return false;
  WIN32_FIND_DATA data;
  HANDLE search = plat::FindFirstFile(pattern.c_str(), &data);
  if (!search) return true;
  bool ok = true;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string relative = prefix.empty() ? name : prefix + "/" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      continue;  // a link is not part of the tree: never followed
    } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      std::string sub;
      ok = JoinPath(dir, {name}, &sub) && CollectTree(sub, relative, names);
    } else {
      names->push_back(relative);
    }
  } while (ok && plat::FindNextFile(search, &data));
  if (ok) ok = plat::SearchEnded();
  plat::FindClose(search);
  return ok;
}

int GatherCreateNames(const TarCommand& cmd, std::vector<std::string>* names) {
  if (!cmd.listFile.empty()) {
    std::string text;
    if (!ReadWholeFile(cmd.listFile, &text)) return kTarErrorListFile;
    for (std::string& name : tar32::SplitListText(text)) names->push_back(std::move(name));
  }
  for (const std::string& name : cmd.names) {
    if (name == "*.*" || name == "*") {
      if (!CollectTree(cmd.directory, "", names)) return kTarErrorPath;
    } else {
      names->push_back(name);
    }
  }
  return 0;
}

// Packs one file (or directory) into the archive.
int AddEntry(tar32::GzipWriter& writer, const std::string& directory, const std::string& listed,
             std::vector<char>& buffer, Progress& progress) {
  std::vector<std::string> parts;
  if (!SafeComponents(listed, &parts) || parts.empty()) return kTarErrorUnsafe;
  std::string path;
  if (!JoinPath(directory, parts, &path)) return kTarErrorPath;
  // A listed link, or a name below a linked folder, could pack anything.
  if (ReachedThroughLink(directory, parts)) return kTarErrorUnsafe;
  WIN32_FIND_DATA data;
  HANDLE search = plat::FindFirstFile(path.c_str(), &data);
  if (!search) return kTarErrorSource;
  plat::FindClose(search);

  tar32::TarHeaderFields fields;
  for (const std::string& part : parts) fields.name += (fields.name.empty() ? "" : "/") + part;
  const std::string name = fields.name;
  fields.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  fields.mtime = plat::UnixSecondsOf(data.ftLastWriteTime);
  std::vector<unsigned char> header;
  if (fields.directory) {
    fields.name += "/";
    fields.mode = readOnly ? 0555 : 0755;
    progress.Entry(name, path, 0);
    tar32::AppendTarHeader(fields, &header);
    return writer.Write(header.data(), header.size()) ? 0 : kTarErrorWrite;
  }

  FileCloser file;
  file.handle = plat::CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!file.handle) return kTarErrorSource;
  if (!plat::GetFileSizeEx(file.handle, &fields.size)) return kTarErrorSource;
  fields.mode = readOnly ? 0444 : 0644;
  progress.Entry(name, path, fields.size);
  tar32::AppendTarHeader(fields, &header);
  if (!writer.Write(header.data(), header.size())) return kTarErrorWrite;
  std::uint64_t remaining = fields.size;
  while (remaining > 0) {
    if (plat::StopRequested()) return kTarErrorStopped;
    DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(remaining, buffer.size()));
    DWORD got = 0;
    if (!plat::ReadFile(file.handle, buffer.data(), want, &got)) return kTarErrorSource;
    if (got == 0) return kTarErrorSource;  // the file shrank while it was packed
    if (!writer.Write(buffer.data(), got)) return kTarErrorWrite;
    remaining -= got;
  }
  static const char kZeros[tar32::kTarBlock] = {};
  return writer.Write(kZeros, tar32::PadToBlock(fields.size)) ? 0 : kTarErrorWrite;
}

// The end of the tar stream: two zero blocks, then zeros to a whole record.
bool PutEnd(tar32::GzipWriter& writer, std::uint64_t written) {
  static const char kZeros[tar32::kTarRecord] = {};
  std::uint64_t total = written + 2 * tar32::kTarBlock;
  std::size_t tail =
      2 * tar32::kTarBlock + (tar32::kTarRecord - total % tar32::kTarRecord) % tar32::kTarRecord;
  while (tail > 0) {
    std::size_t piece = std::min(tail, sizeof kZeros);
    if (!writer.Write(kZeros, piece)) return false;
    tail -= piece;
  }
  return true;
}

int RunCreate(const TarCommand& cmd, int* entries) {
  std::vector<std::string> names;
  if (int code = GatherCreateNames(cmd, &names)) return code;
  if (!IsDirectory(cmd.directory)) return kTarErrorSource;

  std::string temporary;
  FileCloser out;
  if (int code = CreateTemporary(cmd.archive, &temporary, &out.handle, kTarErrorArchive))
    return code;

  int code = 0;
  {
    Progress progress(cmd.display, "Creating archive",
                      [&names] { return static_cast<int>(names.size()); });
    tar32::GzipWriter writer(out.handle, kCompressionLevel, kCompressionThreads);
    std::vector<char> buffer;
    try {
      buffer.resize(kFileBlock);
    } catch (...) {
      code = kTarErrorResources;
    }
    if (!code && !writer.Start()) code = kTarErrorResources;
    if (!code) progress.Opened();
    for (std::size_t i = 0; !code && i < names.size(); ++i) {
      if (plat::StopRequested()) {
        code = kTarErrorStopped;
        break;
      }
      code = AddEntry(writer, cmd.directory, names[i], buffer, progress);
      if (!code) ++*entries;
    }
    if (!code && !PutEnd(writer, writer.BytesIn())) code = kTarErrorWrite;
    if (!code && !writer.Finish(static_cast<std::uint32_t>(*entries))) code = kTarErrorWrite;
    if (code) writer.Abort();
    progress.Ended();
  }
  // The archive is on the disk, bytes and name, before it replaces the old
  // one and before any caller counts it.
  if (code) {
    out.Close();
  } else if (!plat::CommitTemporary(std::exchange(out.handle, nullptr), temporary, cmd.archive)) {
    code = kTarErrorArchive;
  }
  if (code) plat::DeleteFile(temporary.c_str());
  return code;
}

// ---------------------------------------------------------------- extract

struct ReadContext {
  tar32::GzipReader* reader;
};

la_ssize_t ReadCallback(archive*, void* data, const void** buffer) {
  auto* ctx = static_cast<ReadContext*>(data);
  std::size_t size = 0;
  if (!ctx->reader->Next(buffer, &size)) {
    if (ctx->reader->Failure() != tar32::ReadFailure::kNone) return -1;
    return 0;
  }
  return static_cast<la_ssize_t>(size);
}

// An archive open for reading: platform file, read-ahead decompression, parser.
class ArchiveReader {
 public:
  int Open(const std::string& path) {
    file_.handle = plat::CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (!file_.handle) return kTarErrorArchive;
    reader_ = std::make_unique<tar32::GzipReader>(file_.handle);
    ctx_.reader = reader_.get();
    if (!reader_->Start()) return kTarErrorResources;
    a_.reset(archive_read_new());
    if (!a_ || archive_read_support_format_tar(a_.get()) != ARCHIVE_OK ||
        archive_read_support_format_gnutar(a_.get()) != ARCHIVE_OK)
      return kTarErrorResources;
    if (archive_read_open(a_.get(), &ctx_, nullptr, ReadCallback, nullptr) != ARCHIVE_OK)
      return FailureCode();
    return 0;
  }
  // 1: an entry, 0: the end, a failure code otherwise.
  int NextHeader(archive_entry** entry) {
    int rc = archive_read_next_header(a_.get(), entry);
    if (rc == ARCHIVE_EOF) return 0;
    if (rc < ARCHIVE_WARN) return FailureCode();
    return 1;
  }
  int FailureCode() const {
    if (reader_ && reader_->Failure() != tar32::ReadFailure::kNone)
      return ReaderFailureCode(*reader_);
    return kTarErrorFormat;
  }
  // Reads what follows the tar stream's end to its own end, so that a
  // damaged or foreign member behind the last entry is found too.
  int Drain() {
    const void* data = nullptr;
    std::size_t size = 0;
    while (reader_->Next(&data, &size)) {
    }
    return reader_->Failure() != tar32::ReadFailure::kNone ? ReaderFailureCode(*reader_) : 0;
  }
  // The failure in words: the gzip layer's place, else the tar parser's.
  std::string FailureText() const {
    if (reader_ && !reader_->FailureText().empty()) return reader_->FailureText();
    const char* why = a_ ? archive_error_string(a_.get()) : nullptr;
    return std::string("tar stream: ") + (why ? why : "damaged");
  }
  archive* Get() { return a_.get(); }
  ~ArchiveReader() {
    // Stop the producer first: libarchive may still hold its last block.
    if (reader_) reader_->Stop();
    a_.reset();
  }

 private:
  FileCloser file_;
  std::unique_ptr<tar32::GzipReader> reader_;
  ReadContext ctx_{};
  std::unique_ptr<archive, ArchiveReadFree> a_;
};

// The folders the running extraction has written into, each cleared of the
// temporaries an earlier, killed call left there before its first file.
thread_local std::set<std::string> gFoldersCleared;

void ClearStaleTemporaries(const std::string& destination) {
  const std::string folder = plat::FolderOf(destination);
  if (!folder.empty() && gFoldersCleared.insert(folder).second) plat::RemoveTemporariesIn(folder);
}

// The folders that got new names in the running extraction, flushed once
// each at its end: one flush of a folder per file would cost a synchronous
// write of the folder for every entry.
thread_local std::set<std::string> gFoldersToFlush;

bool CommitName(HANDLE file, const std::string& temporary, const std::string& final) {
  if (!plat::CommitTemporary(file, temporary, final, false)) return false;
  gFoldersToFlush.insert(plat::FolderOf(final));
  return true;
}

// False when a folder cannot be flushed: its new names may not outlive a
// power cut, so the job does not report them as done.
bool FlushNewNames() {
  bool ok = true;
  for (const std::string& folder : gFoldersToFlush)
    if (!folder.empty() && !plat::FlushFolder(folder.c_str())) ok = false;
  gFoldersToFlush.clear();
  return ok;
}

// Room for `size` bytes on the drive of `destination`: more than the
// drive's free space is refused before anything is written. A sparse entry
// counts at its full size, whatever its holes may save.
// The drive is asked again only when the entry would take more than half of
// what it had free at the last question, less what was written since (a
// drive that fills meanwhile fails the write, with the same code).
thread_local std::uint64_t gRoomLeft = 0;

int CheckRoom(const std::string& destination, std::uint64_t size) {
  if (size == 0) return 0;
  if (size > gRoomLeft / 2) {
    std::uint64_t freeBytes = 0;
    if (!plat::GetFreeBytesOfDrive(destination.c_str(), &freeBytes)) return kTarErrorWrite;
    gRoomLeft = freeBytes;
    if (size > freeBytes) return kTarErrorWrite;
  }
  gRoomLeft -= size;
  return 0;
}

// Writes the current entry's data blocks at their offsets into `out`, which
// ends `size` bytes long. The gap before a block, and after the last one
// (the holes of a sparse entry), is passed over by the file pointer and read
// back as zeros; a block out of order or past the entry's size is damage.
int WriteEntryData(archive* a, HANDLE out, std::int64_t size, const ArchiveReader& r) {
  std::int64_t end = 0;  // where the data written so far ends
  for (;;) {
    const void* block = nullptr;
    size_t length = 0;
    la_int64_t offset = 0;
    int rc = archive_read_data_block(a, &block, &length, &offset);
    if (rc == ARCHIVE_EOF) break;
    if (rc < ARCHIVE_WARN) return r.FailureCode();
    if (plat::StopRequested()) return kTarErrorStopped;
    if (offset < end || offset > size || static_cast<std::uint64_t>(size - offset) < length)
      return kTarErrorFormat;
    if (length == 0) continue;
    if (offset > end && !plat::SetFilePointerEx(out, offset, FILE_BEGIN, nullptr))
      return kTarErrorWrite;
    DWORD done = 0;
    if (!plat::WriteFile(out, block, static_cast<DWORD>(length), &done) || done != length)
      return kTarErrorWrite;
    end = offset + static_cast<std::int64_t>(length);
  }
  if (end < size &&
      (!plat::SetFilePointerEx(out, size, FILE_BEGIN, nullptr) || !plat::SetEndOfFile(out)))
    return kTarErrorWrite;
  // Never a short file taken as whole.
  std::uint64_t written = 0;
  if (!plat::GetFileSizeEx(out, &written) || written != static_cast<std::uint64_t>(size))
    return kTarErrorWrite;
  return 0;
}

// Copies the data of the current entry (`size` bytes as it stands in the
// archive) into a new file under a temporary name and renames it into place.
int ExtractFile(archive* a, const std::string& destination, int perm, std::int64_t size,
                const ArchiveReader& r) {
  const DWORD attributes = plat::GetFileAttributes(destination.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return kTarErrorWrite;
  if (size < 0) return kTarErrorFormat;
  ClearStaleTemporaries(destination);
  if (int code = CheckRoom(destination, static_cast<std::uint64_t>(size))) return code;
  std::string temporary;
  FileCloser out;
  if (int code = CreateTemporary(destination, &temporary, &out.handle, kTarErrorWrite)) return code;
  int code = WriteEntryData(a, out.handle, size, r);
  if (!code) {
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY))
      plat::SetFileAttributes(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
    // The bytes are on the disk before the name; the names of a folder are
    // flushed together before the job reports them (FlushNewNames).
    if (!CommitName(std::exchange(out.handle, nullptr), temporary, destination))
      code = kTarErrorWrite;
  }
  if (code) {
    out.Close();
    plat::DeleteFile(temporary.c_str());
    return code;
  }
  if ((perm & 0200) == 0) plat::SetFileAttributes(destination.c_str(), FILE_ATTRIBUTE_READONLY);
  return 0;
}

// A hard link stays inside the tree: its data is copied from the file it names.
int CopyExtracted(const std::string& from, const std::string& to) {
  FileCloser in;
  in.handle = plat::CreateFile(from.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!in.handle) return kTarErrorNotFound;
  // The copy writes every byte, the holes of a sparse original too.
  std::uint64_t size = 0;
  if (!plat::GetFileSizeEx(in.handle, &size)) return kTarErrorWrite;
  if (int code = CheckRoom(to, size)) return code;
  std::string temporary;
  FileCloser out;
  if (int code = CreateTemporary(to, &temporary, &out.handle, kTarErrorWrite)) return code;
  std::vector<char> buffer(64 * 1024);
  int code = 0;
  for (;;) {
    DWORD got = 0, done = 0;
    if (!plat::ReadFile(in.handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
      code = kTarErrorWrite;
      break;
    }
    if (got == 0) break;
    if (!plat::WriteFile(out.handle, buffer.data(), got, &done) || done != got) {
      code = kTarErrorWrite;
      break;
    }
  }
  if (!code && !CommitName(std::exchange(out.handle, nullptr), temporary, to))
    code = kTarErrorWrite;
  if (code) {
    out.Close();
    plat::DeleteFile(temporary.c_str());
  }
  return code;
}

// True when a symbolic link stored at parts (its own name) points inside the tree.
bool LinkStaysInside(const std::vector<std::string>& parts, const std::string& target) {
  if (target.empty() || target[0] == '/' || target[0] == '\\' ||
      target.find(':') != std::string::npos)
    return false;
  std::vector<std::string> where(parts.begin(), parts.end() - 1);
  std::size_t start = 0;
  while (start <= target.size()) {
    std::size_t end = target.find_first_of("/\\", start);
    if (end == std::string::npos) end = target.size();
    std::string part = target.substr(start, end - start);
    if (part == "..") {
      if (where.empty()) return false;
      where.pop_back();
    } else if (!part.empty() && part != ".") {
      where.push_back(part);
    }
    start = end + 1;
  }
  return true;
}

class Selection {
 public:
  int Load(const TarCommand& cmd) {
    if (!cmd.listFile.empty()) {
      std::string text;
      if (!ReadWholeFile(cmd.listFile, &text)) return kTarErrorListFile;
      for (std::string& name : tar32::SplitListText(text)) listed_.insert(std::move(name));
      all_ = false;
    }
    for (const std::string& pattern : cmd.names) {
      patterns_.push_back(pattern);
      all_ = false;
    }
    return 0;
  }
  bool Selected(const std::string& name) {
    if (all_) return true;
    if (listed_.count(name)) {
      found_.insert(name);
      return true;
    }
    for (const std::string& p : patterns_)
      if (tar32::WildcardMatch(p.c_str(), name.c_str())) return true;
    return false;
  }
  bool AllListedFound() const { return found_.size() == listed_.size(); }

 private:
  bool all_ = true;
  std::set<std::string> listed_;
  std::set<std::string> found_;
  std::vector<std::string> patterns_;
};

int ExtractEntry(const TarCommand& cmd, ArchiveReader& reader, archive_entry* entry,
                 Progress& progress) {
  const char* rawName = archive_entry_pathname(entry);
  if (!rawName) return kTarErrorFormat;
  std::string name = rawName;
  std::vector<std::string> parts;
  if (!SafeComponents(name, &parts)) return kTarErrorUnsafe;
  if (parts.empty()) return 0;
  mode_t type = archive_entry_filetype(entry);
  const char* hardlink = archive_entry_hardlink(entry);
  if (!cmd.useDirectory) {
    if (type == AE_IFDIR) return 0;
    parts.erase(parts.begin(), parts.end() - 1);
  }
  std::string destination;
  if (!JoinPath(cmd.directory, parts, &destination)) return kTarErrorPath;
  progress.Entry(name, destination, static_cast<std::uint64_t>(archive_entry_size(entry)));
  std::vector<std::string> parents(parts.begin(), parts.end() - 1);

  if (hardlink) {
    std::vector<std::string> linkParts;
    if (!SafeComponents(hardlink, &linkParts) || linkParts.empty()) return kTarErrorUnsafe;
    if (!cmd.useDirectory) linkParts.erase(linkParts.begin(), linkParts.end() - 1);
    std::string source;
    if (!JoinPath(cmd.directory, linkParts, &source)) return kTarErrorPath;
    if (int code = MakeDirectories(cmd.directory, parents)) return code;
    return CopyExtracted(source, destination);
  }
  switch (type) {
    case AE_IFDIR:
      return MakeDirectories(cmd.directory, parts);
    case AE_IFREG:
      if (int code = MakeDirectories(cmd.directory, parents)) return code;
      return ExtractFile(reader.Get(), destination, static_cast<int>(archive_entry_perm(entry)),
                         archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1, reader);
    case AE_IFLNK: {
      const char* target = archive_entry_symlink(entry);
      // The platform has no links: one that stays inside is passed over.
      return LinkStaysInside(parts, target ? target : "") ? 0 : kTarErrorUnsafe;
    }
    default:
      return 0;  // devices and pipes are never restored
  }
}

int RunExtract(const TarCommand& cmd, int* entries) {
  if (!IsDirectory(cmd.directory)) return kTarErrorTarget;
  gFoldersCleared.clear();
  gFoldersMade.clear();
  gFoldersToFlush.clear();
  gRoomLeft = 0;
  Selection selection;
  if (int code = selection.Load(cmd)) return code;
  Progress progress(cmd.display, "Extracting archive",
                    [&cmd] { return std::max(0, TarGetFileCount(cmd.archive.c_str())); });
  int code = 0;
  {
    ArchiveReader reader;
    code = reader.Open(cmd.archive);
    if (!code) progress.Opened();
    while (!code) {
      if (plat::StopRequested()) {
        code = kTarErrorStopped;
        break;
      }
      archive_entry* entry = nullptr;
      int rc = reader.NextHeader(&entry);
      if (rc == 0) break;
      if (rc != 1) {
        code = rc;
        break;
      }
      const char* name = archive_entry_pathname(entry);
      if (!name) {
        code = kTarErrorFormat;
        break;
      }
      if (!selection.Selected(name)) continue;
      code = ExtractEntry(cmd, reader, entry, progress);
      if (!code) ++*entries;
    }
  }
  if (!FlushNewNames() && !code) code = kTarErrorWrite;
  if (!code && !selection.AllListedFound()) code = kTarErrorNotFound;
  progress.Ended();
  return code;
}

const char* FailureText(int code) {
  switch (code) {
    case kTarErrorCommand:
      return "malformed command line";
    case kTarErrorArchive:
      return "archive cannot be opened or created";
    case kTarErrorListFile:
      return "list file cannot be read";
    case kTarErrorSource:
      return "file to pack missing or unreadable";
    case kTarErrorWrite:
      return "write failed";
    case kTarErrorFormat:
      return "not a gzip tar archive or damaged";
    case kTarErrorUnsafe:
      return "entry outside the target refused";
    case kTarErrorStopped:
      return "stopped";
    case kTarErrorResources:
      return "out of resources";
    case kTarErrorTarget:
      return "target directory missing";
    case kTarErrorNotFound:
      return "named entry not in the archive";
    case kTarErrorPath:
      return "path too long";
    default:
      return "failed";
  }
}

// ---------------------------------------------------------------- enumeration

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

}  // namespace

int Tar(HWND, const char* commandLine, char* output, DWORD outputSize) {
  TarCommand cmd;
  int entries = 0;
  int code = 0;
  if (!tar32::ParseTarCommand(commandLine, &cmd))
    code = kTarErrorCommand;
  else if (cmd.operation == 'c')
    code = RunCreate(cmd, &entries);
  else
    code = RunExtract(cmd, &entries);
  if (output && outputSize) {
    if (code)
      std::snprintf(output, outputSize, "error 0x%X: %s", static_cast<unsigned>(code),
                    FailureText(code));
    else
      std::snprintf(output, outputSize, "%d entries", entries);
  }
  return code;
}

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

namespace {

// The count our own archives record at their end; false for any other file.
bool RecordedCount(const char* archivePath, int* count) {
  FileCloser file;
  file.handle = plat::CreateFile(archivePath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  std::uint64_t size = 0;
  if (!file.handle || !plat::GetFileSizeEx(file.handle, &size) || size < tar32::kCountRecordBytes)
    return false;
  unsigned char record[tar32::kCountRecordBytes];
  DWORD got = 0;
  std::uint32_t entries = 0;
  if (!plat::SetFilePointerEx(file.handle, static_cast<std::int64_t>(size - sizeof record),
                              FILE_BEGIN, nullptr) ||
      !plat::ReadFile(file.handle, record, sizeof record, &got) || got != sizeof record ||
      !tar32::ReadCountRecord(record, size, &entries) || entries > INT32_MAX)
    return false;
  *count = static_cast<int>(entries);
  return true;
}

}  // namespace

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

BOOL TarSetOwnerWindow(HWND window) {
  if (!window) return FALSE;
  gOwnerWindow = window;
  return TRUE;
}

BOOL TarClearOwnerWindow() {
  gOwnerWindow = 0;
  return TRUE;
}

HWND TarOwnerWindow() { return gOwnerWindow.load(); }

BOOL TarSetCursorMode(BOOL mode) {
  gCursorMode = mode != 0;
  return TRUE;
}
