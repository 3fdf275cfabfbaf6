#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/HostOperator.h"
#include "host/talver_host.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/World.h"
#include "platform/winemu/Operator.h"
#include "svpsvc/AuditLog.h"
#include "svpsvc/SvpServices.h"

namespace {

// Whether the host program registered an operator of its own.
bool gOwnOperator = false;

int CopyOut(const std::string& text, char* out, std::size_t size) {
  if (!out || size == 0 || text.size() + 1 > size) return 0;
  std::snprintf(out, size, "%s", text.c_str());
  return 1;
}

// Wraps an operator the host keeps alive itself.
std::shared_ptr<plat::Operator> Borrow(plat::Operator* op) {
  return std::shared_ptr<plat::Operator>(op, [](plat::Operator*) {});
}

}  // namespace

namespace {

// $XDG_DATA_HOME/talver/world, else ~/.local/share/talver/world.
std::string DefaultWorldFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  std::filesystem::path base = data && *data   ? std::filesystem::path(data)
                               : home && *home ? std::filesystem::path(home) / ".local/share"
                                               : std::filesystem::path(".");
  return (base / "talver" / "world").string();
}

// $TALVER_WORLD, else svp.ini in the default world folder.
std::string DefaultWorldFile() {
  if (const char* env = std::getenv("TALVER_WORLD"); env && *env) return env;
  return (std::filesystem::path(DefaultWorldFolder()) / "svp.ini").string();
}

}  // namespace

int TalverHost_DefaultWorldFolder(char* out, std::size_t size) {
  return CopyOut(DefaultWorldFolder(), out, size);
}

int TalverHost_DefaultWorldFile(char* out, std::size_t size) {
  return CopyOut(DefaultWorldFile(), out, size);
}

int TalverHost_LoadWorld(const char* iniPath, char* error, std::size_t errorSize) {
  std::string why;
  const std::string file = iniPath && *iniPath ? std::string(iniPath) : DefaultWorldFile();
  auto world = plat::World::Load(file, &why);
  if (!world) {
    CopyOut(why.substr(0, errorSize ? errorSize - 1 : 0), error, errorSize);
    return 0;
  }
  plat::Install(std::make_shared<plat::PosixPlatform>(std::move(*world)));
  host::HostOperator().Forget();
  if (!gOwnOperator) plat::SetOperator(Borrow(&host::HostOperator()));
  return 1;
}

int TalverHost_CheckWorld(const char* iniPath, void (*problem)(const char* text, void* context),
                          void* context) {
  const std::vector<std::string> problems = plat::World::Check(iniPath ? iniPath : "");
  for (const std::string& text : problems)
    if (problem) problem(text.c_str(), context);
  return static_cast<int>(problems.size());
}

int TalverHost_WorldKey(int index, const char** section, const char** key, char* allowed,
                        std::size_t allowedSize, const char** meaning) {
  const std::vector<plat::WorldKey>& keys = plat::WorldKeys();
  if (index < 0 || static_cast<std::size_t>(index) >= keys.size()) return 0;
  const plat::WorldKey& k = keys[static_cast<std::size_t>(index)];
  *section = k.section;
  *key = k.key;
  *meaning = k.meaning;
  return CopyOut(plat::DescribeAllowed(k), allowed, allowedSize);
}

void TalverHost_RequestStop(void) { plat::RequestCallStop(); }

unsigned long long TalverHost_BytesWritten(void) { return plat::BytesWritten(); }

int TalverHost_HasWorld(void) { return plat::HasCurrent() ? 1 : 0; }

// The project's version, given by the build.
const char* TalverHost_Version(void) { return TALVER_VERSION; }

void TalverHost_SetOperator(plat::Operator* op) {
  gOwnOperator = op != nullptr;
  plat::SetOperator(Borrow(op ? op : &host::HostOperator()));
}

void TalverHost_SetTraceEcho(int on) { svc::SetTraceEcho(on != 0); }

void TalverHost_StartTraceCapture(void) { svc::StartTraceCapture(); }

void TalverHost_TakeTrace(void (*line)(const char* text, void* context), void* context) {
  for (const std::string& text : svc::TakeCapturedTrace())
    if (line) line(text.c_str(), context);
}

int TalverHost_TraceFile(char* out, std::size_t size) {
  return CopyOut(svc::TraceFilePath(), out, size);
}

int TalverHost_ResolvePath(const char* systemPath, char* out, std::size_t size) {
  std::string host;
  if (!plat::HasCurrent() || !plat::ResolveHostPath(systemPath, &host)) return 0;
  return CopyOut(host, out, size);
}

int TalverHost_PathKind(const char* systemPath) {
  if (!plat::HasCurrent() || !systemPath) return 0;
  const DWORD attributes = plat::GetFileAttributes(systemPath);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return 3;
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? 2 : 1;
}

int TalverHost_Setting(const char* key, const char* fallback, char* out, std::size_t size) {
  if (!plat::HasCurrent()) return 0;
  return CopyOut(plat::CurrentWorld().Setting(key, fallback ? fallback : ""), out, size);
}

int TalverHost_Root(char* out, std::size_t size) {
  if (!plat::HasCurrent()) return 0;
  return CopyOut(plat::CurrentWorld().root, out, size);
}

int TalverHost_AuditFile(char* out, std::size_t size) {
  if (!plat::HasCurrent()) return 0;
  return CopyOut(svc::AuditFilePath(), out, size);
}

int TalverHost_AuditRecord(int index, unsigned* number, char* operation, std::size_t operationSize,
                           char* outcome, std::size_t outcomeSize, char* detail,
                           std::size_t detailSize) {
  if (!plat::HasCurrent() || index < 0) return 0;
  std::vector<svc::AuditEntry> entries;
  if (!svc::ReadAuditFile(svc::AuditFilePath(), &entries)) return 0;
  if (static_cast<std::size_t>(index) >= entries.size()) return 0;
  const svc::AuditEntry& e = entries[static_cast<std::size_t>(index)];
  if (number) *number = e.number;
  return CopyOut(e.operation, operation, operationSize) &&
                 CopyOut(e.outcome, outcome, outcomeSize) && CopyOut(e.detail, detail, detailSize)
             ? 1
             : 0;
}

int TalverHost_AuditRecordTime(int index, char* time, std::size_t timeSize) {
  if (!plat::HasCurrent() || index < 0) return 0;
  std::vector<svc::AuditEntry> entries;
  if (!svc::ReadAuditFile(svc::AuditFilePath(), &entries)) return 0;
  if (static_cast<std::size_t>(index) >= entries.size()) return 0;
  return CopyOut(entries[static_cast<std::size_t>(index)].time, time, timeSize);
}
