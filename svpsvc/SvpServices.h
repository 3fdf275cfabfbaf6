// Stand-ins for the SVP's own service libraries: the common library, the
// message library, the controller-identity library and the exclusive-file
// library. Only the operations and argument orders that the system relies
// on are offered; their inner working is ours (docs/services.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Stream.h"
#include "platform/WinTypes.h"

// The libraries' calls have C names, as the SVP's own libraries export them
// (docs/windows.md); only the message box, whose overloads the system calls,
// and the helpers for tests and tools are C++.
extern "C" {

// ---- common library ------------------------------------------------------
// Trace write: appends the text, with time and thread, to the world's trace
// file. Called with (0, 259, text).
int dsvp_ApiTraceWrite(int kind, int size, const char* text);
// Wait window: opened with (owner, 0, message text, caption); a handle, 0
// when none was opened. Closed with that handle.
DWORD dsvp_ApiOpenWaitWindow(HWND owner, int flags, const char* text, const char* caption);
void dsvp_ApiCloseWaitWindow(DWORD handle);
// One timed wait of the length the world sets ([services] wait_ms).
void dsvp_ApiWaitTimer2(HWND window, int a, int b, WORD* error);
// File copy (destination, source): nonzero on success, else *error is set.
int dsvp_ApiCopyFile(const char* destination, const char* source, WORD* error);
// Serial number, model and PCM type of a configuration directory (a path
// that ends in a backslash).
int dsvp_ApiGetSerialNumber(const char* configDir, DWORD* serial, WORD* error);
int dsvp_ApiGetDkcModel(DWORD* model, const char* configDir, WORD* error);
int dsvp_ApiGetPcmType(DWORD* type, const char* configDir, WORD* error);
// Caption suffix: a zero-terminated text of at most 47 characters.
void dsvp_ApiGetCaptionSuffix(int zero, char* buffer48, DWORD* a, DWORD* b);
// SVP state: *state receives the 16-bit state value.
int dsvp_ApiGetSvpState(WORD* state, DWORD* other);
// The table file of an index in a directory.
int GetTifFileInf(int index, const char* directory, int a, int b, char* out, int outSize,
                  WORD* error);
// The directory operation run on an unpacked configuration tree.
int dsvp_ApiDirOperation(int operation, const char* directory, int flags, WORD* error);
int dsvp_WEP(int value);

// Error words of the common library stand-in (below 0x2000).
constexpr WORD kSvcErrNotFound = 0x0500;
constexpr WORD kSvcErrRead = 0x0700;
constexpr WORD kSvcErrFormat = 0x0701;
constexpr WORD kSvcErrCopy = 0x0600;
constexpr WORD kSvcErrTable = 0x0901;

}  // extern "C"

// ---- message library ----------------------------------------------------
WORD dsvp_MessageBox(HWND owner, int group, int messageId, int identifier, int kind, UINT style);
WORD dsvp_MessageBox(HWND owner, int group, int messageId, int identifier, int kind, UINT style,
                     DWORD insert);
// The same with a text insert, which fills the "%s" of the catalogue text.
WORD dsvp_MessageBox(HWND owner, int group, int messageId, int identifier, int kind, UINT style,
                     const char* insert);
// Writes the catalogue text as a wide string; negative on failure.
extern "C" std::int16_t dsvp_CreateMsgStringW(WCHAR* buffer, int bufferSize, int group,
                                              int messageId, int identifier, int variant);
// The catalogue text of a message (for views and tools), inserts unfilled;
// "Message N." for an id the catalogue lacks.
std::string CatalogueText(int messageId);
// The text as a message box shows it: the number fills its "%d" ("?" without
// one), the text insert its "%s".
std::string FilledCatalogueText(int messageId, bool hasInsert, DWORD insert,
                                const char* textInsert);

extern "C" {

// ---- controller-identity library ----------------------------------------
const char* dsvw_GetDkcRootDir();
const char* dsvw_GetDkcId();

// ---- exclusive-file library ---------------------------------------------
int exf_BeginOpen(const char* path, const char* mode);
plat::Stream* exf_RegisterStream(plat::Stream* stream, int flags);
void exf_EndOpen(int closeResult, plat::Stream* stream, int flags);
int exf_DeleteFile(const char* path);
HANDLE exf_CreateFile(const char* path, DWORD access, DWORD share, DWORD disposition,
                      DWORD attributes, DWORD flags);
void exf_CloseFile(HANDLE file);
// An exclusive hold on a lock file (created where missing) for one caller at
// a time, whatever process it is in: waits up to waitMs for another holder
// to let go. Null with the last error set (ERROR_LOCK_VIOLATION: still held
// by another) when it could not be had. The hold ends with exf_Release or
// with the holder's process, however it ends.
HANDLE exf_Hold(const char* path, DWORD waitMs);
void exf_Release(HANDLE hold);

// ---- send library ---------------------------------------------------------
// "_Svp_ExecGumTerminalCommunication@24" on the SVP (the decorated name is no
// C++ identifier): a terminal request to the controller. 0 when it answered;
// its reply, a status word and a further word through the pointers.
int Svp_ExecGumTerminalCommunication(int command, int value, void* reply, DWORD replySize,
                                     DWORD* status, DWORD* extra);

}  // extern "C"

namespace svc {

// Counters of the exclusive-file library, so tests can check that every
// guarded open was ended.
struct ExclusiveCounts {
  int begun = 0;
  int registered = 0;
  int ended = 0;
};
ExclusiveCounts GetExclusiveCounts();
void ResetExclusiveCounts();

// Trace capture for tests and echo for the tool.
void StartTraceCapture();
std::vector<std::string> TakeCapturedTrace();
void SetTraceEcho(bool on);
std::string TraceFilePath();

// Reads the identity files of a configuration directory (host-independent
// helper for the tools): KEY=VALUE lines of DKCPRP.DAT and LMCPT.DAT.
bool ReadIdentityValue(const std::string& configDir, const char* file, const char* key,
                       long long* value);

#if defined(_WIN32)
// What a message box is about to show, for whoever watches the screen (the
// tests' operator): the catalogue's numbers and the style, which the box
// itself no longer tells. Called on the caller's thread, before the box.
struct MessageShown {
  int group = 0, messageId = 0, identifier = 0, kind = 0;
  UINT style = 0;
  bool hasInsert = false;
  DWORD insert = 0;
};
using MessageObserver = void (*)(const MessageShown& shown);
void SetMessageObserver(MessageObserver observer);
// Called before each read of the settings file, so that whoever keeps that
// file (the tests' world) can bring it up to date first.
using SettingsObserver = void (*)();
void SetSettingsObserver(SettingsObserver observer);
#endif

}  // namespace svc
