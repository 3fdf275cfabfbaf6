// The audit-log library stand-in: keeps the record being built per handle
// and appends finished records as tab-separated lines to the world's audit
// file.
#include "AuditLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "ServiceSettings.h"
#include "platform/Machine.h"
#include "platform/Platform.h"

namespace {

struct Session {
  bool started = false;
  bool written = false;
  std::string detail;
  std::vector<std::uint8_t> record;
};

std::mutex gAuditMutex;
std::map<DWORD, Session> gSessions;
DWORD gNextHandle = 0xA000;
DWORD gLastStarted = 0;
std::vector<std::string> gCalls;
std::vector<std::uint8_t> gLastRecord;
bool gSuppressed = false;

void Note(const char* call) { gCalls.emplace_back(call); }

// A text field of the record: at most 21 characters before its terminator.
std::string Field(const std::vector<std::uint8_t>& record, std::size_t offset) {
  const char* p = reinterpret_cast<const char*>(record.data() + offset);
  std::size_t n = strnlen(p, kAuditNameField);
  return std::string(p, n);
}

// Tabs and line ends would break the line format.
std::string Flat(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return text;
}

// The lines of a host file, without their line ends; false when unreadable.
bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  std::string text;
  if (!plat::ReadHostFile(path, &text)) return false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines->push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

unsigned CountRecords(const std::string& path) {
  std::vector<std::string> lines;
  ReadLines(path, &lines);
  unsigned n = 0;
  for (const std::string& line : lines)
    if (!line.empty()) ++n;
  return n;
}

std::string Stamp() {
  SYSTEMTIME t;
  plat::GetLocalTime(&t);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04u/%02u/%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  return buffer;
}

}  // namespace

namespace svc {

std::string AuditFilePath() {
  if (!HasSettings()) return {};
  return SettingsFilePath(Setting("services.audit_file", "audit.log"));
}

bool ParseAuditLine(const std::string& line, AuditEntry* entry) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  if (parts.size() != 5) return false;
  char* end = nullptr;
  unsigned long number = std::strtoul(parts[0].c_str(), &end, 10);
  if (parts[0].empty() || *end != '\0') return false;
  entry->number = static_cast<unsigned>(number);
  entry->time = parts[1];
  entry->operation = parts[2];
  entry->outcome = parts[3];
  entry->detail = parts[4];
  return true;
}

bool ReadAuditFile(const std::string& hostPath, std::vector<AuditEntry>* entries) {
  std::vector<std::string> lines;
  if (!ReadLines(hostPath, &lines)) return false;
  for (const std::string& line : lines) {
    AuditEntry e;
    if (ParseAuditLine(line, &e)) entries->push_back(e);
  }
  return true;
}

void SetAuditSuppressed(bool on) {
  std::lock_guard<std::mutex> lock(gAuditMutex);
  gSuppressed = on;
}

bool AuditSuppressed() {
  std::lock_guard<std::mutex> lock(gAuditMutex);
  return gSuppressed;
}

std::vector<std::string> TakeAuditCalls() {
  std::lock_guard<std::mutex> lock(gAuditMutex);
  std::vector<std::string> calls;
  calls.swap(gCalls);
  return calls;
}

std::vector<std::uint8_t> LastAuditRecord() {
  std::lock_guard<std::mutex> lock(gAuditMutex);
  return gLastRecord;
}

}  // namespace svc

DWORD adt_AuditOpen() {
  std::lock_guard<std::mutex> lock(gAuditMutex);
  Note("open");
  DWORD handle = ++gNextHandle;
  gSessions[handle] = Session{};
  return handle;
}

int adt_AuditRecordStart(DWORD handle) {
  std::lock_guard<std::mutex> lock(gAuditMutex);
  Note("start");
  auto it = gSessions.find(handle);
  if (it == gSessions.end()) return 0;
  it->second = Session{};
  it->second.started = true;
  gLastStarted = handle;
  return 1;
}

int adt_AuditDetailText(DWORD handle, int /*reserved*/, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format ? format : "", args);
  va_end(args);
  std::lock_guard<std::mutex> lock(gAuditMutex);
  Note("detail");
  auto it = gSessions.find(handle);
  if (it == gSessions.end() || !it->second.started) return 0;
  it->second.detail = text;
  return 1;
}

DWORD adt_AuditValue(DWORD handle) {
  std::string path = svc::AuditFilePath();
  std::lock_guard<std::mutex> lock(gAuditMutex);
  Note("value");
  if (gSessions.find(handle) == gSessions.end()) return 0;
  return CountRecords(path) + 1;
}

int adt_AuditWriteRecord(const void* record) {
  std::lock_guard<std::mutex> lock(gAuditMutex);
  Note("write");
  auto it = gSessions.find(gLastStarted);
  if (!record || it == gSessions.end() || !it->second.started) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(record);
  it->second.record.assign(bytes, bytes + kAuditRecordBytes);
  it->second.written = true;
  gLastRecord = it->second.record;
  return 1;
}

int adt_AuditRecordEnd(DWORD handle) {
  std::string path = svc::AuditFilePath();
  std::lock_guard<std::mutex> lock(gAuditMutex);
  Note("end");
  auto it = gSessions.find(handle);
  if (it == gSessions.end() || !it->second.written) return 0;
  Session& s = it->second;
  s.started = false;
  s.written = false;
  if (gSuppressed) return 1;
  if (path.empty()) return 0;
  DWORD value = 0;
  std::memcpy(&value, s.record.data() + kAuditValueOffset, sizeof value);
  const std::string line = std::to_string(static_cast<unsigned>(value)) + "\t" + Stamp() + "\t" +
                           Flat(Field(s.record, kAuditOperationOffset)) + "\t" +
                           Flat(Field(s.record, kAuditOutcomeOffset)) + "\t" + Flat(s.detail) +
                           "\n";
  return plat::AppendHostFile(path, line) ? 1 : 0;
}

void adt_AuditClose(DWORD handle) {
  std::lock_guard<std::mutex> lock(gAuditMutex);
  Note("close");
  gSessions.erase(handle);
  if (gLastStarted == handle) gLastStarted = 0;
}
