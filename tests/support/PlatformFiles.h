// Whole files and searches through the installed platform, by their Windows
// paths: what the system's own code would read, write and find.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "platform/ScopedFind.h"

// The file's bytes, "<missing>" when it cannot be opened for reading.
inline std::string PlatformRead(const char* path) {
  HANDLE f = plat::CreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!f) return "<missing>";
  std::string s;
  char buffer[256];
  DWORD got = 0;
  while (plat::ReadFile(f, buffer, sizeof buffer, &got) && got > 0) s.append(buffer, got);
  plat::CloseHandle(f);
  return s;
}

inline bool PlatformWrite(const char* path, const std::string& bytes,
                          DWORD disposition = CREATE_ALWAYS) {
  HANDLE f = plat::CreateFile(path, GENERIC_WRITE, 0, disposition, 0);
  if (!f) return false;
  DWORD put = 0;
  const bool ok = plat::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put);
  plat::CloseHandle(f);
  return ok && put == bytes.size();
}

// The names a directory search yields, in its order, separated by blanks.
inline std::string SearchNames(const char* pattern) {
  std::string names;
  WIN32_FIND_DATA data;
  plat::ScopedFind find(pattern, &data);
  for (bool more = static_cast<bool>(find); more; more = find.Next(&data))
    names += std::string(names.empty() ? "" : " ") + data.cFileName;
  return names;
}
