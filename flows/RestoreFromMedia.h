// Restore of the configuration from a software medium chosen by controller
// model. The export resets the new and old version texts (32 bytes each)
// before the flow and writes the audit record with them after it; the flow
// fills them as it reads them and writes no audit record of its own.
#pragma once

#include <array>
#include <cstddef>

#include "platform/WinTypes.h"

int RestoreConfigFromMedia(HWND owner, WORD* restoreKind, char* newVersion, char* oldVersion,
                           WORD* resultWord);

// What the restore writes to its restore-kind word once it unpacks.
constexpr WORD kRestoreFromSoftwareMedium = 0x5000;

// Asks the controller for its model index through the send library's
// terminal call. 1 with the index; 0 with the result word 0x0100 (error
// answer), 0x0400 (refused) or 0x2000.
int GetModelIndex(HWND owner, DWORD* modelIndex, WORD* resultWord);

// Model number and size code of a model index; the model number is null for
// an index the restore refuses.
struct ModelEntry {
  const char* modelNumber;
  const char* sizeCode;
};
constexpr std::size_t kModelTableSize = 6;
// A std::array, read with a checked access: an index past it cannot read
// memory beyond the table.
extern const std::array<ModelEntry, kModelTableSize> ModelTable;

// Sets ModelNumberText and SizeCodeText from the table: 0 for an index
// outside it or refused (the texts unchanged).
int ApplyModelIndex(DWORD modelIndex);
