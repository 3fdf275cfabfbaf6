// The audit record of a finished operation and the string-table texts it
// names. It writes no trace line.
#include "backupfile/AuditRecord.h"

#include <cstdlib>
#include <cstring>

#include "svpsvc/AuditLog.h"

const char AuditCategoryText[] = "<DKCMaintenance>";

static_assert(sizeof(AuditRecord) == kAuditRecordBytes);
static_assert(offsetof(AuditRecord, operationName) == kAuditOperationOffset);
static_assert(offsetof(AuditRecord, outcomeName) == kAuditOutcomeOffset);
static_assert(offsetof(AuditRecord, logValue) == kAuditValueOffset);

namespace {

// The string table of the module's resources, ids 1..14. Kept here until the
// resource module's own string table is linked in; the texts are the same.
const char* const kStringTable[] = {
    nullptr,
    "Configuration Update",
    "All Configuration Files",
    "Assist Configuration Files",
    "Create Configuration Backup",
    "Restore Configuration",
    "Copy Config File",
    "Update Config",
    "All Config",
    "Assist Config",
    "Backup Config",
    "Restore Config",
    "Normal end",
    "Error",
    "NEW Installation",
};

}  // namespace

int LoadTableString(UINT id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  if (id == 0 || id >= sizeof kStringTable / sizeof kStringTable[0]) return 0;
  std::size_t n = std::strlen(kStringTable[id]);
  if (n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
  std::memcpy(buffer, kStringTable[id], n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

void WriteAuditRecord(AuditOperation operation, const char* newVersion, const char* oldVersion,
                      int result, WORD resultWord) {
  DWORD log = adt_AuditOpen();
  AuditOutcome outcome = kAuditNormalEnd;
  bool record = true;
  if (result != 1) {
    if (resultWord == 0x4000) record = false;  // cancelled by the operator
    outcome = kAuditError;
  }
  AuditRecord* entry = nullptr;
  if (record) entry = static_cast<AuditRecord*>(std::calloc(1, sizeof(AuditRecord)));
  if (entry) {
    adt_AuditRecordStart(log);
    entry->categoryAddress =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(AuditCategoryText));
    entry->kind = 2;
    if (LoadTableString(operation, entry->operationName, sizeof entry->operationName) != 0 &&
        LoadTableString(outcome, entry->outcomeName, sizeof entry->outcomeName) != 0) {
      const char* newText = newVersion ? newVersion : "";
      const char* oldText = oldVersion ? oldVersion : "";
      if (operation == kAuditNewInstallation)
        adt_AuditDetailText(log, 0, "{New Ver.}={%s}", newText);
      else if (operation == kAuditBackupConfig)
        adt_AuditDetailText(log, 0, "Ver.=%s", newText);
      else
        adt_AuditDetailText(log, 0, "{New Ver.,Old Ver.}={%s,%s}", newText, oldText);
      entry->logValue = adt_AuditValue(log);
      adt_AuditWriteRecord(entry);
      adt_AuditRecordEnd(log);
    }
  }
  std::free(entry);
  adt_AuditClose(log);
}
