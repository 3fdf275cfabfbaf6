// The send library stand-in: the controller's answer to a terminal request
// comes from the settings ([send] result, status and model_index), so tests and
// users can make the controller answer, refuse or fail.
#include <cstring>

#include "ServiceSettings.h"
#include "SvpServices.h"

int Svp_ExecGumTerminalCommunication(int command, int /*value*/, void* reply, DWORD replySize,
                                     DWORD* status, DWORD* extra) {
  int result = static_cast<int>(svc::SettingInt("send.result", 0));
  if (status) *status = static_cast<DWORD>(svc::SettingInt("send.status", 0));
  if (extra) *extra = 0;
  if (reply && replySize > 0) std::memset(reply, 0, replySize);
  // Command 5 asks for the controller's model index: the first 32-bit word.
  if (command == 5 && result == 0 && reply && replySize >= sizeof(std::uint32_t)) {
    auto index = static_cast<std::uint32_t>(svc::SettingInt("send.model_index", 0));
    std::memcpy(reply, &index, sizeof index);
  }
  return result;
}
