// Shared-memory exports: a named 1024-byte section per controller.
#include <cstdio>
#include <cstring>

#include "common/Trace.h"
#include "exports/Exports.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE("CnfMap")

namespace {

constexpr DWORD kSectionSize = 1024;

// "%s%s%s" of the caller's name, "--" and the controller identity, in a
// zeroed 128-character buffer; traced as a text line as it is formed.
bool FormSectionName(const char* name, char (&out)[128]) {
  std::memset(out, 0, sizeof out);
  int n = std::snprintf(out, sizeof out, "%s%s%s", name ? name : "", "--", dsvw_GetDkcId());
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof out) {
    TRACE_TEXT("ERR section name too long");
    plat::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  TRACE_TEXT(out);
  return true;
}

// Opens and maps the section for a write or a read; the view or null.
void* OpenView(const char* name, DWORD count, HANDLE* section, DWORD* error) {
  *error = 0;
  char full[128];
  if (!FormSectionName(name, full)) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return nullptr;
  }
  // The section holds 1024 bytes; a larger count would run past its end.
  if (count > kSectionSize) {
    *error = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  *section = plat::OpenFileMapping(full);
  if (!*section) {
    *error = plat::GetLastError();
    return nullptr;
  }
  void* view = plat::MapViewOfFile(*section);
  if (!view) {
    *error = plat::GetLastError();
    plat::CloseHandle(*section);
    return nullptr;
  }
  return view;
}

}  // namespace

void* Talver_CreateMemoryMapFile(const char* name, DWORD* error) {
  char full[128];
  if (!FormSectionName(name, full)) {
    *error = ERROR_FILENAME_EXCED_RANGE;
    return nullptr;
  }
  HANDLE section = plat::CreateFileMapping(full, kSectionSize);
  DWORD lastError = plat::GetLastError();
  if (section && lastError == ERROR_ALREADY_EXISTS) {
    plat::CloseHandle(section);
    *error = 1;
    return nullptr;
  }
  *error = section ? 0 : lastError;
  return section;
}

int Talver_CloseMemoryMapFile(void* section) {
  return plat::CloseHandle(static_cast<HANDLE>(section));
}

int Talver_OpenMemoryMapFile(const char* name) {
  char full[128];
  if (!FormSectionName(name, full)) return 1;
  HANDLE section = plat::OpenFileMapping(full);
  if (!section) return 1;
  plat::CloseHandle(section);
  return 0;
}

int Talver_WriteMemoryMapFile(const char* name, const void* data, DWORD count, DWORD* error) {
  HANDLE section = nullptr;
  void* view = OpenView(name, count, &section, error);
  if (!view) return 0;
  std::memcpy(view, data, count);
  plat::UnmapViewOfFile(view);
  plat::CloseHandle(section);
  return 1;
}

int Talver_ReadMemoryMapFile(const char* name, void* destination, DWORD count, DWORD* error) {
  HANDLE section = nullptr;
  void* view = OpenView(name, count, &section, error);
  if (!view) return 0;
  std::memcpy(destination, view, count);
  plat::UnmapViewOfFile(view);
  plat::CloseHandle(section);
  return 1;
}
