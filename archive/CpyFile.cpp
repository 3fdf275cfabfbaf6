// Copy of a file under the progress dialog: ten steps of a tenth of the
// source each, every byte written or the copy fails.
#include "CpyFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "archive/CnfCmpDlg.h"
#include "common/DialogFrame.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "platform/Platform.h"

TALVER_SOURCE("CpyFile")

using namespace plat;

namespace {

// The request of the running copy (only one copy dialog runs at a time).
CopyFileRequest* CurrentCopyRequest = nullptr;

constexpr int kDialogOk = 1;
constexpr std::int32_t kCopyNotStarted = 0;
constexpr std::int32_t kCopyRunning = 1;
constexpr std::int32_t kCopyDone = 2;
constexpr std::int32_t kCopyFailed = -1;
constexpr std::uint64_t kLargestChunk = 256u << 20;
constexpr WORD kProgressSteps = 11;

struct Handle {
  HANDLE h = nullptr;
  ~Handle() {
    if (h) plat::CloseHandle(h);
  }
  bool Close() {
    bool ok = h == nullptr || plat::CloseHandle(h) != 0;
    h = nullptr;
    return ok;
  }
};

DWORD LastErrorOr(DWORD fallback) {
  DWORD error = plat::GetLastError();
  return error ? error : fallback;
}

const char* LastComponent(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

}  // namespace

int CopyFileInChunks(const char* source, const char* destination, HWND dialog, DWORD* error) {
  *error = 0;
  Handle in;
  in.h = plat::CreateFile(source, GENERIC_READ, 0, OPEN_EXISTING, 0);
  if (!in.h) {
    *error = LastErrorOr(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  std::uint64_t size = 0;
  if (!plat::GetFileSizeEx(in.h, &size)) {
    *error = LastErrorOr(ERROR_INVALID_HANDLE);
    return 0;
  }
  // A tenth of the source per step; a source under ten bytes goes whole.
  std::uint64_t chunk = std::min<std::uint64_t>(size / 10 ? size / 10 : size, kLargestChunk);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[chunk ? chunk : 1]);
  if (!buffer) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  Handle out;
  out.h = plat::CreateFile(destination, GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
  if (!out.h) {
    *error = LastErrorOr(ERROR_ACCESS_DENIED);
    return 0;
  }
  plat::SetFilePointerEx(out.h, 0, FILE_END, nullptr);
  std::uint64_t done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!plat::ReadFile(in.h, buffer.get(), static_cast<DWORD>(chunk), &got)) {
      *error = LastErrorOr(ERROR_HANDLE_EOF);
      break;
    }
    if (got == 0) {
      *error = ERROR_HANDLE_EOF;  // the source ended early
      break;
    }
    DWORD written = 0;
    if (!plat::WriteFile(out.h, buffer.get(), got, &written) || written != got) {
      *error = LastErrorOr(ERROR_DISK_FULL);
      break;
    }
    if (dialog) SendMessage(dialog, kMsgCopyStep, static_cast<WPARAM>(done), 0);
    done += got;
    std::memset(buffer.get(), 0, static_cast<std::size_t>(chunk));
  }
  bool closed = out.Close();
  if (*error == 0 && !closed) *error = LastErrorOr(ERROR_DISK_FULL);
  if (*error != 0) {
    // A partial copy must not pass for the file.
    plat::DeleteFile(destination);
    return 0;
  }
  return 1;
}

void Talver_CopyFileThread(void* param) {
  auto* request = static_cast<CopyFileRequest*>(param);
  HWND dialog = request->dialogWindow;
  DWORD error = 0;
  int copied = CopyFileInChunks(request->sourcePath, request->destinationPath, dialog, &error);
  request->error = error;
  // The last touch of the request: the caller may return once it is stored.
  request->outcome = copied ? kCopyDone : kCopyFailed;
  SendMessage(dialog, WM_CLOSE, 0, 0);
}

namespace {

void OnCopyDialogOpen(HWND dialog, CopyFileRequest* request) {
  CurrentCopyRequest = request;
  OPEN_DIALOG_FRAME(dialog);
  std::uint64_t size = 0;
  GetFileSizeByName(request->sourcePath, &size);
  request->size = static_cast<DWORD>(size);
  request->dialogWindow = dialog;
  SetDlgItemText(dialog, kIdEntryText, LastComponent(request->destinationPath));
  SetProgressRange(dialog, kProgressSteps);
  request->outcome = kCopyRunning;
  HANDLE thread = CreateThread(Talver_CopyFileThread, request);
  if (!thread) {
    request->error = LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    request->outcome = kCopyFailed;
    EndDialog(dialog, kDialogOk);
    return;
  }
  plat::CloseHandle(thread);
  PlayProgressAnimation(dialog, kPackAnimation);
}

}  // namespace

INT_PTR CopyFileDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnCopyDialogOpen(dialog, reinterpret_cast<CopyFileRequest*>(lParam));
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, kDialogOk);
      return TRUE;
    case kMsgCopyStep:
      StepProgress(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

int Talver_CopyFileDialog(HWND owner, const char* sourcePath, const char* destinationPath) {
  CopyFileRequest request;
  std::memset(static_cast<void*>(&request), 0, sizeof request);
  request.outcome = kCopyNotStarted;
  if (!CopyBounded(request.sourcePath, sizeof request.sourcePath, sourcePath ? sourcePath : "") ||
      !CopyBounded(request.destinationPath, sizeof request.destinationPath,
                   destinationPath ? destinationPath : "")) {
    TRACE_TEXT("ERR Talver_CopyFileDialog(path)");
    return 0;
  }
  INT_PTR result = DialogBoxParam(ModuleInstance, MAKEINTRESOURCE(kProgressTemplate), owner,
                                  CopyFileDialogProc, reinterpret_cast<LPARAM>(&request));
  if (result != kDialogOk) TRACE_TEXT("ERR CompressDialogProc");
  DispatchMessagesUntil([&request] { return request.outcome.load() != kCopyRunning; });
  CurrentCopyRequest = nullptr;
  if (request.outcome.load() != kCopyDone) {
    TRACE_TEXT("ERR Talver_CopyFileThread");
    TRACE_CODE(request.error);
    return 0;
  }
  return 1;
}
