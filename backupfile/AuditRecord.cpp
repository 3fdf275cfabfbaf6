// The audit record of a finished operation and the string-table texts it
// names. It writes no trace line.
#include "backupfile/AuditRecord.h"

#include <cstdlib>
#include <cstring>

#include "common/Globals.h"
#include "common/ResultWords.h"
#include "resources/Resources.h"
#include "svpsvc/AuditLog.h"

const char AuditCategoryText[] = "<DKCMaintenance>";

static_assert(sizeof(AuditRecord) == kAuditRecordBytes);
static_assert(offsetof(AuditRecord, operationName) == kAuditOperationOffset);
static_assert(offsetof(AuditRecord, outcomeName) == kAuditOutcomeOffset);
static_assert(offsetof(AuditRecord, logValue) == kAuditValueOffset);

void WriteAuditRecord(AuditOperation operation, const char* newVersion, const char* oldVersion,
                      int result, WORD resultWord) {
  DWORD log = adt_AuditOpen();
  AuditOutcome outcome = kAuditNormalEnd;
  bool record = true;
  if (result != 1) {
    if (resultWord == kWordCancelled) record = false;  // cancelled by the operator
    outcome = kAuditError;
  }
  AuditRecord* entry = nullptr;
  if (record) entry = static_cast<AuditRecord*>(std::calloc(1, sizeof(AuditRecord)));
  if (entry) {
    adt_AuditRecordStart(log);
    entry->categoryAddress =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(AuditCategoryText));
    entry->kind = 2;
    if (LoadString(ModuleInstance, operation, entry->operationName, sizeof entry->operationName) !=
            0 &&
        LoadString(ModuleInstance, outcome, entry->outcomeName, sizeof entry->outcomeName) != 0) {
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
