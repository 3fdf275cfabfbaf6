// Trace lines and operator messages.
//
// Every module names itself once with TALVER_SOURCE("CnfFunc"); its trace
// lines then carry ".\CnfFunc.cpp" and the line of the call. A file that
// shares its trace name with others names itself with
// TALVER_SOURCE_AT("CnfProcess", 2000): its lines are counted from that base,
// so that every "File=.\NAME.cpp(N)" names one place (tests/trace_places.sh).
#pragma once

#include <cstdint>

#include "platform/Win.h"
#include "platform/WinTypes.h"

#define TALVER_SOURCE(name) TALVER_SOURCE_AT(name, 0)
#define TALVER_SOURCE_AT(name, base)                                        \
  namespace {                                                               \
  [[maybe_unused]] constexpr const char kTraceSource[] = ".\\" name ".cpp"; \
  [[maybe_unused]] constexpr int kTraceLineBase = (base);                   \
  }
// The line a trace line names.
#define TRACE_LINE (kTraceLineBase + __LINE__)

#define TRACE_TEXT(text) TraceText(kTraceSource, TRACE_LINE, (text))
#define TRACE_CODE(code) TraceCode(kTraceSource, TRACE_LINE, static_cast<std::uint32_t>(code))
// A result word is traced sign-extended to 32 bits.
#define TRACE_WORD(word) \
  TRACE_CODE(static_cast<std::int32_t>(static_cast<std::int16_t>(static_cast<WORD>(word))))

// Hands the text unchanged to the common library's trace write (0, 259, text).
// One call of an export writes at most kTraceLinesPerCall lines; after them
// one line "trace truncated" and nothing more until the next call begins
// (BeginCallTrace, from the export's frame).
constexpr unsigned kTraceLinesPerCall = 2000;
void TraceLine(const char* text);
void BeginCallTrace();
// "File=%s(%d)\n%s"; at most 255 characters, longer lines are cut.
void TraceText(const char* source, int line, const char* text);
// Formats the text of one trace line (at most 255 characters, longer texts
// are cut as TraceText cuts them) and returns the buffer.
const char* TraceFormat(char (&buffer)[256], const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// "File=%s(%d) ErrCode=0x%X".
void TraceCode(const char* source, int line, std::uint32_t code);

// The message box of the catalogue, then the answer line.
WORD ShowMessage(HWND owner, int group, int messageId, int identifier, int kind, UINT style);
void LogMessageAnswer(int messageId, WORD answer);

struct ResultMessage {
  int messageId;  // 0: no message (a cancel)
  int kind;
  UINT style;
};
// The operator message that belongs to a result word.
ResultMessage ResultMessageOf(WORD word);
// Shows it; the answer sign-extended, 0 for a cancel (0x4000).
std::int32_t ShowResultMessage(HWND owner, WORD word, WORD insert);

// Selection labels of LogSelection.
const char* SelectionLabelText(int label);
void LogSelection(int dialogResult, int label, int kind);

// Draws a dialog's catalogue text into its owner-drawn static (the item of
// a WM_DRAWITEM): the caption font at normal weight, transparent, word-wrapped.
void DrawMessageText(HWND dialog, const plat::DRAWITEMSTRUCT* item, const WCHAR* text);
