#include "diagnostics/ping_settings.h"

#include "base/tool_key_values.h"

namespace netrove {

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
  return WriteToolValue(kPingToolName, valueName, value);
}

}  // namespace netrove
