// Runs a modal dialog whose procedure is a lambda: a dialog procedure is a
// plain function, so the lambda waits in a slot while its dialog runs.
#pragma once

#include <functional>
#include <utility>

#include "platform/Win.h"

namespace testsupport {

using DialogProc = std::function<plat::INT_PTR(HWND, UINT, plat::WPARAM, plat::LPARAM)>;

inline DialogProc& CurrentDialogProc() {
  static DialogProc proc;
  return proc;
}

inline plat::INT_PTR CallCurrentDialogProc(HWND dialog, UINT message, plat::WPARAM wParam,
                                           plat::LPARAM lParam) {
  const DialogProc& proc = CurrentDialogProc();
  return proc ? proc(dialog, message, wParam, lParam) : FALSE;
}

inline plat::INT_PTR RunDialog(int templateId, DialogProc proc, plat::LPARAM param = 0) {
  CurrentDialogProc() = std::move(proc);
  plat::INT_PTR result =
      plat::DialogBoxParam(nullptr, MAKEINTRESOURCE(templateId), 0, CallCurrentDialogProc, param);
  CurrentDialogProc() = nullptr;
  return result;
}

}  // namespace testsupport
