// The progress dialogs of archive jobs and table conversions.
#pragma once

#include <cstdint>

#include "platform/Platform.h"
#include "platform/Win.h"
#include "platform/WinTypes.h"

int CompressDialog(HWND owner, std::int16_t mode, DWORD display, const char* archivePath,
                   const char* directory);
// The same without any trace line (used where the caller traces for itself).
int Talver_BackupConfigDialog(HWND owner, std::int16_t mode, DWORD display, const char* archivePath,
                              const char* directory);
// The table conversion (mode 10) under the progress dialog.
int CompressDialog2(HWND owner, std::int16_t mode, DWORD display, const char* firstPath,
                    const char* secondPath);

plat::INT_PTR CompressDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                 plat::LPARAM lParam);
plat::INT_PTR CompressDialogProc2(HWND dialog, UINT message, plat::WPARAM wParam,
                                  plat::LPARAM lParam);
// The archiver's progress message: 3 opened, 0 an entry begins, 2 ended.
void OnArcExtract(HWND dialog, std::int16_t code, const void* entryRecord);
// Adds the number of files below directory (at any depth) to *total.
int Talver_CountFiles(const char* directory, std::int32_t* total);

// Shared by the progress dialogs: control ids of template 101, the private
// messages, the progress bar and the animation.
constexpr int kProgressTemplate = 101;
constexpr int kIdAnimation = 1001;
constexpr int kIdProgressBar = 1002;
constexpr int kIdEntryText = 1003;
constexpr UINT kMsgPackAnimation = WM_USER + 1;
constexpr UINT kMsgUnpackAnimation = WM_USER + 2;
constexpr UINT kMsgCopyStep = WM_USER + 3;
constexpr UINT kMsgConversionStep = WM_USER + 4;
// The bar's range 0 to the total's low 16 bits, one step a time.
void SetProgressRange(HWND dialog, std::int32_t total);
void StepProgress(HWND dialog);
// Opens root + relative in the animation control and plays it without end.
void PlayProgressAnimation(HWND dialog, const char* relativePath);
constexpr char kPackAnimation[] = "\\plaxon\\mp\\pc\\cnfpak.avi";
constexpr char kUnpackAnimation[] = "\\plaxon\\mp\\pc\\cnfunpak.avi";

// After a progress dialog has closed its worker may still run: the caller's
// thread dispatches what comes for it until done() is true.
template <typename Done>
void DispatchMessagesUntil(Done done) {
  while (!done()) {
    plat::MSG msg;
    bool any = false;
    while (plat::PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
      any = true;
      plat::TranslateMessage(&msg);
      plat::DispatchMessage(&msg);
    }
    if (!any) plat::Sleep(1);
  }
}
