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
/* The library's version ("MAJOR.MINOR.PATCH"). */
TALVER_API const char* TalverHost_Version(void);

/*
 * The operator: who answers the library's questions (its message boxes and
 * dialogs). A program that sets nothing gets one that answers nothing: every
 * question is refused at once (Cancel, No, or the dialog closed, so the call
 * ends as a cancel or a failure) and a trace line names it. Notices with a
 * single OK button need no answer.
 *
 * Answers given beforehand, in the form of svpconf's options. name is
 *   a message id ("3351") with ok, cancel, yes, no, retry, abort or ignore
 *     (or their first letters, any case);
 *   "drive"        the letter of the media dialog's drive ("E", "e", "E:");
 *   "key"          the key code of the key-code dialog;
 *   "file"         the backup file (.gpfm) of the file dialog;
 *   "backup"       the serial number of the backup to take from a backup list;
 *   "confirm"      yes or no: tick "Confirmed" in the confirmation dialog;
 *   "setup-source" cdr or backup;
 *   "media"        the media to insert when asked for another, in this order
 *                  ("1;3;2": names of the drive's media or folders); without
 *                  it the drive's own list is tried in turn.
 * 1 when taken; 0 with the reason (naming the valid values) in error.
 */
TALVER_API int TalverHost_SetAnswer(const char* name, const char* value, char* error,
                                    size_t errorSize);
/* Forgets every answer given beforehand and every question refused. */
TALVER_API void TalverHost_ClearAnswers(void);

/* A question the library asks (TalverHost_SetAsker). */
typedef struct talver_question {
  int isDialog;          /* 0: a message box; 1: a dialog */
  int id;                /* the message id, or the dialog's template id */
  const char* name;      /* the answer's name, as TalverHost_SetAnswer takes it */
  const char* text;      /* what the operator would read */
  const char* choices;   /* the answers it takes, "|" between ("yes|no", "A|E"); "" any text */
  const char* preferred; /* the answer its default button gives ("no"); "" for a dialog */
} talver_question;
/*
 * Asks the program's own user what no answer given beforehand answers: 1 with
 * the answer in answer (a button name for a message box, the value for a
 * dialog, as TalverHost_SetAnswer takes it), 0 to refuse the question.
 */
typedef int (*talver_ask_fn)(const talver_question* question, char* answer, size_t answerSize,
                             void* context);
/*
 * Names the program's asker (null: nobody is asked). A request for another
 * medium (message 3836 or 4036) answered ok puts the next medium of the
 * drive's list in.
 */
TALVER_API void TalverHost_SetAsker(talver_ask_fn ask, void* context);
/*
 * Asks the running call to stop at its next stop point, as an operator's
 * Cancel would: its worker stops, the file it was writing is removed, its
 * questions are refused, and it ends as a cancel (result word 0x4000). Safe
 * to call from a signal handler or another thread.
 */
TALVER_API void TalverHost_RequestStop(void);
/*
 * The number of questions refused since the world was loaded or the answers
 * were cleared; when why is given, the last one in words.
 */
TALVER_API int TalverHost_Refused(char* why, size_t whySize);
/*
 * Trial runs (after TalverHost_LoadWorld; a world loaded later ends one).
 * With on 1 every call that follows runs all its checks and dialogs, reads
 * what is there, and writes nothing to the SVP's drives or media: what it
 * writes, renames or deletes goes to a private scratch folder (under
 * $TMPDIR) and reads back from there; no audit record is written. Trace
 * lines are still written. 0 ends the trial and forgets its changes. 1 on
 * success; 0 with a reason in error.
 */
TALVER_API int TalverHost_SetDryRun(int on, char* error, size_t errorSize);
/*
 * What the trial run so far would do to the real tree, in path order: each
 * change once, with kind "add", "replace", "keep" (written with the bytes it
 * has), "attributes", "delete", "add-folder" or "delete-folder", its system
 * path, host path, its size (for a delete, the size it has) and a line in
 * words. The number of changes; 0 also when no trial runs.
 */
typedef void (*talver_dry_change_fn)(const char* kind, const char* path, const char* hostPath,
                                     uint64_t size, const char* line, void* context);
TALVER_API int TalverHost_DryRunChanges(talver_dry_change_fn each, void* context);

/*
 * Looking inside backups, nothing written but the identity files that the
 * check of an archive compares (in \PLAXON\TMP\, removed again). `what`
 * names an HDD backup by its stamp ("20261208035324"), "DIFF" (the DIFF
 * copy), "live" (\PLAXON\CONFIG\, for TalverHost_Diff), a .gpfm file or an
 * archive (a path of the world's drives). why gets the first fault in words.
 */
typedef struct talver_entry {
  const char* name;      /* "CONFIG/config4"; a .gpfm table: "table 5" */
  uint64_t size;         /* bytes; a table: its stored bytes */
  int64_t modified;      /* seconds since 1970 (0 for a table) */
  int kind;              /* 0 file, 1 folder, 2 other, 3 table */
  unsigned mode;         /* permission bits (0644) */
  uint64_t unpackedSize; /* a table: its decompressed bytes */
  int segments;          /* a table: its segments */
  char digest[17];       /* content digest, 16 hex digits ("" for a folder) */
  char version[12];      /* a table file's version ("01-02-03/60"), else "" */
} talver_entry;
typedef void (*talver_entry_fn)(const talver_entry* entry, void* context);
/*
 * Reads `what` whole: every gzip member, tar header and entry (an archive,
 * also the entries a configuration backup must hold and the identity check
 * against this SVP), or every segment sum and table (a .gpfm). 1 sound,
 * 0 damaged, -1 not readable at all or not checked (why says which).
 */
TALVER_API int TalverHost_Verify(const char* what, char* why, size_t whySize);
/*
 * The HDD backups by the scan the retention counts with: `each` gets every
 * folder below \PLAXON\OTHERS\BACKUP\ in the order of the search, with the
 * size of its archive, whether the retention counts it (valid) and whether
 * the next backup removes it as an interrupted one's. 1 when the whole
 * folder was searched; 0 without a world or a backup folder; -1 when the
 * search was cut short (the folders before that were handed on).
 */
typedef void (*talver_backup_fn)(const char* name, uint64_t size, int valid, int interrupted,
                                 void* context);
TALVER_API int TalverHost_Backups(talver_backup_fn each, void* context);
/* Every entry of `what` in stored order; 1 when whole, else as TalverHost_Verify. */
TALVER_API int TalverHost_List(const char* what, talver_entry_fn each, void* context, char* why,
                               size_t whySize);
/* One medium of a backup on media, as TalverHost_VerifyMedia takes it. */
typedef struct talver_volume {
  int number;          /* 1 for the first medium */
  int count;           /* the media the backup is split over (1: not split) */
  const char* archive; /* its archive on the medium ("A:\PLAXON\CONFIG\412345\svp_conf.tgz") */
  uint64_t size;       /* the bytes of that archive (of this volume) */
} talver_volume;
typedef void (*talver_volume_fn)(const talver_volume* volume, void* context);
/*
 * The backup of this SVP on media, read as the setup from media reads it:
 * the media dialog asks for the drive (its answer "drive"), the medium's
 * config4 is checked, and each further volume of a split backup is asked
 * for in the same drive (message 3836) and must continue the one before.
 * The volumes are joined in memory, never written, and the whole archive
 * is then checked as TalverHost_Verify checks an HDD backup. `each` gets
 * every volume taken. 1 sound, 0 damaged (a volume short, missing or of
 * another backup, or the archive), -1 no backup of this SVP was found.
 */
TALVER_API int TalverHost_VerifyMedia(talver_volume_fn each, void* context, char* why,
                                      size_t whySize);
/* One difference between two of them. */
typedef struct talver_change {
  char kind;        /* '+' only in b, '-' only in a, '~' changed, '=' a field of a known record */
  const char* name; /* the entry */
  const talver_entry* a; /* null when absent (and for '=') */
  const talver_entry* b;
  const char* detail; /* '=': "CONFIG.INF version 01-02-03/60 -> 01-02-04/60" */
} talver_change;
typedef void (*talver_change_fn)(const talver_change* change, void* context);
/* The differences from a to b, in name order; 1 when both were read whole. */
TALVER_API int TalverHost_Diff(const char* a, const char* b, talver_change_fn each, void* context,
                               char* why, size_t whySize);
#endif

#ifdef __cplusplus
}
#endif

#endif /* TALVER_H */
