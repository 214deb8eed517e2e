#include "diagnostics/diagnostics_run.h"

#include <algorithm>

#include "base/net_socket.h"

namespace netrove {

bool IsMissingName(int code) { return code == WSANO_DATA || code == WSAHOST_NOT_FOUND; }

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
          .count();
  return static_cast<int>(std::clamp<std::int64_t>(left, 0, INT32_MAX));
}

std::int32_t ReplyTimeoutMilliseconds(std::int32_t seconds) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(static_cast<std::int64_t>(seconds) * 1000, 0, INT32_MAX));
}

bool LookUpHostName(IResolver& resolver, const std::string& host, IMainWindowReporter& reporter,
                    HostEntry& entry, in_addr& address) {
  if (const SocketStatus found = resolver.HostByName(host, entry); !found) {
    ReportSocketError(reporter, found.error);
    return false;
  }
  const auto first = FirstIPv4(entry);
  if (!first) {
    ReportSocketError(reporter, WSANO_DATA);
    return false;
  }
  address = *first;
  return true;
}

}  // namespace netrove
