// Folders held open: the free calls, which check the entry names, and the
// defaults of a half that keeps no folder open and composes the paths.
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/KernelObject.h"
#include "platform/Platform.h"

namespace plat {
namespace {

// The open folders, so that a handle is looked into only when it is one.
std::mutex gFoldersMutex;
std::set<const void*> gFolders;

}  // namespace

FolderObject::FolderObject() {
  std::lock_guard<std::mutex> lock(gFoldersMutex);
  gFolders.insert(this);
}

FolderObject::~FolderObject() {
  std::lock_guard<std::mutex> lock(gFoldersMutex);
  gFolders.erase(this);
}

FolderObject* FolderObjectOf(HANDLE handle) {
  std::lock_guard<std::mutex> lock(gFoldersMutex);
  return gFolders.count(handle) ? static_cast<FolderObject*>(handle) : nullptr;
}

namespace {

// One entry's name: not empty, no separator or drive, not "." or "..".
bool IsEntryName(const char* name) {
  if (!name || !*name || std::strpbrk(name, "\\/:")) return false;
  return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// The path of `name` in `folder`; empty, with the last error set, when the
// handle is no folder's.
std::string PathIn(HANDLE folder, const char* name) {
  FolderObject* f = FolderObjectOf(folder);
  if (!f) {
    SetLastError(ERROR_INVALID_HANDLE);
    return {};
  }
  return f->path + name;
}

}  // namespace

HANDLE Platform::OpenFolder(const char* path) {
  const DWORD attributes = GetFileAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // A missing folder is a path that is not there, whatever its last part.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_DIRECTORY);
    return nullptr;
  }
  auto* folder = new FolderObject;
  folder->path = path;
  if (folder->path.back() != '\\' && folder->path.back() != '/') folder->path += '\\';
  return folder;
}

DWORD Platform::GetFileAttributesIn(HANDLE folder, const char* name) {
  const std::string path = PathIn(folder, name);
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributes(path.c_str());
}

HANDLE Platform::CreateFileIn(HANDLE folder, const char* name, DWORD access, DWORD share,
                              DWORD disposition, DWORD flags) {
  const std::string path = PathIn(folder, name);
  return path.empty() ? nullptr : CreateFile(path.c_str(), access, share, disposition, flags);
}

bool Platform::MoveFileIn(HANDLE folder, const char* from, const char* to, bool replace) {
  const std::string a = PathIn(folder, from), b = PathIn(folder, to);
  return !a.empty() && !b.empty() && MoveFile(a.c_str(), b.c_str(), replace);
}

HANDLE OpenFolder(const char* path) {
  if (!path || !*path) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  return Current().OpenFolder(path);
}

DWORD GetFileAttributesIn(HANDLE folder, const char* name) {
  if (!IsEntryName(name)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_FILE_ATTRIBUTES;
  }
  return Current().GetFileAttributesIn(folder, name);
}

HANDLE CreateFileIn(HANDLE folder, const char* name, DWORD access, DWORD share, DWORD disposition,
                    DWORD flags) {
  if (!IsEntryName(name)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  return Current().CreateFileIn(folder, name, access, share, disposition, flags);
}

BOOL MoveFileExIn(HANDLE folder, const char* from, const char* to, bool replace) {
  if (!IsEntryName(from) || !IsEntryName(to)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  return Current().MoveFileIn(folder, from, to, replace);
}

std::string PathOfFolder(HANDLE folder) {
  FolderObject* f = FolderObjectOf(folder);
  return f ? f->path : std::string();
}

}  // namespace plat
