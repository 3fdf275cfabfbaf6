// The controller-identity library stand-in: root and identity from the world.
#include <cstdio>

#include "SvpServices.h"
#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"

const char* dsvw_GetDkcRootDir() {
  thread_local char root[MAX_PATH];
  std::snprintf(root, sizeof root, "%s", plat::CurrentWorld().root.c_str());
  return root;
}

const char* dsvw_GetDkcId() {
  thread_local char id[64];
  std::snprintf(id, sizeof id, "%s", plat::CurrentWorld().identity.c_str());
  return id;
}
