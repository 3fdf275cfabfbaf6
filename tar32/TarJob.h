// What the create, extract and enumerate halves of the archiver share:
// entry names made safe and joined into paths, platform files closed on
// every path, the progress of a job, and an archive open for reading.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Tar32.h"
#include "TarCommand.h"
#include "TarGzip.h"
#include "TarNotify.h"
#include "platform/Platform.h"
#include "platform/Win.h"

namespace tar32 {

constexpr std::size_t kFileBlock = 1u << 20;
constexpr std::uint64_t kLongestListFile = 16u << 20;

// dir + "\" + the components; false when it does not fit MAX_PATH.
bool JoinPath(const std::string& dir, const std::vector<std::string>& parts, std::string* out);
// Splits an entry or list name at "/" and "\" into safe components: no
// absolute name, no drive, no "..". "." components and empty ones vanish.
bool SafeComponents(const std::string& name, std::vector<std::string>* parts);
bool IsDirectory(const std::string& path);
bool IsLink(DWORD attributes);
// Creates a new file beside `final` under a temporary name of its own
// (exclusively, so neither an existing file nor an entry unpacked before is
// ever overwritten).
int CreateTemporary(const std::string& final, std::string* temporary, HANDLE* handle,
                    int failureCode);
// The same for the entry `name` of the open folder `folder`; `temporary`
// gets the temporary's name in it.
int CreateTemporary(HANDLE folder, const std::string& name, std::string* temporary, HANDLE* handle,
                    int failureCode);
// A list file whole; false when it cannot be read or is too long.
bool ReadWholeFile(const std::string& path, std::string* text);

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

// Sends the job's progress to the owner window when the command asked for it;
// without an owner window (none set, or one that is gone) the archiver shows
// its own dialog over the job's total of entries.
class Progress {
 public:
  Progress(int display, const char* caption, const std::function<int()>& total) {
    if (display != 1) return;
    window_ = TarOwnerWindow();
    if (window_ && plat::IsWindow(window_)) return;
    window_ = dialog_.Open(caption, total()) ? dialog_.Window() : 0;
  }
  void Opened() { Send(kTarProgressOpened, nullptr); }
  // The owner handles an entry's message while the job works on the entry.
  void Entry(const std::string& name, const std::string& file, std::uint64_t size) {
    if (!window_) return;
    entry_.Await();  // the owner is done with the record
    record_.fileSize = static_cast<DWORD>(size);
    record_.writtenSize = 0;
    std::snprintf(record_.fileName, sizeof record_.fileName, "%s", name.c_str());
    std::snprintf(record_.destination, sizeof record_.destination, "%s", file.c_str());
    NotifyOwner(window_, kTarProgressEntry, &record_, entry_);
  }
  void Ended() { Send(kTarProgressEnded, nullptr); }

 private:
  void Send(int code, const TarProgressRecord* record) {
    entry_.Await();
    if (window_) NotifyOwner(window_, code, record);
  }
  HWND window_ = 0;
  ProgressDialog dialog_;
  TarProgressRecord record_{};
  plat::MessageInFlight entry_;  // awaited first, while the dialog and the record stand
};

int ReaderFailureCode(const GzipReader& reader);

// An archive open for reading: platform file, read-ahead decompression, parser.
class ArchiveReader {
 public:
  int Open(const std::string& path);
  // 1: an entry, 0: the end, a failure code otherwise.
  int NextHeader(archive_entry** entry);
  int FailureCode() const;
  // Reads what follows the tar stream's end to its own end, so that a
  // damaged or foreign member behind the last entry is found too.
  int Drain();
  // The failure in words: the gzip layer's place, else the tar parser's.
  std::string FailureText() const;
  archive* Get() { return a_.get(); }
  ~ArchiveReader();

 private:
  struct ReadContext {
    GzipReader* reader;
  };
  static la_ssize_t ReadCallback(archive*, void* data, const void** buffer);

  FileCloser file_;
  std::unique_ptr<GzipReader> reader_;
  ReadContext ctx_{};
  std::unique_ptr<archive, ArchiveReadFree> a_;
};

// The jobs of a command line; `entries` counts the entries done.
int RunCreate(const TarCommand& cmd, int* entries);
int RunExtract(const TarCommand& cmd, int* entries);

}  // namespace tar32
