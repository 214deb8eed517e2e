#include "app/tftp_server_hook.h"

#include <cstdint>

#include "base/settings_store.h"

namespace netrove {

bool StartTftpServerWhenEnabled(ITftpServer& server) {
  std::uint32_t enabled = 0;
  if (const auto key = OpenToolKey(kTftpKeyName, false))
    key->ReadDword(kValueIsServerEnable, enabled);
  if (enabled == 0) return false;
  if (server.Start()) return true;
  if (auto key = OpenToolKey(kTftpKeyName, true)) key->WriteDword(kValueIsServerEnable, 0);
  return false;
}

}  // namespace netrove
