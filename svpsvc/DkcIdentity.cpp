// The controller-identity library stand-in: root and identity from the settings.
#include <cstdio>

#include "ServiceSettings.h"
#include "SvpServices.h"
#include "platform/WinTypes.h"

const char* dsvw_GetDkcRootDir() {
  thread_local char root[MAX_PATH];
  std::snprintf(root, sizeof root, "%s", svc::SoftwareRoot().c_str());
  return root;
}

const char* dsvw_GetDkcId() {
  thread_local char id[64];
  std::snprintf(id, sizeof id, "%s", svc::ControllerIdentity().c_str());
  return id;
}
