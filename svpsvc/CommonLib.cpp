// The common library stand-in: trace file, wait window, timed wait, copy,
// identity reads, caption suffix, SVP state, table-file names, the directory
// operation after an extraction, and WEP.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>

#include "ServiceSettings.h"
#include "SvpServices.h"
#include "platform/Machine.h"
#include "platform/Platform.h"
#include "platform/Temporary.h"

#if !defined(_WIN32)
#include "platform/winemu/Operator.h"
#endif

namespace {

std::mutex gTraceMutex;
bool gTraceEcho = false;
bool gTraceCapture = false;
std::vector<std::string> gTraceCaptured;

std::string TraceStamp() {
  SYSTEMTIME t;
  plat::GetLocalTime(&t);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04u/%02u/%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth,
                t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return buffer;
}

unsigned long ThreadNumber() {
#if defined(_WIN32)
  return static_cast<unsigned long>(::GetCurrentThreadId()) & 0xFFFFFu;
#else
  return static_cast<unsigned long>(std::hash<std::thread::id>{}(std::this_thread::get_id())) &
         0xFFFFFu;
#endif
}

}  // namespace

namespace svc {

std::string TraceFilePath() {
  if (!HasSettings()) return {};
  return SettingsFilePath(Setting("services.trace_file", "trace.log"));
}

void StartTraceCapture() {
  std::lock_guard<std::mutex> lock(gTraceMutex);
  gTraceCapture = true;
  gTraceCaptured.clear();
}

std::vector<std::string> TakeCapturedTrace() {
  std::lock_guard<std::mutex> lock(gTraceMutex);
  std::vector<std::string> lines;
  lines.swap(gTraceCaptured);
  return lines;
}

void SetTraceEcho(bool on) {
  std::lock_guard<std::mutex> lock(gTraceMutex);
  gTraceEcho = on;
}

}  // namespace svc

int dsvp_ApiTraceWrite(int /*kind*/, int /*size*/, const char* text) {
  std::string line = text ? text : "";
  std::string record = TraceStamp() + " [" + std::to_string(ThreadNumber()) + "] " + line + "\n";
  std::string path = svc::TraceFilePath();
  std::lock_guard<std::mutex> lock(gTraceMutex);
  if (gTraceCapture) gTraceCaptured.push_back(line);
  if (gTraceEcho) std::fputs(record.c_str(), stderr);
  if (!path.empty()) {
    plat::AppendHostFile(path, record);
  }
  return 1;
}

DWORD dsvp_ApiOpenWaitWindow(HWND /*owner*/, int /*flags*/, const char* text, const char* caption) {
  static DWORD next = 0x7000;
#if !defined(_WIN32)
  plat::CurrentOperator().WaitWindowOpened(text ? text : "", caption ? caption : "");
#endif
  return ++next;
}

void dsvp_ApiCloseWaitWindow(DWORD handle) {
#if !defined(_WIN32)
  if (handle != 0) plat::CurrentOperator().WaitWindowClosed();
#endif
}

void dsvp_ApiWaitTimer2(HWND /*window*/, int /*a*/, int /*b*/, WORD* /*error*/) {
  long long ms = svc::SettingInt("services.wait_ms", 1000);
  plat::Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms));
}

// The copy goes to a temporary name beside the destination and is renamed
// over it once whole, so the destination is never seen half-written, even
// when the process dies in the middle.
int dsvp_ApiCopyFile(const char* destination, const char* source, WORD* error) {
  HANDLE in = plat::CreateFile(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
  if (!in) {
    if (error) *error = kSvcErrNotFound;
    return 0;
  }
  // A file is never copied onto itself (it is open for reading).
  if (plat::SameFile(source, destination)) {
    plat::CloseHandle(in);
    if (error) *error = kSvcErrCopy;
    plat::SetLastError(ERROR_SHARING_VIOLATION);
    return 0;
  }
  // Temporaries of this destination that a killed copy left go first. A
  // temporary of this copy's own: two processes copying to one destination
  // never write into each other's file.
  plat::RemoveTemporariesOf(destination);
  std::string temporary;
  HANDLE out = plat::CreateTemporaryBeside(destination, &temporary);
  if (!out) {
    DWORD e = plat::GetLastError();
    plat::CloseHandle(in);
    if (error) *error = kSvcErrCopy;
    plat::SetLastError(e);
    return 0;
  }
  std::vector<char> buffer(1 << 20);
  bool ok = true;
  for (;;) {
    DWORD got = 0, put = 0;
    // A call asked to stop leaves the copy (and its temporary) behind it.
    if (plat::StopRequested() || plat::CallStopRequested()) {
      plat::SetLastError(ERROR_OPERATION_ABORTED);
      ok = false;
      break;
    }
    if (!plat::ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!plat::WriteFile(out, buffer.data(), got, &put)) {
      ok = false;
      break;
    }
    if (put != got) {
      plat::SetLastError(ERROR_DISK_FULL);
      ok = false;
      break;
    }
  }
  DWORD e = plat::GetLastError();
  plat::CloseHandle(in);
  // Flushed before it replaces the destination: a copy that counts is on
  // the disk.
  if (ok && !plat::CommitTemporary(out, temporary, destination)) {
    e = plat::GetLastError();
    ok = false;
  } else if (!ok) {
    plat::CloseHandle(out);
  }
  if (!ok) {
    // A copy that failed leaves no partial file behind.
    plat::DeleteFile(temporary.c_str());
    if (error) *error = kSvcErrCopy;
    plat::SetLastError(e);
    return 0;
  }
  return 1;
}

namespace {

bool StartsIgnoringCase(const char* text, const char* prefix, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// Reads KEY=VALUE from a configuration directory's identity file.
int ReadIdentity(const char* configDir, const char* file, const char* key, long long* value,
                 WORD* error) {
  std::string path = std::string(configDir ? configDir : "");
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += "\\";
  path += file;
  plat::Stream* s = plat::fopen(path.c_str(), "r");
  if (!s) {
    if (error) *error = kSvcErrNotFound;
    return 0;
  }
  char line[256];
  bool found = false;
  std::size_t keyLen = std::strlen(key);
  while (plat::fgets(line, sizeof line, s)) {
    if (StartsIgnoringCase(line, key, keyLen) && line[keyLen] == '=') {
      char* end = nullptr;
      long long v = std::strtoll(line + keyLen + 1, &end, 10);
      if (end == line + keyLen + 1) break;
      *value = v;
      found = true;
      break;
    }
  }
  // A file that could not be read to its end is no answer: a SERIAL line
  // missed that way would read as a serial number never set.
  const bool unread = !found && plat::ferror(s) != 0;
  plat::fclose(s);
  if (!found) {
    if (error) *error = unread ? kSvcErrRead : kSvcErrFormat;
    return 0;
  }
  return 1;
}

}  // namespace

namespace svc {
bool ReadIdentityValue(const std::string& configDir, const char* file, const char* key,
                       long long* value) {
  WORD error = 0;
  return ReadIdentity(configDir.c_str(), file, key, value, &error) != 0;
}
}  // namespace svc

int dsvp_ApiGetSerialNumber(const char* configDir, DWORD* serial, WORD* error) {
  long long v = 0;
  WORD e = 0;
  if (!ReadIdentity(configDir, "DKCPRP.DAT", "SERIAL", &v, &e)) {
    // A DKCPRP.DAT without a serial is a controller whose serial was never set.
    if (e != kSvcErrFormat) {
      if (error) *error = e;
      return 0;
    }
    v = 0;
  }
  if (v < 0 || v > 0xFFFFFFFFLL) {
    if (error) *error = kSvcErrFormat;
    return 0;
  }
  *serial = v == 0 ? 400001u : static_cast<DWORD>(v);
  return 1;
}

int dsvp_ApiGetDkcModel(DWORD* model, const char* configDir, WORD* error) {
  long long v = 0;
  if (!ReadIdentity(configDir, "DKCPRP.DAT", "MODEL", &v, error)) return 0;
  *model = static_cast<DWORD>(v);
  return 1;
}

int dsvp_ApiGetPcmType(DWORD* type, const char* configDir, WORD* error) {
  long long v = 0;
  if (!ReadIdentity(configDir, "LMCPT.DAT", "PCMTYPE", &v, error)) return 0;
  *type = static_cast<DWORD>(v);
  return 1;
}

void dsvp_ApiGetCaptionSuffix(int /*zero*/, char* buffer48, DWORD* a, DWORD* b) {
  std::string suffix = svc::Setting("services.caption_suffix", " - SVP");
  std::snprintf(buffer48, 48, "%.47s", suffix.c_str());
  if (a) *a = 0;
  if (b) *b = 0;
}

int dsvp_ApiGetSvpState(WORD* state, DWORD* other) {
  *state = static_cast<WORD>(svc::SettingInt("services.svp_state", 0));
  if (other) *other = 0;
  return 1;
}

int GetTifFileInf(int index, const char* directory, int, int, char* out, int outSize, WORD* error) {
  const char* name = index == 9 ? "DKCF.TIF" : index == 54 ? "CFREV.TIF" : nullptr;
  if (!name) {
    if (error) *error = kSvcErrTable;
    return 0;
  }
  std::string dir = directory ? directory : "";
  if (!dir.empty() && dir.back() != '\\') dir += "\\";
  int n = std::snprintf(out, static_cast<std::size_t>(outSize), "%s%s", dir.c_str(), name);
  if (n < 0 || n >= outSize) {
    if (error) *error = kSvcErrTable;
    return 0;
  }
  return 1;
}

int dsvp_ApiDirOperation(int /*operation*/, const char* directory, int /*flags*/, WORD* error) {
  // The unpacked configuration must be a directory; the world may make the
  // operation fail for tests ([services] dir_operation_fails).
  if (svc::SettingInt("services.dir_operation_fails", 0) != 0) {
    if (error) *error = kSvcErrRead;
    return 0;
  }
  DWORD a = plat::GetFileAttributes(directory);
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
    if (error) *error = kSvcErrNotFound;
    return 0;
  }
  return 1;
}

int dsvp_WEP(int value) { return value; }
