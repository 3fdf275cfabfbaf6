// The library's exported functions (ordinals in talver.def).
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

#define TALVER_EXPORT extern "C" __attribute__((visibility("default")))

TALVER_EXPORT WORD dsvp_TalverRancher(HWND owner);                                     // 100
TALVER_EXPORT int dsvp_TalverBackup(HWND owner);                                       // 101
TALVER_EXPORT int dsvp_TalverIsUncompressed(HWND owner, const char* archivePath,
                                            const char* targetDir);                    // 102
TALVER_EXPORT int dsvCnf_ConfigIsUpdate(void);                                         // 103
TALVER_EXPORT int dsvCnf_ConfigIsHddBackup(HWND owner, DWORD mode, WORD* resultWord);  // 104
TALVER_EXPORT void dsvCnf_ConfigUpdateTo2ndSVP(void);                                  // 105
TALVER_EXPORT WORD dsvCnf_SetupConfigInSVP(HWND owner, const char* sourceRoot,
                                           const char* targetDir);                     // 106
TALVER_EXPORT int dsvCnf_CheckConfigFile(const char* archivePath, DWORD selector,
                                         WORD* resultWord);                            // 107
TALVER_EXPORT int dsvp_TalverIsCompressed(void);                                       // 108
TALVER_EXPORT int talver_ReadConfig4(const char* fileName, BYTE* record32);            // 109
TALVER_EXPORT int dsvCnf_GetStrConfigType(char* typeText, WORD* resultWord);           // 110
// 111: the decorated WEP ("_WEP@4" on the SVP). '@' cannot stand in an ELF
// name, so it is published here as "_WEP_4".
TALVER_EXPORT WORD _WEP_4(WORD value);                                                 // 111
TALVER_EXPORT int Talver_CloseMemoryMapFile(void* section);                            // 112
TALVER_EXPORT void* Talver_CreateMemoryMapFile(const char* name, DWORD* error);        // 113
TALVER_EXPORT int Talver_OpenMemoryMapFile(const char* name);                          // 114
TALVER_EXPORT int Talver_ReadMemoryMapFile(const char* name, void* destination, DWORD count,
                                           DWORD* error);                              // 115
TALVER_EXPORT int Talver_WriteMemoryMapFile(const char* name, const void* data, DWORD count,
                                            DWORD* error);                             // 116
TALVER_EXPORT int WEP(int value);                                                      // 117
TALVER_EXPORT int dsvCnf_OffSvpAllConf(HWND owner, WORD mode, DWORD modelSelector);    // 120
TALVER_EXPORT int dsvCnf_RestoreConf(HWND owner, WORD* restoreKind, WORD* resultWord); // 130
TALVER_EXPORT int dsvCnf_RestoreConf2(HWND owner, WORD* resultWord);                   // 140
