#include "base/network_settings.h"

#include "base/settings_store.h"

namespace netrove {
std::uint32_t StoredFamilyValue(FamilyChoice choice) {
  switch (choice) {
    case FamilyChoice::IPv4Only:
      return 4;
    case FamilyChoice::IPv6Only:
      return 6;
    case FamilyChoice::Both:
      break;
  }
  return 0;
}

NetworkSettings ReadNetworkSettings() {
  NetworkSettings settings;
  const auto key = OpenToolKey(kGeneralKeyName, false);
  if (!key) return settings;
  std::uint32_t seconds = 0;
  if (key->ReadDword(kValueConnectTimeout, seconds) && seconds > 0 &&
      seconds <= kLongestNetworkTimeout) {
    settings.connectMs = static_cast<int>(seconds) * 1000;
  }
  if (key->ReadDword(kValueReplyTimeout, seconds) && seconds <= kLongestNetworkTimeout) {
    settings.replyMs = static_cast<int>(seconds) * 1000;
  }
  std::uint32_t family = 0;
  if (key->ReadDword(kValueAddressFamily, family)) {
    if (family == 4) settings.families = FamilyChoice::IPv4Only;
    if (family == 6) settings.families = FamilyChoice::IPv6Only;
  }
  return settings;
}

void ApplyConnectSettings(CNetSocket& socket, const NetworkSettings& settings) {
  socket.SetConnectTimeout(settings.connectMs);
  socket.SetFamilyChoice(settings.families);
}

}  // namespace netrove
