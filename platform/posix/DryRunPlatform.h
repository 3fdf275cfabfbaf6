// A platform for trial runs: reads reach the platform beneath, and every
// change (a file written, created, truncated, renamed or deleted, a folder
// made or removed, attributes set) goes to a private overlay instead, so
// the real tree keeps its bytes and times. Later calls see the overlay: a
// file written during the run reads back as written, a deleted one is gone
// from searches. At the end Changes() tells what the run would have done to
// the real tree.
//
// The overlay is a scratch folder of the host's own (under $TMPDIR), outside
// every world, removed with the platform. A file opened for writing that
// exists in the real tree is copied there first; a rename of a real file
// only remembers where its bytes are. An open for writing of a real file
// also opens the real file for reading, so that a lock taken on the handle
// (TryLockFile) is taken on the real file and a run beside excludes it.
//
// Not carried over: renames of folders (ERROR_NOT_SUPPORTED), and the
// drive's write protection and room, which a write to the overlay does not
// meet (the checks of free space still ask the real drive).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/ForwardingPlatform.h"

namespace plat {

struct DryRunChange {
  enum class Kind { Add, Replace, Keep, Attributes, Delete, AddFolder, DeleteFolder };
  Kind kind = Kind::Add;
  std::string path;           // the system path, as the run named it
  std::string host;           // the host path it names in the real tree
  std::uint64_t size = 0;     // the bytes it would hold; for a delete, those it holds
  std::uint64_t oldSize = 0;  // Replace: the bytes it holds now
};

// "add", "replace", "keep", "attributes", "delete", "add-folder", "delete-folder".
const char* DryRunKindName(DryRunChange::Kind kind);
// One line of the list: "add C:\PLAXON\CONFIG\x (12 bytes)" ...
std::string DryRunLine(const DryRunChange& change);

class DryRunPlatform : public ForwardingPlatform {
 public:
  // Null with a reason when no scratch folder could be made.
  static std::shared_ptr<DryRunPlatform> Make(std::shared_ptr<Platform> inner, std::string* why);
  explicit DryRunPlatform(std::shared_ptr<Platform> inner, std::string scratch);
  ~DryRunPlatform() override;
  DryRunPlatform(const DryRunPlatform&) = delete;
  DryRunPlatform& operator=(const DryRunPlatform&) = delete;

  // What the run did, against the real tree, in path order. A file written
  // with the bytes it already has is Keep.
  std::vector<DryRunChange> Changes();

  HANDLE CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) override;
  bool ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) override;
  bool WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) override;
  bool SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                      std::uint64_t* position) override;
  bool GetFileSize(HANDLE file, std::uint64_t* size) override;
  bool FlushFile(HANDLE file) override;
  bool FlushFolder(const char* path) override;
  bool TryLockFile(HANDLE file) override;
  bool SetEndOfFile(HANDLE file) override;
  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override;
  bool FindNextFile(HANDLE search, WIN32_FIND_DATA* data) override;
  DWORD GetFileAttributes(const char* path) override;
  bool SetFileAttributes(const char* path, DWORD attributes) override;
  bool DeleteFile(const char* path) override;
  bool CreateDirectory(const char* path) override;
  bool RemoveDirectory(const char* path) override;
  bool MoveFile(const char* from, const char* to, bool replace) override;
  bool ReplaceEmptyFolder(const char* from, const char* to) override;
  DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                                char* out, DWORD size, const char* path) override;
  bool ResolveHostPath(const char* path, std::string* host) override;
  bool GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller, std::uint64_t* total,
                          std::uint64_t* totalFree) override;

 private:
  struct Node {
    enum class State { File, Folder, Gone } state = State::File;
    std::string path;     // as the run named it first
    std::string scratch;  // File: the host file with its bytes, or empty:
    std::string source;   // the real system path whose bytes it has
    bool attributesSet = false;
    DWORD attributes = 0;
    bool hidesReal = false;  // Folder made where a real one was removed
    bool written = false;    // File: written, cut, made or renamed here, not only opened
  };
  enum class Kind { None, File, Folder };
  struct OpenFile;
  struct Search;
  friend struct OpenFile;
  friend struct Search;

  Kind KindOf(const std::string& path, const std::string& key, DWORD* attributes);
  bool RealVisible(const std::string& key);
  Node* Find(const std::string& key);
  std::string BytesOf(const Node& node) const;
  std::string NewScratch();
  bool CopyInto(const std::string& from, const std::string& scratch);
  bool SameBytes(const std::string& a, const std::string& b);
  std::string HostOf(const std::string& path);
  std::string SpellingOf(const std::string& key);
  void Forget(OpenFile* file);
  void Forget(Search* search);
  HANDLE Unwrap(HANDLE file);
  void NoteWritten(HANDLE file);
  bool HasOverlayBelow(const std::string& key);
  bool MakeEmpty(const std::string& scratch);
  DWORD MissingError(const std::string& path);
  void ChildrenOf(const std::string& folderPath, const std::string& pattern,
                  std::vector<WIN32_FIND_DATA>* entries);
  bool FolderEmpty(const std::string& path);
  void MarkGone(const std::string& key, const std::string& first);

  std::recursive_mutex mutex_;
  std::string scratch_;
  unsigned nextScratch_ = 0;
  std::map<std::string, Node> nodes_;
  std::set<KernelObject*> files_;     // OpenFile
  std::set<KernelObject*> searches_;  // Search
};

// The dry-run platform installed now, if any (beneath the test half too).
DryRunPlatform* CurrentDryRun();

}  // namespace plat
