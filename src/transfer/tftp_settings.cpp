#include "transfer/tftp_settings.h"

#include <string>

#include "base/settings_store.h"
#include "base/user_paths.h"

namespace netrove {

std::filesystem::path DefaultTftpServerFolder() { return DataFolder() / "tftp"; }

TftpServerSettings ReadTftpServerSettings() {
  TftpServerSettings settings;
  settings.folder = DefaultTftpServerFolder();
  const auto key = OpenToolKey(kTftpKeyName, false);
  if (!key) return settings;
  std::uint32_t port = kDefaultTftpServerPort;
  key->ReadDword(kValueServerPort, port);
  if (port != 0 && port <= 65535) settings.port = static_cast<std::uint16_t>(port);
  std::string folder;
  if (key->ReadText(kValueServerFolder, folder) && !folder.empty()) settings.folder = folder;
  std::uint32_t allowCreate = 0;
  key->ReadDword(kValueAllowCreate, allowCreate);
  settings.allowCreate = allowCreate != 0;
  return settings;
}

std::uint32_t ReadTftpClientTimeout() {
  std::uint32_t seconds = kDefaultTftpClientTimeout;
  if (const auto key = OpenToolKey(kTftpKeyName, false))
    key->ReadDword(kValueClientTimeout, seconds);
  if (seconds == 0 || seconds > kLongestTftpClientTimeout) return kDefaultTftpClientTimeout;
  return seconds;
}

}  // namespace netrove
