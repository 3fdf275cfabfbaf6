// Copy of a file under the progress dialog: ten steps of a tenth of the
// source each, every byte written or the copy fails. The copy goes to a
// temporary beside the destination, flushed, and takes the destination's
// name only when whole.
#include "CpyFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "archive/CnfCmpDlg.h"
#include "common/DialogFrame.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "platform/Temporary.h"

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

int CopyFileToTemporary(const char* source, const char* destination, HWND dialog,
                        std::string* temporary, DWORD* error) {
  *error = 0;
  temporary->clear();
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
  // A file is never copied onto itself (it is open for reading), nor over
  // a link, which is no file of this system's.
  if (plat::SameFile(source, destination)) {
    *error = ERROR_SHARING_VIOLATION;
    return 0;
  }
  if (plat::IsLink(destination)) {
    *error = ERROR_ACCESS_DENIED;
    return 0;
  }
  // Temporaries that a copy killed before left beside the destination go
  // first: they hold the room the new copy needs.
  const std::string folder = plat::FolderOf(destination);
  if (!folder.empty()) plat::RemoveTemporariesIn(folder);
  Handle out;
  out.h = plat::CreateTemporaryBeside(destination, temporary);
  if (!out.h) {
    *error = LastErrorOr(ERROR_ACCESS_DENIED);
    return 0;
  }
  std::uint64_t done = 0;
  while (done < size) {
    DWORD got = 0;
    if (plat::StopRequested()) {
      *error = ERROR_OPERATION_ABORTED;  // asked to stop: the copy is dropped
      break;
    }
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
  if (*error == 0 && !plat::FlushFileBuffers(out.h)) *error = LastErrorOr(ERROR_DISK_FULL);
  bool closed = out.Close();
  if (*error == 0 && !closed) *error = LastErrorOr(ERROR_DISK_FULL);
  if (*error != 0) {
    // A partial copy must not pass for the file, nor stay.
    plat::DeleteFile(temporary->c_str());
    temporary->clear();
    return 0;
  }
  return 1;
}

int CopyFileInChunks(const char* source, const char* destination, HWND dialog, DWORD* error) {
  std::string temporary;
  if (!CopyFileToTemporary(source, destination, dialog, &temporary, error)) return 0;
  if (!CommitCopy(temporary.c_str(), destination)) {
    *error = LastErrorOr(ERROR_ACCESS_DENIED);
    return 0;
  }
  return 1;
}

int CommitCopy(const char* temporary, const char* destination) {
  if (plat::IsLink(destination)) plat::SetLastError(ERROR_ACCESS_DENIED);
  if (plat::IsLink(destination) || !plat::MoveFileEx(temporary, destination, true)) {
    const DWORD error = plat::GetLastError();
    plat::DeleteFile(temporary);
    plat::SetLastError(error);
    return 0;
  }
  const std::string folder = plat::FolderOf(destination);
  return folder.empty() || plat::FlushFolder(folder.c_str());
}

void Talver_CopyFileThread(void* param) {
  auto* request = static_cast<CopyFileRequest*>(param);
  HWND dialog = request->dialogWindow;
  DWORD error = 0;
  std::string temporary;
  int copied = CopyFileToTemporary(request->sourcePath, request->destinationPath, dialog,
                                   &temporary, &error);
  if (copied && request->keepTemporary) {
    copied = CopyBounded(request->temporaryPath, sizeof request->temporaryPath, temporary.c_str());
    if (!copied) {
      plat::DeleteFile(temporary.c_str());
      error = ERROR_FILENAME_EXCED_RANGE;
    }
  } else if (copied && !CommitCopy(temporary.c_str(), request->destinationPath)) {
    copied = 0;
    error = LastErrorOr(ERROR_ACCESS_DENIED);
  }
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

namespace {

int RunCopyDialog(HWND owner, const char* sourcePath, const char* destinationPath,
                  char* temporaryOut) {
  CopyFileRequest request;
  std::memset(static_cast<void*>(&request), 0, sizeof request);
  request.outcome = kCopyNotStarted;
  request.keepTemporary = temporaryOut != nullptr;
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
  if (temporaryOut) std::memcpy(temporaryOut, request.temporaryPath, MAX_PATH);
  return 1;
}

}  // namespace

int Talver_CopyFileDialog(HWND owner, const char* sourcePath, const char* destinationPath) {
  return RunCopyDialog(owner, sourcePath, destinationPath, nullptr);
}

int Talver_CopyFileDialogToTemporary(HWND owner, const char* sourcePath,
                                     const char* destinationPath, char* temporaryOut) {
  temporaryOut[0] = '\0';
  return RunCopyDialog(owner, sourcePath, destinationPath, temporaryOut);
}
