// The pieces the archiver's jobs share (TarJob.h).
#include "TarJob.h"

#include <cstdio>

#include "Tar32.h"
#include "platform/Platform.h"
#include "platform/Temporary.h"
#include "platform/Win.h"

namespace tar32 {

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

namespace {

// The code of a temporary that `handle` is or is not: a path too long is
// the path's fault, anything else the job's own.
int TemporaryCode(HANDLE handle, int failureCode) {
  if (handle) return 0;
  return plat::GetLastError() == ERROR_FILENAME_EXCED_RANGE ? kTarErrorPath : failureCode;
}

}  // namespace

int CreateTemporary(const std::string& final, std::string* temporary, HANDLE* handle,
                    int failureCode) {
  *handle = plat::CreateTemporaryBeside(final, temporary);
  return TemporaryCode(*handle, failureCode);
}

int CreateTemporary(HANDLE folder, const std::string& name, std::string* temporary, HANDLE* handle,
                    int failureCode) {
  *handle = plat::CreateTemporaryIn(folder, name, temporary);
  return TemporaryCode(*handle, failureCode);
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

int ReaderFailureCode(const GzipReader& reader) {
  switch (reader.Failure()) {
    case ReadFailure::kRead:
      return kTarErrorArchive;
    case ReadFailure::kMemory:
      return kTarErrorResources;
    default:
      return kTarErrorFormat;
  }
}

la_ssize_t ArchiveReader::ReadCallback(archive*, void* data, const void** buffer) {
  auto* ctx = static_cast<ReadContext*>(data);
  std::size_t size = 0;
  if (!ctx->reader->Next(buffer, &size)) {
    if (ctx->reader->Failure() != ReadFailure::kNone) return -1;
    return 0;
  }
  return static_cast<la_ssize_t>(size);
}

int ArchiveReader::Open(const std::string& path) {
  file_.handle = plat::CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!file_.handle) return kTarErrorArchive;
  reader_ = std::make_unique<GzipReader>(file_.handle);
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

int ArchiveReader::NextHeader(archive_entry** entry) {
  int rc = archive_read_next_header(a_.get(), entry);
  if (rc == ARCHIVE_EOF) return 0;
  if (rc < ARCHIVE_WARN) return FailureCode();
  return 1;
}

int ArchiveReader::FailureCode() const {
  if (reader_ && reader_->Failure() != ReadFailure::kNone) return ReaderFailureCode(*reader_);
  return kTarErrorFormat;
}

int ArchiveReader::Drain() {
  const void* data = nullptr;
  std::size_t size = 0;
  while (reader_->Next(&data, &size)) {
  }
  return reader_->Failure() != ReadFailure::kNone ? ReaderFailureCode(*reader_) : 0;
}

std::string ArchiveReader::FailureText() const {
  if (reader_ && !reader_->FailureText().empty()) return reader_->FailureText();
  const char* why = a_ ? archive_error_string(a_.get()) : nullptr;
  return std::string("tar stream: ") + (why ? why : "damaged");
}

ArchiveReader::~ArchiveReader() {
  // Stop the producer first: libarchive may still hold its last block.
  if (reader_) reader_->Stop();
  a_.reset();
}

}  // namespace tar32
