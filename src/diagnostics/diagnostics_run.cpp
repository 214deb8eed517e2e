#include "diagnostics/diagnostics_run.h"

#include <algorithm>

#include "base/net_socket.h"

namespace netrove {

bool IsInterruptError(int code) { return code == WSAEINTR || code == WSAENOTSOCK; }

std::int32_t ReplyTimeoutMilliseconds(std::int32_t seconds) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(static_cast<std::int64_t>(seconds) * 1000, 0, INT32_MAX));
}

bool LookUpHostName(const std::string& host, IMainWindowReporter& reporter, HostEntry& entry) {
  if (!GetHostByName(host, entry)) {
    ReportSocketError(reporter, GetLastError());
    return false;
  }
  if (entry.addresses.empty()) {
    ReportSocketError(reporter, WSANO_DATA);
    return false;
  }
  return true;
}

}  // namespace netrove
