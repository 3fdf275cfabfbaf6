/*
 * talver.h: the exported functions of the Talver configuration library, for
 * C and C++ callers. The ordinal of each export on the SVP is given beside it
 * (exports/talver.def in the sources).
 *
 * Every export is a plain C function with an undecorated name. Results are 1
 * for success and 0 for failure (2 for a cancel where noted); a result word
 * is a 16-bit detail code that the library sets at the point of failure and
 * leaves untouched on success. Window handles are the owner of the library's
 * dialogs and message boxes; 0 is "no window".
 */
#ifndef TALVER_H
#define TALVER_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#endif

/*
 * TALVER_API marks a function of the library, TALVER_CALL the calling
 * convention of the exports (the C one). The decorated WEP of ordinal 111
 * follows the standard convention instead (TALVER_WEP_CALL).
 */
#if defined(_WIN32)
#if defined(TALVER_BUILDING_LIBRARY)
/* The module-definition file names the exports with their ordinals. */
#define TALVER_API
#else
#define TALVER_API __declspec(dllimport)
#endif
#define TALVER_CALL __cdecl
#define TALVER_WEP_CALL __stdcall
#elif defined(__GNUC__)
#define TALVER_API __attribute__((visibility("default")))
#define TALVER_CALL
#define TALVER_WEP_CALL
#else
#define TALVER_API
#define TALVER_CALL
#define TALVER_WEP_CALL
#endif

#if defined(_WIN32)
typedef HWND talver_hwnd;
typedef BYTE talver_byte;
typedef WORD talver_word;
typedef DWORD talver_dword;
#else
/* A window handle is a 32-bit number on this machine. */
typedef uint32_t talver_hwnd;
typedef uint8_t talver_byte;
typedef uint16_t talver_word;
typedef uint32_t talver_dword;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* 100: the library's information message; always 1. */
TALVER_API talver_word TALVER_CALL dsvp_TalverRancher(talver_hwnd owner);
/* 101: back the configuration up to media; 0, 1 or 2 (cancelled). */
TALVER_API int TALVER_CALL dsvp_TalverBackup(talver_hwnd owner);
/* 102: unpack an archive into a directory under a progress dialog. */
TALVER_API int TALVER_CALL dsvp_TalverIsUncompressed(talver_hwnd owner, const char* archivePath,
                                                     const char* targetDir);
/* 103: always 1. */
TALVER_API int TALVER_CALL dsvCnf_ConfigIsUpdate(void);
/* 104: a timestamped backup on the SVP's disk; mode 1 wait window, 2 archiver dialog. */
TALVER_API int TALVER_CALL dsvCnf_ConfigIsHddBackup(talver_hwnd owner, talver_dword mode,
                                                    talver_word* resultWord);
/* 105: bring the second SVP up to date (up to six attempts). */
TALVER_API void TALVER_CALL dsvCnf_ConfigUpdateTo2ndSVP(void);
/* 106: set the configuration up in an SVP tree; 0, 1 or 2 (cancelled). */
TALVER_API talver_word TALVER_CALL dsvCnf_SetupConfigInSVP(talver_hwnd owner,
                                                           const char* sourceRoot,
                                                           const char* targetDir);
/* 107: does an archive belong to this controller (selector: the checks to make)? */
TALVER_API int TALVER_CALL dsvCnf_CheckConfigFile(const char* archivePath, talver_dword selector,
                                                  talver_word* resultWord);
/* 108: always 1. */
TALVER_API int TALVER_CALL dsvp_TalverIsCompressed(void);
/* 109: read the 32-byte config4 record of a file; nonzero when read. */
TALVER_API int TALVER_CALL talver_ReadConfig4(const char* fileName, talver_byte* record32);
/* 110: the SVP's configuration type as four hexadecimal digits (typeText: at least 5 chars). */
TALVER_API int TALVER_CALL dsvCnf_GetStrConfigType(char* typeText, talver_word* resultWord);
/*
 * 111: the decorated WEP ("_WEP@4" on the SVP; '@' cannot stand in an ELF
 * name, so it is "_WEP_4" here); always 1.
 */
TALVER_API talver_word TALVER_WEP_CALL _WEP_4(talver_word value);

/*
 * 112 to 116: a named 1024-byte shared-memory section per controller. The
 * error word is 0, 1 (create: the section exists already) or a system error.
 */
/* 112: close the section handle of a create; nonzero on success. */
TALVER_API int TALVER_CALL Talver_CloseMemoryMapFile(void* section);
/* 113: create a section; its handle, or null. */
TALVER_API void* TALVER_CALL Talver_CreateMemoryMapFile(const char* name, talver_dword* error);
/* 114: 0 when the section exists, 1 when it does not. */
TALVER_API int TALVER_CALL Talver_OpenMemoryMapFile(const char* name);
/* 115: copy count bytes from the start of the section; 1 when read. */
TALVER_API int TALVER_CALL Talver_ReadMemoryMapFile(const char* name, void* destination,
                                                    talver_dword count, talver_dword* error);
/* 116: copy count bytes to the start of the section; 1 when written. */
TALVER_API int TALVER_CALL Talver_WriteMemoryMapFile(const char* name, const void* data,
                                                     talver_dword count, talver_dword* error);

/* 117: the plain WEP, passed on to the common library's. */
TALVER_API int TALVER_CALL WEP(int value);
/* 120: back up to media (mode 1 and others) or install by model (modes 0 and 2). */
TALVER_API int TALVER_CALL dsvCnf_OffSvpAllConf(talver_hwnd owner, talver_word mode,
                                                talver_dword modelSelector);
/* 130: restore from a medium; writes the restore kind to restoreKind. */
TALVER_API int TALVER_CALL dsvCnf_RestoreConf(talver_hwnd owner, talver_word* restoreKind,
                                              talver_word* resultWord);
/* 140: restore from a .gpfm backup file. */
TALVER_API int TALVER_CALL dsvCnf_RestoreConf2(talver_hwnd owner, talver_word* resultWord);

#if !defined(_WIN32)
/*
 * On this machine the SVP is a world: an INI file that gives the SVP's
 * drives and settings (docs/world.md in the sources). A program loads one
 * before its first export; the exports stop the process when none is loaded.
 */
/* 1 on success; 0 with a reason in error. */
TALVER_API int TalverHost_LoadWorld(const char* iniPath, char* error, size_t errorSize);
/* Whether a world is loaded. */
TALVER_API int TalverHost_HasWorld(void);
/* The library's version ("MAJOR.MINOR"). */
TALVER_API const char* TalverHost_Version(void);
#endif

#ifdef __cplusplus
}
#endif

#endif /* TALVER_H */
