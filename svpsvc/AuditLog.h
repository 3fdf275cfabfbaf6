// Stand-in of the SVP's audit-log library: a finished maintenance operation
// leaves one record in the world's audit file (world setting
// services.audit_file, relative to the world's folder). See docs/audit.md.
//
// Call order of one record: open, record start, detail text, value, record
// write, record end, close. A record reaches the file at record end, and
// only when record write was called since record start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

extern "C" {

// Opens the log; a handle (never 0).
DWORD adt_AuditOpen();
// Starts a record on the handle (a record started earlier and not ended is dropped).
int adt_AuditRecordStart(DWORD handle);
// The detail line of the started record, printf-formatted. `reserved` is 0.
int adt_AuditDetailText(DWORD handle, int reserved, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The value the caller stores in its record: the number the record will have
// in the audit file (1 for the first record of a file).
DWORD adt_AuditValue(DWORD handle);
// Takes the 796-byte record of the handle whose record was started last.
int adt_AuditWriteRecord(const void* record);
// Appends the started record to the audit file.
int adt_AuditRecordEnd(DWORD handle);
void adt_AuditClose(DWORD handle);

}  // extern "C"

// The record as the audit-log library reads it.
constexpr std::size_t kAuditRecordBytes = 796;
constexpr std::size_t kAuditOperationOffset = 12;
constexpr std::size_t kAuditOutcomeOffset = 596;
constexpr std::size_t kAuditValueOffset = 620;
constexpr std::size_t kAuditNameField = 22;

namespace svc {

// One line of the audit file.
struct AuditEntry {
  unsigned number = 0;
  std::string time;
  std::string operation;
  std::string outcome;
  std::string detail;
};

// Parses the audit file's lines (docs/audit.md); false when it cannot be read.
bool ParseAuditLine(const std::string& line, AuditEntry* entry);
bool ReadAuditFile(const std::string& hostPath, std::vector<AuditEntry>* entries);
// Host path of the loaded world's audit file.
std::string AuditFilePath();

// A trial run (svpconf --dry-run) writes no record: record end drops it and
// reports success, so the caller's flow runs on as it would.
void SetAuditSuppressed(bool on);
bool AuditSuppressed();

// For tests: the calls made since the last take ("open", "start", "detail",
// "value", "write", "end", "close"), and the bytes of the last record written.
std::vector<std::string> TakeAuditCalls();
std::vector<std::uint8_t> LastAuditRecord();

}  // namespace svc
