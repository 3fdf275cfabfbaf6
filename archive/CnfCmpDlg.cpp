// Progress dialogs of the archive jobs and of the table conversion: the
// modal dialog on the caller's thread, the worker, and the wait for it.
#include "CnfCmpDlg.h"

#include <cstdio>
#include <cstring>

#include "archive/CnfCmpThd.h"
#include "backupfile/CnfCmpThd2.h"
#include "common/CnfFunc.h"
#include "common/CompressRequest.h"
#include "common/DialogFrame.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "platform/ScopedFind.h"
#include "tar32/Tar32.h"

TALVER_SOURCE("CnfCmpDlg")

using namespace plat;

namespace {

// Module-wide dialog values: only one progress dialog exists at a time.
std::int32_t ExpectedTotal = 0;  // entries or files; -1: no total
UINT ArcExtractMessage = 0;      // the number registered for "wm_arcextract"

constexpr int kDialogOk = 1;
constexpr int kDialogFailed = 2;
constexpr char kArcExtractName[] = "wm_arcextract";
// Offset of the file name in the archiver's progress record.
constexpr std::size_t kProgressNameOffset = 8;

// A dialog that starts no worker must still end the caller's wait.
INT_PTR EndWithoutWorker(HWND dialog) {
  CompressThreadState = 1;
  EndDialog(dialog, kDialogFailed);
  return TRUE;
}

void StartWorker(ThreadProc worker, CompressRequest* request) {
  HANDLE thread = plat::CreateThread(worker, request);
  if (!thread) {
    // Nobody would ever set the state word: let the caller's wait end.
    TRACE_TEXT("ERR CreateThread");
    CompressThreadState = -1;
    return;
  }
  plat::CloseHandle(thread);
}

bool FillRequest(CompressRequest* request, std::int16_t mode, DWORD display, const char* first,
                 const char* second) {
  std::memset(request, 0, sizeof *request);
  request->mode = mode;
  request->displayFlag = display;
  return CopyBounded(request->archivePath, sizeof request->archivePath, first ? first : "") &&
         CopyBounded(request->directory, sizeof request->directory, second ? second : "");
}

// Runs the dialog; a dialog that could not be shown started no worker.
INT_PTR RunDialog(HWND owner, DLGPROC proc, CompressRequest* request) {
  INT_PTR result = DialogBoxParam(ModuleInstance, MAKEINTRESOURCE(kProgressTemplate), owner, proc,
                                  reinterpret_cast<LPARAM>(request));
  if (result == -1 && CompressThreadState.load() == 0) CompressThreadState = -1;
  return result;
}

}  // namespace

void SetProgressRange(HWND dialog, std::int32_t total) {
  SendDlgItemMessage(dialog, kIdProgressBar, PBM_SETRANGE, 0,
                     MAKELPARAM(0, static_cast<WORD>(total)));
  SendDlgItemMessage(dialog, kIdProgressBar, PBM_SETSTEP, 1, 0);
}

void StepProgress(HWND dialog) { SendDlgItemMessage(dialog, kIdProgressBar, PBM_STEPIT, 0, 0); }

void PlayProgressAnimation(HWND dialog, const char* relativePath) {
  char clip[MAX_PATH];
  if (!FormatBounded(clip, sizeof clip, "%s%s", RootPath, relativePath)) return;
  SendDlgItemMessage(dialog, kIdAnimation, ACM_OPEN, 0, reinterpret_cast<LPARAM>(clip));
  SendDlgItemMessage(dialog, kIdAnimation, ACM_PLAY, static_cast<WPARAM>(-1),
                     MAKELPARAM(0, static_cast<WORD>(-1)));
}

int Talver_CountFiles(const char* directory, std::int32_t* total) {
  char pattern[MAX_PATH];
  if (!FORMAT_PATH(pattern, "%s\\*.*", directory)) {
    TRACE_TEXT("ERR Talver_CountFiles(path)");
    return 0;
  }
  WIN32_FIND_DATA data;
  ScopedFind search(pattern, &data);
  if (!search) return 1;
  std::int32_t count = 0;
  // The first entry is passed over unseen.
  while (search.Next(&data)) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
      char sub[MAX_PATH];
      if (!FORMAT_PATH(sub, "%s\\%s", directory, data.cFileName)) {
        TRACE_TEXT("ERR Talver_CountFiles(path)");
        return 0;
      }
      if (!Talver_CountFiles(sub, total)) return 0;
    } else {
      ++count;
    }
  }
  *total += count;
  return 1;
}

void OnArcExtract(HWND dialog, std::int16_t code, const void* entryRecord) {
  switch (code) {
    case kTarProgressOpened:
      SetProgressRange(dialog, ExpectedTotal);
      break;
    case kTarProgressEntry:
      StepProgress(dialog);
      if (entryRecord)
        SetDlgItemText(dialog, kIdEntryText,
                       static_cast<const char*>(entryRecord) + kProgressNameOffset);
      UpdateWindow(dialog);
      break;
    case kTarProgressEnded:
      PostMessage(dialog, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

namespace {

// The opening both compress dialogs share: the request learns its dialog and
// the total is reset.
CompressRequest* OpenCompressDialog(HWND dialog, LPARAM lParam) {
  auto* request = reinterpret_cast<CompressRequest*>(lParam);
  OPEN_DIALOG_FRAME(dialog);
  request->dialogWindow = dialog;
  ExpectedTotal = 0;
  return request;
}

INT_PTR EndOnForeignMode(HWND dialog, const CompressRequest* request) {
  TRACE_CODE(static_cast<std::int32_t>(request->mode));
  return EndWithoutWorker(dialog);
}

// The files below root + relative; -1 when they cannot be counted.
std::int32_t CountFilesBelowRoot(const char* relative) {
  char directory[MAX_PATH];
  std::int32_t total = 0;
  if (!FORMAT_PATH(directory, "%s%s", RootPath, relative) || !Talver_CountFiles(directory, &total))
    return -1;
  return total;
}

// Without a total there is no progress to show: the worker is not started.
bool LacksTotal(HWND dialog) {
  if (ExpectedTotal != -1) return false;
  TRACE_TEXT("ERR File Number");
  EndWithoutWorker(dialog);
  return true;
}

// The answers both compress dialogs give alike: WM_CLOSE ends the dialog with
// 1 and the unpack message plays its animation; any other message first
// closes the dialog of a failed worker and is then left to the caller.
bool OnCompressDialogMessage(HWND dialog, UINT message) {
  switch (message) {
    case WM_CLOSE:
      EndDialog(dialog, kDialogOk);
      return true;
    case kMsgUnpackAnimation:
      PlayProgressAnimation(dialog, kUnpackAnimation);
      return true;
    default:
      if (CompressThreadState.load() == -1) SendMessage(dialog, WM_CLOSE, 0, 0);
      return false;
  }
}

INT_PTR OnCompressDialogOpen(HWND dialog, LPARAM lParam) {
  CompressRequest* request = OpenCompressDialog(dialog, lParam);
  ArcExtractMessage = 0;
  UINT animation = 0;
  if (request->mode == kArchiveExtractAll) {
    if (!TalVer_FindFile(request->archivePath, 1)) return EndWithoutWorker(dialog);
    ExpectedTotal = TarGetFileCount(request->archivePath);
    animation = kMsgUnpackAnimation;
  } else if (request->mode == kArchiveCreate) {
    ExpectedTotal = CountFilesBelowRoot("\\plaxon\\config");
    animation = kMsgPackAnimation;
  } else {
    return EndOnForeignMode(dialog, request);
  }
  if (LacksTotal(dialog)) return TRUE;
  PostMessage(dialog, animation, 0, 0);
  ArcExtractMessage = RegisterWindowMessage(kArcExtractName);
  StartWorker(Talver_CompressThread, request);
  if (request->displayFlag == 0) SendMessage(dialog, WM_CLOSE, 0, 0);
  return TRUE;
}

INT_PTR OnCompressDialog2Open(HWND dialog, LPARAM lParam) {
  CompressRequest* request = OpenCompressDialog(dialog, lParam);
  if (request->mode != kArchiveTableConversion) return EndOnForeignMode(dialog, request);
  ExpectedTotal = CountFilesBelowRoot("\\PLAXON\\TMP\\LZ4");
  if (LacksTotal(dialog)) return TRUE;
  PostMessage(dialog, kMsgUnpackAnimation, 0, 0);
  StartWorker(Talver_CompressThread2, request);
  if (request->displayFlag == 0)
    SendMessage(dialog, WM_CLOSE, 0, 0);
  else
    SetProgressRange(dialog, ExpectedTotal);
  return TRUE;
}

}  // namespace

INT_PTR CompressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnCompressDialogOpen(dialog, lParam);
  if (message == kMsgPackAnimation) {
    PlayProgressAnimation(dialog, kPackAnimation);
    return TRUE;
  }
  if (OnCompressDialogMessage(dialog, message)) return TRUE;
  if (ArcExtractMessage != 0 && message == ArcExtractMessage) {
    OnArcExtract(dialog, static_cast<std::int16_t>(wParam), reinterpret_cast<const void*>(lParam));
    return TRUE;
  }
  return FALSE;
}

INT_PTR CompressDialogProc2(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnCompressDialog2Open(dialog, lParam);
  if (message == kMsgConversionStep) {
    StepProgress(dialog);
    UpdateWindow(dialog);
    return TRUE;
  }
  return OnCompressDialogMessage(dialog, message) ? TRUE : FALSE;
}

namespace {

// The texts that name the dialog in the trace of a progress-dialog run.
struct ProgressDialogTexts {
  const char* start;
  const char* pathError;
  const char* procError;
  const char* end;
};

// Runs a progress dialog with its worker and waits for the worker, with the
// trace lines of CompressDialog and CompressDialog2.
int RunTracedProgressDialog(HWND owner, std::int16_t mode, DWORD display, const char* firstPath,
                            const char* secondPath, DLGPROC proc,
                            const ProgressDialogTexts& texts) {
  TRACE_TEXT(texts.start);
  char line[MAX_PATH + 64];
  std::snprintf(line, sizeof line, "mode=%d, disp=%d, path=%s", mode, static_cast<int>(display),
                firstPath ? firstPath : "");
  TraceLine(line);
  CompressRequest request;
  if (!FillRequest(&request, mode, display, firstPath, secondPath)) {
    TRACE_TEXT(texts.pathError);
    return 0;
  }
  CompressThreadState = 0;
  TRACE_TEXT("Start DialogBoxParam");
  INT_PTR result = RunDialog(owner, proc, &request);
  if (result != kDialogOk) TRACE_TEXT(texts.procError);
  TRACE_TEXT("End DialogBoxParam");
  TRACE_TEXT("Start Talver_CompressThread");
  DispatchMessagesUntil([] { return CompressThreadState.load() != 0; });
  std::int32_t state = CompressThreadState.load();
  if (state != 1) TRACE_TEXT("ERR Talver_CompressThread");
  TRACE_TEXT("End Talver_CompressThread");
  TRACE_TEXT(texts.end);
  return result == kDialogOk && state == 1 ? 1 : 0;
}

}  // namespace

int CompressDialog(HWND owner, std::int16_t mode, DWORD display, const char* archivePath,
                   const char* directory) {
  static const ProgressDialogTexts texts = {"Start CompressDialog", "ERR CompressDialog(path)",
                                            "ERR CompressDialogProc", "End CompressDialog"};
  return RunTracedProgressDialog(owner, mode, display, archivePath, directory, CompressDialogProc,
                                 texts);
}

int Talver_BackupConfigDialog(HWND owner, std::int16_t mode, DWORD display, const char* archivePath,
                              const char* directory) {
  CompressRequest request;
  if (!FillRequest(&request, mode, display, archivePath, directory)) return 0;
  CompressThreadState = 0;
  INT_PTR result = RunDialog(owner, CompressDialogProc, &request);
  DispatchMessagesUntil([] { return CompressThreadState.load() != 0; });
  return result == kDialogOk && CompressThreadState.load() == 1 ? 1 : 0;
}

int CompressDialog2(HWND owner, std::int16_t mode, DWORD display, const char* firstPath,
                    const char* secondPath) {
  static const ProgressDialogTexts texts = {"Start CompressDialog2", "ERR CompressDialog2(path)",
                                            "ERR CompressDialogProc2", "End CompressDialog2"};
  return RunTracedProgressDialog(owner, mode, display, firstPath, secondPath, CompressDialogProc2,
                                 texts);
}
