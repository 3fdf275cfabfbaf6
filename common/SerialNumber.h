// The serial number that a controller or file carries while none was set:
// every identity check treats it as matching any other.
#pragma once

#include "platform/WinTypes.h"

constexpr DWORD DefaultSerialNumber = 400001;
