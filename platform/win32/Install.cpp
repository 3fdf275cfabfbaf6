// The Windows half is the platform from the moment its library is loaded.
#include <memory>

#include "platform/win32/Win32Platform.h"

namespace {
[[maybe_unused]] const bool kInstalled =
    (plat::Install(std::make_shared<plat::Win32Platform>()), true);
}  // namespace
