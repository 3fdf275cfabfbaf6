// The operations that the export frames hand over to. Each is built by the
// module named beside it; exports/Pending.cpp holds the ones not yet built,
// which fail cleanly.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

// Backup to media and installation by model selector (flows, CnfProcess3).
int Talver_BackupConfigToMedia(HWND owner, WORD* resultWord);
int Talver_OffSvpBackupByModel(HWND owner, DWORD modelSelector, WORD mode, WORD* resultWord);
// Unpacking of an archive under the progress dialog (archive, CnfCmpDlg).
int CompressDialog(HWND owner, std::int16_t mode, DWORD display, const char* archivePath,
                   const char* directory);
// The unpacking step of dsvp_TalverIsUncompressed (flows, CnfProcess).
int Talver_ConfigIsUncompressed(HWND owner, const char* archivePath, const char* targetDir);
// HDD backup (archive, CnfBakup).
int Talver_HddBacukupConfig(HWND owner, char* archivePathOut, DWORD display, WORD* resultWord);
// Update of the second SVP (flows, CnfProcess).
int UpdateConfigTo2ndSvp(WORD* resultWord);
// Setup of the configuration in the SVP (flows, CnfProcess).
WORD SetupConfigInSvp(HWND owner, const char* sourceRoot, const char* targetDir,
                      WORD* resultWord);
// The check of an archive file against the SVP's configuration (validate).
int CheckConfigFileArchive(const char* archivePath, DWORD selector, WORD* resultWord);
// config4 of a path (validate, CnfProcess2).
int ReadConfig4File(const char* path, BYTE* record32, WORD* resultWord);
// Restores (flows): from media, and from a backup file. The export resets
// the new and old version texts (32 bytes each) before the flow and writes
// the audit record with them after it; the flow fills them as it reads them.
int RestoreConfigFromMedia(HWND owner, WORD* restoreKind, char* newVersion, char* oldVersion,
                           WORD* resultWord);
int RestoreConfigFromBackupFile(HWND owner, char* newVersion, char* oldVersion, WORD* resultWord);
// The result word the operations not yet built fail with (0x2000 unless set
// otherwise, e.g. 0x4000 to stand for the operator's cancel); the previous
// word. Only the library's own tests set it; it is not exported.
WORD SetPendingResultWord(WORD word);
