// Identity checks: does an archive or a backup file belong to this
// controller? Each check compares the identity files unpacked into
// \PLAXON\TMP\ (or a backup's DKCF) with the SVP's \PLAXON\CONFIG\.
#pragma once

#include <cstddef>

#include "common/SerialNumber.h"
#include "platform/WinTypes.h"

// The DKCF stores the serial number less this.
constexpr DWORD kDkcfSerialBase = 400000;

// The checks a caller selects (only the low byte of its 32-bit word counts).
using ConfigCheckSelector = BYTE;
constexpr ConfigCheckSelector kCheckSvpType = 0x01;
constexpr ConfigCheckSelector kCheckPcmType = 0x02;
constexpr ConfigCheckSelector kCheckConfigInfType = 0x04;
constexpr ConfigCheckSelector kCheckSerialNumber = 0x08;
constexpr ConfigCheckSelector kCheckDkcModel = 0x10;

// Runs the selected checks in the order 0x01, 0x10, 0x02, 0x04, 0x08 and
// stops at the first that fails. No bit set: success.
int CheckConfigIdentity(DWORD selector, WORD* resultWord);

// The check of an archive file against the SVP's configuration: the
// identity files are unpacked from it and the selected checks run.
int CheckConfigFileArchive(const char* archivePath, DWORD selector, WORD* resultWord);

int Talver_CheckZeLT330Data(WORD* resultWord);
int Talver_CheckDkcModel(WORD* resultWord);
int Talver_CheckPcmType(WORD* resultWord);
int Talver_CheckConfigInfType(WORD* resultWord);
int Talver_CheckSerialNumber(WORD* resultWord);

// The CONFIG.INF type: characters 14 and 15 of the first line, and a zero.
// 0 when the file cannot be opened.
int ReadConfigInfType(const char* path, char type[3]);

// The checks of a backup file's DKCF (the first kDkcfSize bytes) against the
// configuration directory.
int CheckBackupConfigInfType(const char* configDir, const BYTE* dkcf, WORD* resultWord);
int CheckBackupSerialNumber(const char* configDir, const BYTE* dkcf, const char* serialNumberFile,
                            WORD* resultWord);

// The six-digit serial number of the PC side's serial-number file.
int ReadSerialNumberFile(const char* path, DWORD* serial);

// Removes identity files that an earlier run left in \PLAXON\TMP\; 0 when
// one of them cannot be removed.
int RemoveStaleCheckFiles();
