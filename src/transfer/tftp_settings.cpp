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

namespace netrove {

TftpOptions ReadTftpClientOptions() {
  TftpOptions options;
  const auto key = OpenToolKey(kTftpKeyName, false);
  if (!key) return options;
  const auto read = [&key](std::string_view name, std::uint32_t lowest, std::uint32_t highest) {
    std::uint32_t value = 0;
    key->ReadDword(name, value);
    return value >= lowest && value <= highest ? value : 0;
  };
  options.blockSize = read(kValueClientBlockSize, kTftpSmallestBlockSize, kTftpLargestBlockSize);
  options.windowSize = read(kValueClientWindowSize, 1, kTftpLargestWindowSize);
  options.timeoutSeconds = read(kValueClientRexmt, 1, kTftpLongestOptionTimeout);
  return options;
}

}  // namespace netrove
