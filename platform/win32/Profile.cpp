// Profile strings and debugger output: the system's own calls.
#include "platform/win32/Win32Platform.h"

namespace plat {

DWORD Win32Platform::GetPrivateProfileString(const char* section, const char* key,
                                             const char* defaultText, char* out, DWORD size,
                                             const char* path) {
  return ::GetPrivateProfileStringA(section, key, defaultText, out, size, path);
}

}  // namespace plat
