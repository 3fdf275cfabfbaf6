// The names a directory search yields, in its order, separated by blanks.
#pragma once

#include <string>

#include "platform/ScopedFind.h"

inline std::string SearchNames(const char* pattern) {
  std::string names;
  WIN32_FIND_DATA data;
  plat::ScopedFind find(pattern, &data);
  for (bool more = static_cast<bool>(find); more; more = find.Next(&data))
    names += std::string(names.empty() ? "" : " ") + data.cFileName;
  return names;
}
