#include "diagnostics/diagnostics_run.h"

#include <algorithm>
#include <optional>

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

namespace {

bool Allowed(const SocketAddress& address, FamilyChoice family) {
  if (address.family() == AF_INET) return family != FamilyChoice::IPv6Only;
  if (address.family() == AF_INET6) return family != FamilyChoice::IPv4Only;
  return false;
}

// "[addr]" is how an IPv6 address is written beside a port; alone it means
// the address.
std::string WithoutBrackets(const std::string& host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

bool FindByName(IResolver& resolver, const std::string& host, FamilyChoice family,
                IMainWindowReporter& reporter, RunTarget& out) {
  HostEntry entry;
  if (const SocketStatus found = resolver.HostByName(host, entry); !found) {
    ReportSocketError(reporter, found.error);
    return false;
  }
  const auto first = std::find_if(entry.addresses.begin(), entry.addresses.end(),
                                  [family](const SocketAddress& a) { return Allowed(a, family); });
  if (first == entry.addresses.end()) {
    ReportSocketError(reporter, WSANO_DATA);
    return false;
  }
  out.address = *first;
  out.address.setPort(0);
  out.addressText = out.address.text();
  out.addressesOfFamily = static_cast<std::size_t>(
      std::count_if(entry.addresses.begin(), entry.addresses.end(),
                    [&](const SocketAddress& a) { return a.family() == first->family(); }));
  return true;
}

}  // namespace

bool FindRunTarget(IResolver& resolver, const std::string& host, FamilyChoice family,
                   IMainWindowReporter& reporter, RunTarget& out) {
  out = {};
  const std::optional<SocketAddress> typed = SocketAddress::FromText(WithoutBrackets(host));
  if (!typed) return FindByName(resolver, host, family, reporter, out);
  // An IPv4 address written as IPv6 (::ffff:10.1.2.3) is reached over IPv4:
  // no ICMPv6 ever travels to it.
  out.address = typed->unmapped();
  if (!Allowed(out.address, family)) {
    // An address of the other family has no address of this one.
    ReportSocketError(reporter, WSANO_DATA);
    return false;
  }
  // An IPv4 address keeps the form it was typed in ("10.1" too).
  out.addressText = typed->isIPv4() ? host : out.address.text();
  out.typedAsAddress = true;
  return true;
}

}  // namespace netrove
