#include "platform/posix/DryRunPlatform.h"

#include <stdlib.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/KernelObject.h"
#include "platform/posix/PosixInternal.h"

namespace plat {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The overlay's key of a path: its components upper-cased, joined by one
// backslash, "." dropped and ".." taking the one before it (never the drive).
std::string KeyOf(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  const bool absolute = !path.empty() && IsSeparator(path[0]);
  auto flush = [&] {
    if (part == "..") {
      if (parts.size() > (absolute ? 0u : 1u)) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (char c : path) {
    if (IsSeparator(c))
      flush();
    else
      part += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  flush();
  std::string key = absolute ? "\\" : "";
  for (std::size_t i = 0; i < parts.size(); ++i) key += (i ? "\\" : "") + parts[i];
  return key;
}

std::string ParentKey(const std::string& key) {
  const std::size_t cut = key.find_last_of('\\');
  return cut == std::string::npos || cut == 0 ? std::string() : key.substr(0, cut);
}

bool IsDriveKey(const std::string& key) { return key.size() == 2 && key[1] == ':'; }

std::string Leaf(const std::string& path) {
  std::string p = path;
  while (!p.empty() && IsSeparator(p.back())) p.pop_back();
  const std::size_t cut = p.find_last_of("\\/");
  return cut == std::string::npos ? p : p.substr(cut + 1);
}

std::string ParentPath(const std::string& path) {
  std::string p = path;
  while (!p.empty() && IsSeparator(p.back())) p.pop_back();
  const std::size_t cut = p.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : p.substr(0, cut + 1);
}

// A path as the list shows it: separators single backslashes, a folder's
// with one at its end.
std::string Shown(const std::string& path, bool folder) {
  std::string shown;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = IsSeparator(path[i]) ? '\\' : path[i];
    if (c == '\\' && !shown.empty() && shown.back() == '\\' && i > 1) continue;
    shown += c;
  }
  while (shown.size() > 1 && shown.back() == '\\') shown.pop_back();
  return folder ? shown + "\\" : shown;
}

bool Creates(DWORD disposition) {
  return disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
}

WIN32_FIND_DATA FolderData(const std::string& name) {
  WIN32_FIND_DATA d{};
  d.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
  std::snprintf(d.cFileName, sizeof d.cFileName, "%s", name.c_str());
  return d;
}

}  // namespace

// An open of an overlay file: the handle of its scratch file, and the real
// file's, read-only, for the locks.
struct DryRunPlatform::OpenFile : KernelObject {
  DryRunPlatform* owner = nullptr;
  HANDLE inner = nullptr;
  HANDLE real = nullptr;
  std::string key, scratch;
  ~OpenFile() override {
    if (owner) owner->Forget(this);
    if (inner) CloseHandle(inner);
    if (real) CloseHandle(real);
  }
};

// A search over the merged view, whole at its start.
struct DryRunPlatform::Search : KernelObject {
  DryRunPlatform* owner = nullptr;
  std::vector<WIN32_FIND_DATA> entries;
  std::size_t next = 0;
  ~Search() override {
    if (owner) owner->Forget(this);
  }
};

const char* DryRunKindName(DryRunChange::Kind kind) {
  switch (kind) {
    case DryRunChange::Kind::Add:
      return "add";
    case DryRunChange::Kind::Replace:
      return "replace";
    case DryRunChange::Kind::Keep:
      return "keep";
    case DryRunChange::Kind::Attributes:
      return "attributes";
    case DryRunChange::Kind::Delete:
      return "delete";
    case DryRunChange::Kind::AddFolder:
      return "add-folder";
    case DryRunChange::Kind::DeleteFolder:
      return "delete-folder";
  }
  return "?";
}

std::string DryRunLine(const DryRunChange& c) {
  std::string line = std::string(DryRunKindName(c.kind)) + " " + c.path;
  const std::string size = std::to_string(c.size);
  switch (c.kind) {
    case DryRunChange::Kind::Add:
    case DryRunChange::Kind::Delete:
      return line + " (" + size + " bytes)";
    case DryRunChange::Kind::Replace:
      return line + " (" + size + " bytes, was " + std::to_string(c.oldSize) + ")";
    case DryRunChange::Kind::Keep:
      return line + " (the same " + size + " bytes)";
    default:
      return line;
  }
}

std::shared_ptr<DryRunPlatform> DryRunPlatform::Make(std::shared_ptr<Platform> inner,
                                                     std::string* why) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/talver-dry-XXXXXX";
  if (!::mkdtemp(folder.data())) {
    if (why) *why = "no scratch folder could be made in " + folder + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::make_shared<DryRunPlatform>(std::move(inner), folder);
}

DryRunPlatform::DryRunPlatform(std::shared_ptr<Platform> inner, std::string scratch)
    : ForwardingPlatform(std::move(inner)), scratch_(std::move(scratch)) {}

DryRunPlatform::~DryRunPlatform() {
  // Handles still open must not reach back into a platform that is gone.
  for (KernelObject* f : files_) static_cast<OpenFile*>(f)->owner = nullptr;
  for (KernelObject* s : searches_) static_cast<Search*>(s)->owner = nullptr;
  std::error_code ignored;
  std::filesystem::remove_all(scratch_, ignored);
}

void DryRunPlatform::Forget(OpenFile* file) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  files_.erase(file);
}

void DryRunPlatform::Forget(Search* search) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  searches_.erase(search);
}

void DryRunPlatform::NoteWritten(HANDLE file) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!files_.count(file)) return;
  const auto* open = static_cast<OpenFile*>(file);
  Node* n = Find(open->key);
  if (n && n->scratch == open->scratch) n->written = true;
}

HANDLE DryRunPlatform::Unwrap(HANDLE file) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return files_.count(file) ? static_cast<OpenFile*>(file)->inner : file;
}

DryRunPlatform::Node* DryRunPlatform::Find(const std::string& key) {
  auto it = nodes_.find(key);
  return it == nodes_.end() ? nullptr : &it->second;
}

bool DryRunPlatform::HasOverlayBelow(const std::string& key) {
  const std::string prefix = key + "\\";
  auto it = nodes_.lower_bound(prefix);
  return it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

// Whether the real entry of `key` shows through: no folder above it was
// removed (or removed and made again) in the overlay.
bool DryRunPlatform::RealVisible(const std::string& key) {
  for (std::string up = ParentKey(key); !up.empty(); up = ParentKey(up)) {
    const Node* n = Find(up);
    if (n && (n->state == Node::State::Gone || n->hidesReal || n->state == Node::State::File))
      return false;
  }
  return true;
}

DryRunPlatform::Kind DryRunPlatform::KindOf(const std::string& path, const std::string& key,
                                            DWORD* attributes) {
  DWORD a = INVALID_FILE_ATTRIBUTES;
  if (const Node* n = Find(key)) {
    if (n->state == Node::State::Gone) return Kind::None;
    if (n->state == Node::State::Folder) {
      a = FILE_ATTRIBUTE_DIRECTORY;
    } else {
      a = n->attributesSet ? n->attributes : Inner().GetFileAttributes(BytesOf(*n).c_str());
      if (a == INVALID_FILE_ATTRIBUTES) a = FILE_ATTRIBUTE_NORMAL;
    }
  } else if (IsDriveKey(key) || RealVisible(key)) {
    a = Inner().GetFileAttributes(path.c_str());
  }
  if (attributes) *attributes = a;
  if (a == INVALID_FILE_ATTRIBUTES) return Kind::None;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
}

std::string DryRunPlatform::BytesOf(const Node& node) const {
  return node.scratch.empty() ? node.source : node.scratch;
}

std::string DryRunPlatform::NewScratch() {
  char name[32];
  std::snprintf(name, sizeof name, "/f%08X", ++nextScratch_);
  return scratch_ + name;
}

bool DryRunPlatform::MakeEmpty(const std::string& scratch) {
  HANDLE out = Inner().CreateFile(scratch.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
  if (!out) return false;
  CloseHandle(out);
  return true;
}

// A missing path's error: its folder is there, or not.
DWORD DryRunPlatform::MissingError(const std::string& path) {
  const std::string parent = ParentPath(path);
  return KindOf(parent, KeyOf(parent), nullptr) == Kind::Folder ? ERROR_FILE_NOT_FOUND
                                                                : ERROR_PATH_NOT_FOUND;
}

// Copies the bytes of `from` (a path the platform beneath opens) into a new
// scratch file.
bool DryRunPlatform::CopyInto(const std::string& from, const std::string& scratch) {
  HANDLE in = Inner().CreateFile(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 OPEN_EXISTING, 0);
  if (!in) return false;
  HANDLE out = Inner().CreateFile(scratch.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
  bool ok = out != nullptr;
  std::vector<char> block(1 << 16);
  while (ok) {
    DWORD got = 0, put = 0;
    ok = Inner().ReadFile(in, block.data(), static_cast<DWORD>(block.size()), &got);
    if (!ok || got == 0) break;
    ok = Inner().WriteFile(out, block.data(), got, &put) && put == got;
  }
  const DWORD error = ok ? 0 : GetLastError();
  CloseHandle(in);
  if (out) CloseHandle(out);
  if (!ok) SetLastError(error);
  return ok;
}

bool DryRunPlatform::SameBytes(const std::string& a, const std::string& b) {
  HANDLE fa = Inner().CreateFile(a.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  HANDLE fb = Inner().CreateFile(b.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  bool same = fa && fb;
  std::vector<char> ba(1 << 16), bb(1 << 16);
  while (same) {
    DWORD ga = 0, gb = 0;
    same = Inner().ReadFile(fa, ba.data(), static_cast<DWORD>(ba.size()), &ga) &&
           Inner().ReadFile(fb, bb.data(), static_cast<DWORD>(bb.size()), &gb) && ga == gb &&
           std::memcmp(ba.data(), bb.data(), ga) == 0;
    if (ga == 0) break;
  }
  if (fa) CloseHandle(fa);
  if (fb) CloseHandle(fb);
  return same;
}

// The host path a system path names in the real tree, also below folders
// that do not exist there.
std::string DryRunPlatform::HostOf(const std::string& path) {
  std::string host;
  if (Inner().ResolveHostPath(path.c_str(), &host)) return host;
  const std::string parent = ParentPath(path);
  if (parent.empty() || parent == path) return path;
  return HostOf(parent) + "/" + Leaf(path);
}

HANDLE DryRunPlatform::CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                                  DWORD flags) {
  if (!path) return Inner().CreateFile(path, access, share, disposition, flags);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string key = KeyOf(path);
  DWORD attributes = 0;
  const Kind kind = KindOf(path, key, &attributes);
  if (kind == Kind::Folder) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const bool writes = (access & GENERIC_WRITE) || disposition == TRUNCATE_EXISTING ||
                      disposition == CREATE_ALWAYS || disposition == CREATE_NEW ||
                      (kind == Kind::None && Creates(disposition));
  if (!writes) {
    if (kind == Kind::None) {
      SetLastError(MissingError(path));
      return nullptr;
    }
    const Node* n = Find(key);
    return Inner().CreateFile(n ? BytesOf(*n).c_str() : path, access, share, OPEN_EXISTING, flags);
  }
  if (kind == Kind::None && !Creates(disposition)) {
    SetLastError(MissingError(path));
    return nullptr;
  }
  if (kind == Kind::File && disposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return nullptr;
  }
  if (kind == Kind::None &&
      KindOf(ParentPath(path), KeyOf(ParentPath(path)), nullptr) != Kind::Folder) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  if (kind == Kind::File && (access & GENERIC_WRITE) && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  Node* n = Find(key);
  const bool realHere =
      kind == Kind::File && (!n || (n->scratch.empty() && KeyOf(n->source) == key));
  if (!n || n->state != Node::State::File || n->scratch.empty()) {
    const std::string from = n && n->state == Node::State::File ? n->source : std::string(path);
    const bool keep =
        kind == Kind::File && disposition != CREATE_ALWAYS && disposition != TRUNCATE_EXISTING;
    Node fresh;
    fresh.path = n ? n->path : path;
    if (n && n->state == Node::State::File) {
      fresh.attributesSet = n->attributesSet;
      fresh.attributes = n->attributes;
    }
    fresh.scratch = NewScratch();
    if (keep ? !CopyInto(from, fresh.scratch) : !MakeEmpty(fresh.scratch)) return nullptr;
    n = &(nodes_[key] = fresh);
  }
  const DWORD scratchDisposition = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING
                                       ? TRUNCATE_EXISTING
                                       : OPEN_EXISTING;
  HANDLE inner = Inner().CreateFile(n->scratch.c_str(), access | GENERIC_WRITE, share,
                                    scratchDisposition, flags);
  if (!inner) return nullptr;
  if (kind == Kind::None || scratchDisposition == TRUNCATE_EXISTING) n->written = true;
  auto* open = new OpenFile;
  open->owner = this;
  open->inner = inner;
  open->key = key;
  open->scratch = n->scratch;
  if (realHere)
    open->real = Inner().CreateFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    OPEN_EXISTING, 0);
  files_.insert(open);
  SetLastError(kind == Kind::File && Creates(disposition) ? ERROR_ALREADY_EXISTS : 0);
  return open;
}

bool DryRunPlatform::ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read) {
  return Inner().ReadFile(Unwrap(file), buffer, count, read);
}
bool DryRunPlatform::WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written) {
  NoteWritten(file);
  return Inner().WriteFile(Unwrap(file), buffer, count, written);
}
bool DryRunPlatform::SetFilePointer(HANDLE file, std::int64_t offset, DWORD method,
                                    std::uint64_t* position) {
  return Inner().SetFilePointer(Unwrap(file), offset, method, position);
}
bool DryRunPlatform::GetFileSize(HANDLE file, std::uint64_t* size) {
  return Inner().GetFileSize(Unwrap(file), size);
}
bool DryRunPlatform::FlushFile(HANDLE file) { return Inner().FlushFile(Unwrap(file)); }
bool DryRunPlatform::SetEndOfFile(HANDLE file) {
  NoteWritten(file);
  return Inner().SetEndOfFile(Unwrap(file));
}
// Nothing of the real tree is renamed, so nothing needs flushing.
bool DryRunPlatform::FlushFolder(const char*) { return true; }

bool DryRunPlatform::TryLockFile(HANDLE file) {
  HANDLE real = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (files_.count(file)) real = static_cast<OpenFile*>(file)->real;
  }
  return Inner().TryLockFile(real ? real : Unwrap(file));
}

// The entries of a folder of the merged view that match `pattern`, "." and
// ".." first, then by name ignoring case.
void DryRunPlatform::ChildrenOf(const std::string& folderPath, const std::string& pattern,
                                std::vector<WIN32_FIND_DATA>* entries) {
  const std::string folderKey = KeyOf(folderPath);
  const Node* folder = Find(folderKey);
  std::map<std::string, WIN32_FIND_DATA> byName;
  std::vector<WIN32_FIND_DATA> dots;
  WIN32_FIND_DATA d;
  std::string real = folderPath;
  if (real.empty() || !IsSeparator(real.back())) real += "\\";
  if (!folder && RealVisible(folderKey)) {
    if (HANDLE h = Inner().FindFirstFile((real + pattern).c_str(), &d)) {
      do {
        const std::string name = d.cFileName;
        if (name == "." || name == "..")
          dots.push_back(d);
        else
          byName[KeyOf(name)] = d;
      } while (Inner().FindNextFile(h, &d));
      CloseHandle(h);
    }
  }
  if (folder && !IsDriveKey(folderKey))
    for (const char* dot : {".", ".."})
      if (MatchName(pattern, dot)) dots.push_back(FolderData(dot));
  const std::string prefix = folderKey + "\\";
  for (auto it = nodes_.lower_bound(prefix); it != nodes_.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.find('\\', prefix.size()) != std::string::npos) continue;
    const Node& n = it->second;
    const std::string name = Leaf(n.path);
    const std::string nameKey = it->first.substr(prefix.size());
    byName.erase(nameKey);
    if (n.state == Node::State::Gone || !MatchName(pattern, name)) continue;
    d = FolderData(name);
    if (n.state == Node::State::File) {
      if (HANDLE h = Inner().FindFirstFile(BytesOf(n).c_str(), &d)) CloseHandle(h);
      std::snprintf(d.cFileName, sizeof d.cFileName, "%s", name.c_str());
      if (n.attributesSet) d.dwFileAttributes = n.attributes;
    }
    byName[nameKey] = d;
  }
  *entries = dots;
  std::vector<WIN32_FIND_DATA> rest;
  for (auto& [name, d] : byName) rest.push_back(d);
  std::sort(rest.begin(), rest.end(), [](const WIN32_FIND_DATA& a, const WIN32_FIND_DATA& b) {
    const int c = strcasecmp(a.cFileName, b.cFileName);
    return c != 0 ? c < 0 : std::strcmp(a.cFileName, b.cFileName) < 0;
  });
  entries->insert(entries->end(), rest.begin(), rest.end());
}

HANDLE DryRunPlatform::FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
  if (!pattern || std::strlen(pattern) >= MAX_PATH) return Inner().FindFirstFile(pattern, data);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::string p = pattern;
  if (!p.empty() && IsSeparator(p.back())) {
    // "dir\" finds the folder itself.
    while (!p.empty() && IsSeparator(p.back())) p.pop_back();
    if (p.empty() || IsDriveKey(KeyOf(p))) return Inner().FindFirstFile(pattern, data);
    return FindFirstFile(p.c_str(), data);
  }
  const std::string folderPath = ParentPath(p);
  const std::string folderKey = KeyOf(folderPath);
  if (folderPath.empty() ||
      (!Find(folderKey) && RealVisible(folderKey) && !HasOverlayBelow(folderKey)))
    return Inner().FindFirstFile(pattern, data);
  if (KindOf(folderPath, folderKey, nullptr) != Kind::Folder) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  auto* search = new Search;
  search->owner = this;
  ChildrenOf(folderPath, Leaf(p), &search->entries);
  if (search->entries.empty()) {
    search->owner = nullptr;
    delete search;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  *data = search->entries[search->next++];
  searches_.insert(search);
  SetLastError(0);
  return search;
}

bool DryRunPlatform::FindNextFile(HANDLE search, WIN32_FIND_DATA* data) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!searches_.count(search)) return Inner().FindNextFile(search, data);
  auto* s = static_cast<Search*>(search);
  if (s->next >= s->entries.size()) return Fail(ERROR_NO_MORE_FILES);
  *data = s->entries[s->next++];
  return true;
}

DWORD DryRunPlatform::GetFileAttributes(const char* path) {
  if (!path) return Inner().GetFileAttributes(path);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string key = KeyOf(path);
  if (!Find(key) && (IsDriveKey(key) || RealVisible(key))) return Inner().GetFileAttributes(path);
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if (KindOf(path, key, &attributes) == Kind::None) {
    SetLastError(MissingError(path));
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributes;
}

bool DryRunPlatform::SetFileAttributes(const char* path, DWORD attributes) {
  if (!path) return Inner().SetFileAttributes(path, attributes);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string key = KeyOf(path);
  const Kind kind = KindOf(path, key, nullptr);
  if (kind == Kind::None) return Fail(ERROR_FILE_NOT_FOUND);
  if (kind == Kind::Folder) return true;
  Node* n = Find(key);
  if (!n) {
    n = &nodes_[key];
    n->path = path;
    n->source = path;
  }
  n->attributesSet = true;
  n->attributes = attributes;
  return true;
}

bool DryRunPlatform::DeleteFile(const char* path) {
  if (!path) return Inner().DeleteFile(path);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string key = KeyOf(path);
  DWORD attributes = 0;
  const Kind kind = KindOf(path, key, &attributes);
  if (kind == Kind::None) return Fail(MissingError(path));
  if (kind == Kind::Folder || (attributes & FILE_ATTRIBUTE_READONLY))
    return Fail(ERROR_ACCESS_DENIED);
  Node* n = Find(key);
  if (n && !n->scratch.empty()) Inner().DeleteFile(n->scratch.c_str());
  MarkGone(key, n ? n->path : path);
  return true;
}

bool DryRunPlatform::CreateDirectory(const char* path) {
  if (!path) return Inner().CreateDirectory(path);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string key = KeyOf(path);
  if (IsDriveKey(key) || KindOf(path, key, nullptr) != Kind::None)
    return Fail(ERROR_ALREADY_EXISTS);
  const std::string parent = ParentPath(path);
  if (KindOf(parent, KeyOf(parent), nullptr) != Kind::Folder) return Fail(ERROR_PATH_NOT_FOUND);
  Node* n = Find(key);
  Node folder;
  folder.state = Node::State::Folder;
  folder.path = n ? n->path : path;
  folder.hidesReal = n != nullptr;
  nodes_[key] = folder;
  return true;
}

// An entry deleted or moved away: hidden while the real tree has it under
// the path first used, else forgotten (it was only ever in the scratch).
void DryRunPlatform::MarkGone(const std::string& key, const std::string& first) {
  if (Inner().GetFileAttributes(first.c_str()) == INVALID_FILE_ATTRIBUTES) {
    nodes_.erase(key);
    return;
  }
  Node gone;
  gone.state = Node::State::Gone;
  gone.path = first;
  nodes_[key] = gone;
}

bool DryRunPlatform::FolderEmpty(const std::string& path) {
  std::vector<WIN32_FIND_DATA> entries;
  ChildrenOf(path, "*", &entries);
  for (const WIN32_FIND_DATA& d : entries)
    if (std::strcmp(d.cFileName, ".") != 0 && std::strcmp(d.cFileName, "..") != 0) return false;
  return true;
}

bool DryRunPlatform::RemoveDirectory(const char* path) {
  if (!path) return Inner().RemoveDirectory(path);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string key = KeyOf(path);
  const Kind kind = KindOf(path, key, nullptr);
  if (kind == Kind::None) return Fail(ERROR_FILE_NOT_FOUND);
  if (kind != Kind::Folder || IsDriveKey(key)) return Fail(ERROR_ACCESS_DENIED);
  if (!FolderEmpty(path)) return Fail(ERROR_DIR_NOT_EMPTY);
  Node* n = Find(key);
  MarkGone(key, n ? n->path : path);
  return true;
}

// Folders are not renamed in a dry run (MoveFile): a caller puts their
// entries in place one by one.
bool DryRunPlatform::ReplaceEmptyFolder(const char*, const char*) {
  return Fail(ERROR_ACCESS_DENIED);
}

bool DryRunPlatform::MoveFile(const char* from, const char* to, bool replace) {
  if (!from || !to) return Inner().MoveFile(from, to, replace);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string fromKey = KeyOf(from), toKey = KeyOf(to);
  const Kind fromKind = KindOf(from, fromKey, nullptr);
  if (fromKind == Kind::None) return Fail(ERROR_FILE_NOT_FOUND);
  if (fromKind == Kind::Folder) return Fail(ERROR_ACCESS_DENIED);
  const Kind toKind = KindOf(to, toKey, nullptr);
  if (toKind == Kind::Folder) return Fail(ERROR_ACCESS_DENIED);
  if (fromKey == toKey) return true;
  if (toKind == Kind::File && !replace) return Fail(ERROR_ALREADY_EXISTS);
  const std::string parent = ParentPath(to);
  if (KindOf(parent, KeyOf(parent), nullptr) != Kind::Folder) return Fail(ERROR_PATH_NOT_FOUND);
  Node moved;
  if (const Node* n = Find(fromKey)) {
    moved = *n;
  } else {
    moved.source = from;
  }
  if (Node* old = Find(toKey)) {
    if (!old->scratch.empty()) Inner().DeleteFile(old->scratch.c_str());
    moved.path = old->path;
  } else {
    moved.path = to;
  }
  moved.state = Node::State::File;
  moved.hidesReal = false;
  moved.written = true;
  const std::string fromFirst = Find(fromKey) ? Find(fromKey)->path : std::string(from);
  nodes_[toKey] = moved;
  MarkGone(fromKey, fromFirst);
  return true;
}

DWORD DryRunPlatform::GetPrivateProfileString(const char* section, const char* key,
                                              const char* defaultText, char* out, DWORD size,
                                              const char* path) {
  std::string read = path ? path : "";
  if (path) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::string k = KeyOf(path);
    if (const Node* n = Find(k))
      read = n->state == Node::State::File ? BytesOf(*n) : scratch_ + "/none";
    else if (!RealVisible(k))
      read = scratch_ + "/none";
  }
  return Inner().GetPrivateProfileString(section, key, defaultText, out, size,
                                         path ? read.c_str() : nullptr);
}

bool DryRunPlatform::ResolveHostPath(const char* path, std::string* host) {
  if (path) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (const Node* n = Find(KeyOf(path)); n && !n->scratch.empty()) {
      *host = n->scratch;
      return true;
    }
  }
  return Inner().ResolveHostPath(path, host);
}

bool DryRunPlatform::GetDiskFreeSpaceEx(const char* root, std::uint64_t* freeToCaller,
                                        std::uint64_t* total, std::uint64_t* totalFree) {
  std::string real = root ? root : "";
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    // A folder of the overlay answers for the real folder that holds it.
    while (root && !real.empty() && Find(KeyOf(real)) && !IsDriveKey(KeyOf(real)))
      real = ParentPath(real);
  }
  return Inner().GetDiskFreeSpaceEx(root ? real.c_str() : nullptr, freeToCaller, total, totalFree);
}

// The path of an entry as the list shows it: below a folder of the overlay,
// in that folder's spelling, so a folder and its files read alike.
std::string DryRunPlatform::SpellingOf(const std::string& key) {
  const Node* n = Find(key);
  if (!n) return std::string();
  const std::string above = SpellingOf(ParentKey(key));
  return above.empty() ? n->path : Shown(above, true) + Leaf(n->path);
}

std::vector<DryRunChange> DryRunPlatform::Changes() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<DryRunChange> changes;
  for (const auto& [key, n] : nodes_) {
    DryRunChange c;
    const std::string spelt = SpellingOf(key);
    c.path = Shown(spelt, n.state == Node::State::Folder);
    c.host = HostOf(n.path);
    WIN32_FIND_DATA real{};
    HANDLE h = Inner().FindFirstFile(n.path.c_str(), &real);
    if (h) CloseHandle(h);
    const bool realFolder = h && (real.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const bool realFile = h && !realFolder;
    if (n.state == Node::State::Gone) {
      if (!h) continue;
      c.kind = realFolder ? DryRunChange::Kind::DeleteFolder : DryRunChange::Kind::Delete;
      c.path = Shown(spelt, realFolder);
      c.size = realFolder ? 0 : FileSizeOf(real);
    } else if (n.state == Node::State::Folder) {
      if (realFolder) continue;
      c.kind = DryRunChange::Kind::AddFolder;
    } else {
      WIN32_FIND_DATA own{};
      if (HANDLE o = Inner().FindFirstFile(BytesOf(n).c_str(), &own)) CloseHandle(o);
      c.size = FileSizeOf(own);
      c.oldSize = realFile ? FileSizeOf(real) : 0;
      if (!realFile)
        c.kind = DryRunChange::Kind::Add;
      else if (!n.written && !n.attributesSet)
        continue;  // opened for writing (a lock), never written
      else if (!n.written)
        c.kind = DryRunChange::Kind::Attributes;
      else
        c.kind =
            SameBytes(BytesOf(n), n.path) ? DryRunChange::Kind::Keep : DryRunChange::Kind::Replace;
    }
    changes.push_back(c);
  }
  return changes;
}

DryRunPlatform* CurrentDryRun() {
  if (!HasCurrent()) return nullptr;
  Platform* platform = &Current();
  for (;;) {
    if (auto* dry = dynamic_cast<DryRunPlatform*>(platform)) return dry;
    auto* decorator = dynamic_cast<ForwardingPlatform*>(platform);
    if (!decorator) return nullptr;
    platform = &decorator->Inner();
  }
}

}  // namespace plat
