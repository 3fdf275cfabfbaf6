// The archiver's extract job: each selected entry written under a
// temporary name and renamed into place, or below a new folder that takes
// its name only when whole; durable before the job reports success, never
// a half file under a final name.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Tar32.h"
#include "TarHeader.h"
#include "TarJob.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"
#include "platform/Temporary.h"

namespace tar32 {
namespace {

// A folder the extraction writes into, held open while an entry needs it.
struct OpenedFolder {
  explicit OpenedFolder(HANDLE h, std::string p) : handle(h), path(std::move(p)) {}
  OpenedFolder(const OpenedFolder&) = delete;
  OpenedFolder& operator=(const OpenedFolder&) = delete;
  ~OpenedFolder() { plat::CloseHandle(handle); }
  HANDLE handle;
  std::string path;  // as the entries spell it, ending in a separator
};
using FolderRef = std::shared_ptr<OpenedFolder>;

// The folders written into last, so that the entries of one folder open it
// once; an entry on its way to its name keeps its own folder open.
class RecentFolders {
 public:
  // The open folder of `path` (ending in a separator); null with the last
  // error set when it cannot be opened.
  FolderRef Get(const std::string& path) {
    for (std::size_t i = 0; i < recent_.size(); ++i) {
      if (recent_[i]->path != path) continue;
      std::rotate(recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(i),
                  recent_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      return recent_.front();
    }
    HANDLE handle = plat::OpenFolder(path.c_str());
    if (!handle) return nullptr;
    if (recent_.size() == kKept) recent_.pop_back();
    recent_.insert(recent_.begin(), std::make_shared<OpenedFolder>(handle, path));
    return recent_.front();
  }

  // The open folder of the file `path`, and the file's name in it.
  FolderRef Of(const std::string& path, std::string* name) {
    const std::string folder = plat::FolderOf(path);
    *name = path.substr(folder.size());
    return Get(folder);
  }

  void Clear() { recent_.clear(); }

 private:
  static constexpr std::size_t kKept = 8;
  std::vector<FolderRef> recent_;
};

// Whole entries on their way to their names. Their temporaries stay open
// until a batch is full; then they are flushed together (one wait for the
// medium instead of one a file) and renamed in the order of the archive.
// The folders that got new names are flushed once each at the end of the
// job. Only a flushed file ever gets its final name.
class PendingNames {
 public:
  // Takes `file` (closed on every path), the temporary `temporary` of the
  // entry `name` in `folder`; a full batch is committed. Without a
  // temporary the file is written under its name already (in a staged
  // folder) and only flushed.
  // `existed`: the final name was taken when the entry began.
  bool Add(HANDLE file, FolderRef folder, const std::string& temporary, const std::string& name,
           bool readOnly, bool existed) {
    entries_.push_back(Entry{file, std::move(folder), temporary, name, readOnly, existed});
    return entries_.size() < kBatch || Commit();
  }
  // Flushes, closes and renames what is pending; false when any of it
  // failed (the temporaries not renamed are removed).
  bool Commit() {
    std::vector<HANDLE> files;
    for (const Entry& e : entries_) files.push_back(e.file);
    bool ok = files.empty() || plat::FlushFiles(files.data(), files.size());
    for (HANDLE file : files)
      if (!plat::CloseHandle(file)) ok = false;
    for (const Entry& e : entries_) {
      if (ok) ok = e.temporary.empty() ? Named(e) : Rename(e);
      if (!ok) plat::DeleteFile((e.folder->path + Written(e)).c_str());
    }
    entries_.clear();
    return ok;
  }
  // `folder` got a name other than a file's (a folder made in it).
  void NameMade(const std::string& folder) { folders_.insert(folder); }
  // Flushes the folders that got names; false when one cannot be: its new
  // names may not outlive a power cut, so the job does not report them.
  bool FlushFolders() {
    bool ok = true;
    for (const std::string& folder : folders_)
      if (!plat::FlushFolder(folder.c_str())) ok = false;
    folders_.clear();
    return ok;
  }

 private:
  static constexpr std::size_t kBatch = 256;
  struct Entry {
    HANDLE file;
    FolderRef folder;
    std::string temporary, name;
    bool readOnly;
    bool existed;
  };
  // A link at the final name is never replaced; a read-only file there is.
  // A name that was free when its entry began is only looked at again when
  // the rename is refused (an earlier entry of the same name took it).
  bool Rename(const Entry& e) {
    HANDLE folder = e.folder->handle;
    if (e.existed || !plat::MoveFileExIn(folder, e.temporary.c_str(), e.name.c_str(), true)) {
      const DWORD attributes = plat::GetFileAttributesIn(folder, e.name.c_str());
      if (IsLink(attributes)) return false;
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        plat::SetFileAttributes((e.folder->path + e.name).c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!plat::MoveFileExIn(folder, e.temporary.c_str(), e.name.c_str(), true)) return false;
    }
    return Named(e);
  }
  bool Named(const Entry& e) {
    folders_.insert(e.folder->path);
    if (e.readOnly)
      plat::SetFileAttributes((e.folder->path + e.name).c_str(), FILE_ATTRIBUTE_READONLY);
    return true;
  }
  static const std::string& Written(const Entry& e) {
    return e.temporary.empty() ? e.name : e.temporary;
  }
  std::vector<Entry> entries_;
  std::set<std::string> folders_;
};

// New folders are built whole before anyone sees them. The first folder an
// entry's way lacks is made under a temporary name beside its final one;
// what the job puts below it goes straight under its final names (no
// temporary and no rename for each file), and the folder takes its own
// name when the job ends, on every path: a stop or a failure leaves the
// entries that were whole, as where each file is renamed into place. A job
// killed in between leaves only a temporary, which the next job into the
// folder beside removes with all it holds.
class StagedFolders {
 public:
  // Where `path` (a folder or a file) stands while the job runs: true with
  // `actual` its path below the staged folder that takes its place; false
  // with `actual` the path itself outside every staged folder.
  bool Actual(const std::string& path, std::string* actual) const {
    *actual = path;
    if (staged_.empty()) return false;
    const std::string folded = Fold(path);
    for (std::size_t i = 1; i <= folded.size(); ++i) {
      if (i < folded.size() && folded[i] != '\\') continue;
      auto it = staged_.find(folded.substr(0, i));
      if (it == staged_.end()) continue;
      *actual = it->second.temporary + path.substr(i);
      return true;
    }
    return false;
  }
  // Makes the missing folder `final` a staged one, or, with `replacesEmpty`,
  // one that takes the place of the empty folder `final` once it is whole;
  // false with the last error set when it cannot be made.
  bool Make(const std::string& final, bool replacesEmpty = false) {
    std::string temporary;
    if (!plat::CreateTemporaryFolderBeside(final, &temporary)) return false;
    staged_[Fold(final)] = Staged{final, temporary, replacesEmpty};
    return true;
  }
  // Gives every staged folder its final name: 0, or the first failure of
  // a folder, whose entries that could not be placed are refused.
  int Commit() {
    int code = 0;
    for (const auto& [key, s] : staged_) {
      const int done = CommitOne(s);
      if (!code) code = done;
    }
    staged_.clear();
    return code;
  }

 private:
  struct Staged {
    std::string final, temporary;  // paths without a closing separator
    bool replacesEmpty = false;
  };
  static std::string Fold(const std::string& path) {
    std::string folded(path);
    for (char& c : folded)
      c = c == '/' ? '\\' : static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return folded;
  }
  // When the final name was taken meanwhile, or the empty folder there was
  // filled (or the platform cannot rename a folder), what the staged folder
  // holds moves into the folder there,
  // entry by entry; what could not be placed goes with the staged folder.
  static int CommitOne(const Staged& s) {
    if (s.replacesEmpty ? plat::ReplaceEmptyFolder(s.temporary.c_str(), s.final.c_str())
                        : plat::MoveFileEx(s.temporary.c_str(), s.final.c_str(), false))
      return plat::FlushFolder(plat::FolderOf(s.final).c_str()) ? 0 : kTarErrorWrite;
    const int code = MergeInto(s.temporary, s.final);
    const bool removed = plat::RemoveTree(s.temporary);
    return code ? code : removed ? 0 : kTarErrorWrite;
  }
  static int MergeInto(const std::string& from, const std::string& to) {
    const DWORD attributes = plat::GetFileAttributes(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!plat::CreateDirectory(to.c_str())) return kTarErrorTarget;
    } else if (IsLink(attributes)) {
      return kTarErrorUnsafe;  // a linked folder may lead anywhere
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return kTarErrorTarget;
    }
    std::vector<std::pair<std::string, bool>> entries;  // name, a folder
    {
      WIN32_FIND_DATA data;
      plat::ScopedFind find((from + "\\*").c_str(), &data);
      for (bool more = static_cast<bool>(find); more; more = find.Next(&data)) {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
          entries.emplace_back(name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
      }
    }
    int code = 0;
    for (const auto& [name, folder] : entries) {
      const std::string source = from + "\\" + name, target = to + "\\" + name;
      const int done = folder ? MergeInto(source, target) : MoveIntoPlace(source, target);
      if (!code) code = done;
    }
    if (!plat::FlushFolder(to.c_str()) && !code) code = kTarErrorWrite;
    return code;
  }
  // A link at the final name is never replaced; a read-only file there is.
  static int MoveIntoPlace(const std::string& from, const std::string& to) {
    const DWORD attributes = plat::GetFileAttributes(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (IsLink(attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY)))
      return kTarErrorWrite;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
      plat::SetFileAttributes(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    return plat::MoveFileEx(from.c_str(), to.c_str(), true) ? 0 : kTarErrorWrite;
  }

  std::map<std::string, Staged> staged_;  // by the final path, folded
};

// What one extraction knows while it runs; made afresh for each job.
struct ExtractState {
  // The folders made or found in place (no link, no file), so that the
  // entries after the first in a folder ask nothing.
  std::set<std::string> foldersMade;
  // The folders written into, each cleared of the temporaries an earlier,
  // killed call left there before its first file. A folder is one whatever
  // the case of its spelling, so that a second spelling never takes the
  // temporaries of this call for stale ones.
  std::set<std::string> foldersCleared;
  RecentFolders open;
  PendingNames pending;
  StagedFolders staged;
  // What the drive had free at the last question, less what was written since.
  std::uint64_t roomLeft = 0;
};

// Gives the staged folders their names, once all that is pending below them
// is flushed and named, and the folders held open are closed.
int CommitStagedFolders(ExtractState& state) {
  int code = state.pending.Commit() ? 0 : kTarErrorWrite;
  if (!state.pending.FlushFolders() && !code) code = kTarErrorWrite;
  state.open.Clear();
  const int committed = state.staged.Commit();
  return code ? code : committed;
}

// Where the job writes `path` now (StagedFolders::Actual). A path that its
// staged folder's longer name would not let fit has that folder named first.
int Locate(ExtractState& state, const std::string& path, std::string* actual, bool* below) {
  *below = state.staged.Actual(path, actual);
  if (!*below || actual->size() < MAX_PATH) return 0;
  *below = false;
  *actual = path;
  return CommitStagedFolders(state);
}

void ClearStaleTemporaries(ExtractState& state, const std::string& destination);

// Makes the missing folder `path`, which stands at `actual`. Outside every
// staged folder it becomes one, beside what an earlier, killed job left
// there cleared; a name too long for a temporary beside it is made as it is.
int MakeDirectory(ExtractState& state, const std::string& path, const std::string& actual,
                  bool below) {
  if (!below) {
    ClearStaleTemporaries(state, path);
    if (state.staged.Make(path)) return 0;
  }
  if (!plat::CreateDirectory(actual.c_str()) && !IsDirectory(actual)) return kTarErrorTarget;
  if (below) state.pending.NameMade(plat::FolderOf(actual));
  return 0;
}

// An empty folder that the job finds on an entry's way is filled as a staged
// folder too, which then takes its place: only a plain folder (no link,
// nothing read-only, hidden or of the system) that holds nothing at all.
bool AdoptableFolder(const std::string& path, DWORD attributes) {
  constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_REPARSE_POINT;
  if (attributes & kKept) return false;
  WIN32_FIND_DATA data;
  plat::ScopedFind find((path + "\\*").c_str(), &data);
  for (bool more = static_cast<bool>(find); more; more = find.Next(&data))
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0)
      return false;
  return static_cast<bool>(find);
}

// Creates dir + parts (each level) where missing: the first one missing (or
// found empty) as a staged folder, those below it in there.
int MakeDirectories(ExtractState& state, const std::string& dir,
                    const std::vector<std::string>& parts) {
  std::string path = dir;
  for (const std::string& part : parts) {
    if (!JoinPath(path, {part}, &path)) return kTarErrorPath;
    if (state.foldersMade.count(path)) continue;
    std::string actual;
    bool below = false;
    if (int code = Locate(state, path, &actual, &below)) return code;
    DWORD attributes = plat::GetFileAttributes(actual.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (int code = MakeDirectory(state, path, actual, below)) return code;
    } else if (IsLink(attributes)) {
      return kTarErrorUnsafe;  // a linked folder may lead anywhere
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return kTarErrorTarget;
    } else if (!below && AdoptableFolder(actual, attributes)) {
      ClearStaleTemporaries(state, path);
      state.staged.Make(path, true);  // else it is filled in place
    }
    state.foldersMade.insert(path);
  }
  return 0;
}

void ClearStaleTemporaries(ExtractState& state, const std::string& destination) {
  const std::string folder = plat::FolderOf(destination);
  std::string key = folder;
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  if (!folder.empty() && state.foldersCleared.insert(key).second) plat::RemoveTemporariesIn(folder);
}

// Room for `size` bytes on the drive of `destination`: more than the
// drive's free space is refused before anything is written. A sparse entry
// counts at its full size, whatever its holes may save.
// The drive is asked again only when the entry would take more than half of
// what it had free at the last question, less what was written since (a
// drive that fills meanwhile fails the write, with the same code).
int CheckRoom(ExtractState& state, const std::string& destination, std::uint64_t size) {
  if (size == 0) return 0;
  if (size > state.roomLeft / 2) {
    std::uint64_t freeBytes = 0;
    if (!plat::GetFreeBytesOfDrive(destination.c_str(), &freeBytes)) return kTarErrorWrite;
    state.roomLeft = freeBytes;
    if (size > freeBytes) return kTarErrorWrite;
  }
  state.roomLeft -= size;
  return 0;
}

// Writes the current entry's data blocks at their offsets into `out`, which
// ends `size` bytes long. The gap before a block, and after the last one
// (the holes of a sparse entry), is passed over by the file pointer and read
// back as zeros; a block out of order or past the entry's size is damage.
int WriteEntryData(archive* a, HANDLE out, std::int64_t size, const ArchiveReader& r) {
  std::int64_t end = 0;  // where the data written so far ends
  bool holes = false;    // the file pointer passed over a gap
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
    holes = holes || offset > end;
    DWORD done = 0;
    if (!plat::WriteFile(out, block, static_cast<DWORD>(length), &done) || done != length)
      return kTarErrorWrite;
    end = offset + static_cast<std::int64_t>(length);
  }
  if (end < size) {
    if (!plat::SetFilePointerEx(out, size, FILE_BEGIN, nullptr) || !plat::SetEndOfFile(out))
      return kTarErrorWrite;
    holes = true;
  }
  // Never a short file taken as whole. Written from its start without a
  // gap, every byte was counted as the file took it; a file with holes is
  // asked its size.
  if (!holes) return 0;
  std::uint64_t written = 0;
  if (!plat::GetFileSizeEx(out, &written) || written != static_cast<std::uint64_t>(size))
    return kTarErrorWrite;
  return 0;
}

// Writes the current entry's data into `out` (closed on every path), the new
// file `written` of `folder`, and hands it on to its name `name`; a file
// that could not be written whole is removed.
int WriteAndName(ExtractState& state, archive* a, const FolderRef& folder, FileCloser& out,
                 const std::string& written, const std::string& name, int perm, std::int64_t size,
                 bool existed, const ArchiveReader& r) {
  if (int code = WriteEntryData(a, out.handle, size, r)) {
    out.Close();
    plat::DeleteFile((folder->path + written).c_str());
    return code;
  }
  // The bytes are on the disk before the name (PendingNames).
  const bool readOnly = (perm & 0200) == 0;
  const std::string temporary = written == name ? std::string() : written;
  return state.pending.Add(std::exchange(out.handle, nullptr), folder, temporary, name, readOnly,
                           existed)
             ? 0
             : kTarErrorWrite;
}

// Copies the data of the current entry (`size` bytes as it stands in the
// archive) into a new file under a temporary name and renames it into place;
// in a staged folder (`below`) a name not taken yet is written at once.
int ExtractFile(ExtractState& state, archive* a, const std::string& destination, bool below,
                int perm, std::int64_t size, const ArchiveReader& r) {
  std::string name;
  const FolderRef folder = state.open.Of(destination, &name);
  if (!folder) return kTarErrorWrite;
  if (size < 0) return kTarErrorFormat;
  if (!below) ClearStaleTemporaries(state, destination);
  if (int code = CheckRoom(state, destination, static_cast<std::uint64_t>(size))) return code;
  if (below) {
    FileCloser out;
    out.handle = plat::CreateFileIn(folder->handle, name.c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
    if (out.handle) return WriteAndName(state, a, folder, out, name, name, perm, size, false, r);
    const DWORD error = plat::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return kTarErrorWrite;
  }
  // The name is taken (an earlier entry of the same name, anywhere outside).
  const DWORD attributes = plat::GetFileAttributesIn(folder->handle, name.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // A link is never replaced, a folder never taken for a file.
  if (exists && (IsLink(attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY)))
    return kTarErrorWrite;
  std::string temporary;
  FileCloser out;
  if (int code = CreateTemporary(folder->handle, name, &temporary, &out.handle, kTarErrorWrite))
    return code;
  return WriteAndName(state, a, folder, out, temporary, name, perm, size, exists, r);
}

// A hard link stays inside the tree: its data is copied from the file it names.
int CopyExtracted(ExtractState& state, const std::string& from, const std::string& to) {
  // The file it names may still be on its way to its name.
  if (!state.pending.Commit()) return kTarErrorWrite;
  FileCloser in;
  in.handle = plat::CreateFile(from.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!in.handle) return kTarErrorNotFound;
  // The copy writes every byte, the holes of a sparse original too.
  std::uint64_t size = 0;
  if (!plat::GetFileSizeEx(in.handle, &size)) return kTarErrorWrite;
  if (int code = CheckRoom(state, to, size)) return code;
  std::string name;
  const FolderRef folder = state.open.Of(to, &name);
  if (!folder) return kTarErrorWrite;
  std::string temporary;
  FileCloser out;
  if (int code = CreateTemporary(folder->handle, name, &temporary, &out.handle, kTarErrorWrite))
    return code;
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
  if (code) {
    out.Close();
    plat::DeleteFile((folder->path + temporary).c_str());
    return code;
  }
  return state.pending.Add(std::exchange(out.handle, nullptr), folder, temporary, name, false, true)
             ? 0
             : kTarErrorWrite;
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
      for (std::string& name : SplitListText(text)) listed_.insert(std::move(name));
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
      if (WildcardMatch(p.c_str(), name.c_str())) return true;
    return false;
  }
  bool AllListedFound() const { return found_.size() == listed_.size(); }

 private:
  bool all_ = true;
  std::set<std::string> listed_;
  std::set<std::string> found_;
  std::vector<std::string> patterns_;
};

int ExtractEntry(ExtractState& state, const TarCommand& cmd, ArchiveReader& reader,
                 archive_entry* entry, Progress& progress) {
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
    if (int code = MakeDirectories(state, cmd.directory, parents)) return code;
    std::string from, to;
    bool below = false;
    if (int code = Locate(state, destination, &to, &below)) return code;
    state.staged.Actual(source, &from);
    return CopyExtracted(state, from, to);
  }
  switch (type) {
    case AE_IFDIR:
      return MakeDirectories(state, cmd.directory, parts);
    case AE_IFREG: {
      if (int code = MakeDirectories(state, cmd.directory, parents)) return code;
      std::string actual;
      bool below = false;
      if (int code = Locate(state, destination, &actual, &below)) return code;
      return ExtractFile(state, reader.Get(), actual, below,
                         static_cast<int>(archive_entry_perm(entry)),
                         archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1, reader);
    }
    case AE_IFLNK: {
      const char* target = archive_entry_symlink(entry);
      // The platform has no links: one that stays inside is passed over.
      return LinkStaysInside(parts, target ? target : "") ? 0 : kTarErrorUnsafe;
    }
    default:
      return 0;  // devices and pipes are never restored
  }
}

}  // namespace

int RunExtract(const TarCommand& cmd, int* entries) {
  if (!IsDirectory(cmd.directory)) return kTarErrorTarget;
  ExtractState state;
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
      code = ExtractEntry(state, cmd, reader, entry, progress);
      if (!code) ++*entries;
    }
  }
  // The whole entries are committed on every path, as each was before a
  // failure or a stop.
  const int committed = CommitStagedFolders(state);
  if (!code) code = committed;
  if (!code && !selection.AllListedFound()) code = kTarErrorNotFound;
  progress.Ended();
  return code;
}

}  // namespace tar32
