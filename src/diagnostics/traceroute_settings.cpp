#include "diagnostics/traceroute_settings.h"

#include <algorithm>
#include <charconv>

#include "base/tool_key_values.h"

namespace netrove {

TraceRouteSettings ReadTraceRouteSettings() {
  TraceRouteSettings settings;
  const auto key = OpenToolKey(kTraceRouteToolName, false);
  if (!key) return settings;
  key->ReadDword(kTraceProbesToSendValue, settings.probesToSend);
  key->ReadDword(kTraceReplyTimeOutValue, settings.replyTimeOutSeconds);
  key->ReadDword(kTraceInitialTtlValue, settings.initialTtl);
  key->ReadDword(kTraceMaximumTtlValue, settings.maximumTtl);
  key->ReadDword(kTracePacketSizeValue, settings.packetSize);
  key->ReadDword(kTraceInitialDestPortValue, settings.initialDestPort);
  ReadFlag(*key, kTraceResolveAddressValue, settings.resolveAddress);
  ReadFlag(*key, kTraceDontRouteValue, settings.dontRoute);
  ReadFlag(*key, kTraceVerboseValue, settings.verbose);
  return settings;
}

bool WriteTraceRouteSetting(std::string_view valueName, std::uint32_t value) {
  return WriteToolValue(kTraceRouteToolName, valueName, value);
}

std::int32_t KeptMaximumTtl(std::int32_t maximum, std::int32_t initial) {
  return std::max(maximum, initial);
}

std::int32_t KeptInitialTtl(std::int32_t initial, std::int32_t maximum) {
  return std::min(initial, maximum);
}

std::int32_t KeptDestinationPort(std::string_view digits) {
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return kDestinationPortRange.minimum;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc::result_out_of_range) return kDestinationPortRange.maximum;
  if (error != std::errc() || end != digits.data() + digits.size())
    return kDestinationPortRange.minimum;
  return static_cast<std::int32_t>(std::clamp<std::uint64_t>(value, kDestinationPortRange.minimum,
                                                             kDestinationPortRange.maximum));
}

}  // namespace netrove
