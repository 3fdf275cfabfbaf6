// Trial runs for a maintenance program: the dry-run platform over the loaded
// world, the audit record held back, and the list of what the run would do.
#include <cstdio>
#include <memory>
#include <string>

#include "host/talver_host.h"
#include "platform/Platform.h"
#include "platform/posix/DryRunPlatform.h"
#include "svpsvc/AuditLog.h"

namespace {

int CopyOut(const std::string& text, char* out, std::size_t size) {
  if (!out || size == 0 || text.size() + 1 > size) return 0;
  std::snprintf(out, size, "%s", text.c_str());
  return 1;
}

}  // namespace

int TalverHost_SetDryRun(int on, char* error, std::size_t errorSize) {
  if (!plat::HasCurrent()) {
    CopyOut("no world is loaded", error, errorSize);
    return 0;
  }
  plat::DryRunPlatform* dry = plat::CurrentDryRun();
  if (!on) {
    // Only the dry-run platform installed outermost can be taken off here.
    if (dry && dry == &plat::Current()) plat::Install(dry->InnerShared());
    svc::SetAuditSuppressed(false);
    return 1;
  }
  if (dry) return 1;
  std::string why;
  auto platform = plat::DryRunPlatform::Make(plat::InstalledShared(), &why);
  if (!platform) {
    CopyOut(why, error, errorSize);
    return 0;
  }
  plat::Install(platform);
  svc::SetAuditSuppressed(true);
  return 1;
}

int TalverHost_DryRunChanges(talver_dry_change_fn each, void* context) {
  plat::DryRunPlatform* dry = plat::CurrentDryRun();
  if (!dry) return 0;
  int count = 0;
  for (const plat::DryRunChange& c : dry->Changes()) {
    ++count;
    if (each)
      each(plat::DryRunKindName(c.kind), c.path.c_str(), c.host.c_str(), c.size,
           plat::DryRunLine(c).c_str(), context);
  }
  return count;
}
