// The audit record of a finished maintenance operation (the backup to media
// and both restores write one at their very end; a cancel writes none).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

// The record handed to the audit-log library by address; zero-filled before use.
struct AuditRecord {
  // Address of the category text. The field is 32 bits wide: on a 64-bit
  // machine it carries the low half of the address, an opaque tag that the
  // audit log never follows.
  std::uint32_t categoryAddress;
  std::uint32_t reserved4;
  WORD kind;  // always 2
  WORD reserved10;
  char operationName[22];  // string-table text of the operation
  BYTE reserved34[562];
  char outcomeName[22];  // "Normal end" or "Error"
  WORD reserved618;
  std::uint32_t logValue;  // what the audit log's value call returned
  BYTE reserved624[172];
};
static_assert(sizeof(AuditRecord) == 796, "an audit record is 796 bytes");
static_assert(offsetof(AuditRecord, kind) == 8);
static_assert(offsetof(AuditRecord, operationName) == 12);
static_assert(offsetof(AuditRecord, outcomeName) == 596);
static_assert(offsetof(AuditRecord, logValue) == 620);
static_assert(offsetof(AuditRecord, reserved624) == 624);

// The category of every record.
extern const char AuditCategoryText[];

// String-table ids of operations and outcomes.
using AuditOperation = UINT;
using AuditOutcome = UINT;
constexpr AuditOperation kAuditBackupConfig = 10;     // backup to media
constexpr AuditOperation kAuditNewInstallation = 14;  // both restores
constexpr AuditOutcome kAuditNormalEnd = 12;
constexpr AuditOutcome kAuditError = 13;

// Writes one record; result 1 is success, anything else a failure, and a
// failure with the result word 0x4000 (a cancel) writes no record. Failures
// of the audit log are not reported.
void WriteAuditRecord(AuditOperation operation, const char* newVersion, const char* oldVersion,
                      int result, WORD resultWord);
