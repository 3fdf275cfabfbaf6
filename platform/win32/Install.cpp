// The Windows half is the platform from the moment its library is loaded,
// and the common controls of the system's dialogs (animation, progress bar,
// list view) are registered with the dialog manager.
#include <memory>

#include "platform/Win.h"
#include "platform/win32/Win32Platform.h"

namespace {

bool InstallWindowsHalf() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC =
      ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
  ::InitCommonControlsEx(&controls);
  plat::Install(std::make_shared<plat::Win32Platform>());
  return true;
}

[[maybe_unused]] const bool kInstalled = InstallWindowsHalf();

}  // namespace
