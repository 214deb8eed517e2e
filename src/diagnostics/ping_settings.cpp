#include "diagnostics/ping_settings.h"

#include "shell/settings_store.h"

namespace netrove {
namespace {

void ReadFlag(const CToolKey& key, std::string_view name, bool& flag) {
  std::uint32_t value = flag ? 1 : 0;
  key.ReadDword(name, value);
  flag = value != 0;
}

}  // namespace

PingSettings ReadPingSettings() {
  PingSettings settings;
  const auto key = OpenToolKey(kPingToolName, false);
  if (!key) return settings;
  key->ReadDword(kPacketsToSendValue, settings.packetsToSend);
  ReadFlag(*key, kSpecifyValue, settings.specifyLimit);
  key->ReadDword(kPacketSizeValue, settings.packetSize);
  key->ReadDword(kReplyTimeOutValue, settings.replyTimeOutSeconds);
  ReadFlag(*key, kResolveAddressValue, settings.resolveAddress);
  ReadFlag(*key, kTimeToLiveValue, settings.setTimeToLive);
  key->ReadDword(kTtlValue, settings.timeToLive);
  ReadFlag(*key, kDontRouteValue, settings.dontRoute);
  return settings;
}

bool WritePingSetting(std::string_view valueName, std::uint32_t value) {
  auto key = CreateToolKey(kPingToolName);
  return key && key->WriteDword(valueName, value);
}

}  // namespace netrove
