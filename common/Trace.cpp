#include "Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/ResultWords.h"
#include "platform/Platform.h"
#include "svpsvc/SvpServices.h"

namespace {

// Lines written since the export's call began; the worker of the call counts too.
std::atomic<unsigned> gCallTraceLines{0};

}  // namespace

void BeginCallTrace() { gCallTraceLines.store(0); }

void TraceLine(const char* text) {
  const unsigned written = gCallTraceLines.fetch_add(1) + 1;
  if (written <= kTraceLinesPerCall)
    dsvp_ApiTraceWrite(0, 259, text ? text : "");
  else if (written == kTraceLinesPerCall + 1)
    dsvp_ApiTraceWrite(0, 259, "trace truncated");
}

void TraceText(const char* source, int line, const char* text) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "File=%s(%d)\n%s", source, line, text ? text : "");
  TraceLine(buffer);
}

const char* TraceFormat(char (&buffer)[256], const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

void TraceCode(const char* source, int line, std::uint32_t code) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "File=%s(%d) ErrCode=0x%X", source, line, code);
  TraceLine(buffer);
}

WORD ShowMessage(HWND owner, int group, int messageId, int identifier, int kind, UINT style) {
  WORD answer = dsvp_MessageBox(owner, group, messageId, identifier, kind, style);
  LogMessageAnswer(messageId, answer);
  return answer;
}

void LogMessageAnswer(int messageId, WORD answer) {
  static const char* const kAnswers[] = {
      nullptr,
      "OK button was selected.",
      "Cancel button was selected.",
      "Abort button was selected.",
      "Retry button was selected.",
      "Ignore button was selected.",
      "Yes button was selected.",
      "No button was selected.",
  };
  char line[128];
  std::snprintf(line, sizeof line, "### [MSG] ID=%.4d,%s", messageId,
                answer >= 1 && answer <= 7 ? kAnswers[answer] : "");
  TraceLine(line);
}

ResultMessage ResultMessageOf(WORD word) {
  switch (word) {
    case 0x0100:
      return {469, 3, 0x10};
    case 0x0400:
    case 0x0600:
      return {2467, 3, 0x10};
    case 0x0500:
    case 0x0700:
    case 0x0701:
      return {3304, 3, 0x10};
    case 0x0901:
      return {4281, 3, 0x10};
    case 0x1167:
      return {2515, 3, 0x10};
    case kWordMediumNotReady:
      return {3677, 3, 0x30};
    case kWordMediumUnusable:
      return {3678, 3, 0x30};
    case kWordWriteProtected:
      return {3193, 3, 0x15};
    case kWordNotConfigurationDisk:
      return {3677, 3, 0x30};
    case kWordDriveQueryFailed:
      return {3677, 3, 0x30};
    case kWordCancelled:
      return {0, 0, 0};
    case kWordPcmTypeMismatch:
      return {3332, 3, 0x10};
    case kWordStepFailed:
      return {3681, 3, 0x10};
    case kWordNotProcessed:
      return {3383, 3, 0x10};
    case kWordSerialMismatch:
      return {3480, 2, 0x124};
    case kWordConfigTypeMismatch:
      return {3459, 2, 0x124};
    case kWordWrongMedium:
      return {3676, 3, 0x10};
    case kWordMediumUnreadable:
      return {3679, 3, 0x30};
    case kWordMediumUnwritable:
      return {3680, 3, 0x30};
    case kWordBackupFileNotRestored:
      return {3695, 3, 0x10};
    case kWordNotChecked:
      return {3834, 3, 0x10};
    case kWordModelMismatch:
      return {3332, 3, 0x10};
    case kWordWrongDisk:
      return {3835, 3, 0x10};
    case kWordInsertVolume:
      return {3836, 2, 0x31};
    case kWordWrongMediumKind:
      return {4033, 3, 0x10};
    case kWordLargerThanFloppy:
      return {4034, 1, 0x24};
    case kWordNoRoom:
      return {4035, 3, 0x10};
    default:
      return {3333, 3, 0x10};  // 0x0000, 0x2000, 0x4001, 0x4011 and the rest
  }
}

std::int32_t ShowResultMessage(HWND owner, WORD word, WORD insert) {
  if (word == kWordCancelled) return 0;
  // A call asked to stop tells nothing more: it ends as a cancel.
  constexpr std::int32_t kCancel = 2;
  if (plat::CallStopRequested()) return kCancel;
  if (word == kWordWrongDisk || word == kWordInsertVolume) {
    ResultMessage m = ResultMessageOf(word);
    WORD answer =
        dsvp_MessageBox(owner, 63, m.messageId, 20198, m.kind, m.style, static_cast<DWORD>(insert));
    return static_cast<std::int16_t>(answer);
  }
  ResultMessage m = ResultMessageOf(word);
  return static_cast<std::int16_t>(ShowMessage(owner, 63, m.messageId, 20198, m.kind, m.style));
}

const char* SelectionLabelText(int label) {
  switch (label) {
    case 0:
      return "<<FD>>";
    case 1:
      return "<<CD>>";
    case 2:
      return "<<SVP>>";
    case 3:
      return "<<ClientPC>>";
    case 4:
      return "<<Config FD>>";
    case 5:
      return "<<Backup Data>>";
    default:
      return "<<--->>";
  }
}

void LogSelection(int dialogResult, int label, int kind) {
  char line[128] = {};
  switch (static_cast<std::uint8_t>(kind)) {
    case 0:
      std::strcat(line, "### [SEL_MEDIA] ");
      break;
    case 1:
      std::strcat(line, "### [SEL_PC] ");
      break;
    case 3:
      std::strcat(line, "### [SEL_CNFDATA] ");
      break;
    default:
      std::strcat(line, "No DLG ");
      break;
  }
  if (dialogResult == 1) {
    std::strcat(line, "OK button was selected.");
    std::strcat(line, SelectionLabelText(label));
  } else if (dialogResult == 2) {
    std::strcat(line, "Cancel button was selected.");
  } else {
    std::strcat(line, "???");
  }
  TraceLine(line);
}
