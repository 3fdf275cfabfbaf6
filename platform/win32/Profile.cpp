// Profile strings and debugger output: the system's own calls.
#include "platform/Platform.h"

namespace plat {

DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultText,
                              char* out, DWORD size, const char* path) {
  return ::GetPrivateProfileStringA(section, key, defaultText, out, size, path);
}

}  // namespace plat
