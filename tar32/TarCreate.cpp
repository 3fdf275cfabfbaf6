// The archiver's create job: the files named by a command line packed
// into a new archive that replaces the old one only when whole.
#include <algorithm>
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

// libdeflate level 4 on the blocks that shrink well, ISA-L's fastest level
// on the others (TarGzip.cpp), keeps an archive of configuration tables
// within 1.03x of gzip -6's size (1.026x on a generated 233 MB tree, where
// libdeflate 3 alone gives 1.021x) at a quarter less work than libdeflate 3
// on every block; zlib stays at 6.
#ifdef TALVER_HAVE_LIBDEFLATE
constexpr int kCompressionLevel = 4;
#else
constexpr int kCompressionLevel = 6;
#endif
constexpr int kCompressionThreads = 2;

// True when dir + parts, or a folder on its way below dir, is a link.
bool ReachedThroughLink(const std::string& dir, const std::vector<std::string>& parts) {
  std::string path = dir;
  for (const std::string& part : parts) {
    if (!JoinPath(path, {part}, &path)) return false;
    if (IsLink(plat::GetFileAttributes(path.c_str()))) return true;
  }
  return false;
}

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
    for (std::string& name : SplitListText(text)) names->push_back(std::move(name));
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
int AddEntry(GzipWriter& writer, const std::string& directory, const std::string& listed,
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

  TarHeaderFields fields;
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
    AppendTarHeader(fields, &header);
    return writer.Write(header.data(), header.size()) ? 0 : kTarErrorWrite;
  }

  FileCloser file;
  file.handle = plat::CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!file.handle) return kTarErrorSource;
  if (!plat::GetFileSizeEx(file.handle, &fields.size)) return kTarErrorSource;
  fields.mode = readOnly ? 0444 : 0644;
  progress.Entry(name, path, fields.size);
  AppendTarHeader(fields, &header);
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
  static const char kZeros[kTarBlock] = {};
  return writer.Write(kZeros, PadToBlock(fields.size)) ? 0 : kTarErrorWrite;
}

// The end of the tar stream: two zero blocks, then zeros to a whole record.
bool PutEnd(GzipWriter& writer, std::uint64_t written) {
  static const char kZeros[kTarRecord] = {};
  std::uint64_t total = written + 2 * kTarBlock;
  std::size_t tail = 2 * kTarBlock + (kTarRecord - total % kTarRecord) % kTarRecord;
  while (tail > 0) {
    std::size_t piece = std::min(tail, sizeof kZeros);
    if (!writer.Write(kZeros, piece)) return false;
    tail -= piece;
  }
  return true;
}

}  // namespace

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
    GzipWriter writer(out.handle, kCompressionLevel, kCompressionThreads);
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

}  // namespace tar32
