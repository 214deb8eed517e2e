#include "base/network_timeouts.h"

#include "base/settings_store.h"

namespace netrove {

NetworkTimeouts ReadNetworkTimeouts() {
  NetworkTimeouts timeouts;
  const auto key = OpenToolKey(kGeneralKeyName, false);
  if (!key) return timeouts;
  std::uint32_t seconds = 0;
  if (key->ReadDword(kValueConnectTimeout, seconds) && seconds > 0 &&
      seconds <= kLongestNetworkTimeout) {
    timeouts.connectMs = static_cast<int>(seconds) * 1000;
  }
  if (key->ReadDword(kValueReplyTimeout, seconds) && seconds <= kLongestNetworkTimeout) {
    timeouts.replyMs = static_cast<int>(seconds) * 1000;
  }
  return timeouts;
}

}  // namespace netrove
