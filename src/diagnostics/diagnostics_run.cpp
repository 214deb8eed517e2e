#include "diagnostics/diagnostics_run.h"

#include <net/if.h>
#include <netdb.h>

#include <algorithm>
#include <cstring>
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

bool Allowed(const SocketAddress& address, TargetFamily family) {
  if (address.family() == AF_INET) return family != TargetFamily::IPv6Only;
  if (address.family() == AF_INET6) return family != TargetFamily::IPv4Only;
  return false;
}

// "[addr]" is how an IPv6 address is written beside a port; alone it means
// the address.
std::string WithoutBrackets(const std::string& host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

std::optional<SocketAddress> NumericIPv6(const std::string& text) {
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* answer = nullptr;
  if (getaddrinfo(text.c_str(), nullptr, &hints, &answer) != 0) return std::nullopt;
  const SocketAddress address = SocketAddress::FromSockaddr(answer->ai_addr, answer->ai_addrlen);
  freeaddrinfo(answer);
  return address;
}

// An IPv4 address written as IPv6 (::ffff:10.1.2.3) is reached over IPv4:
// no ICMPv6 ever travels to it.
SocketAddress WithoutIPv4Mapping(const SocketAddress& address) {
  const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address.data());
  if (!IN6_IS_ADDR_V4MAPPED(&ipv6->sin6_addr)) return address;
  in_addr ipv4{};
  std::memcpy(&ipv4.s_addr, ipv6->sin6_addr.s6_addr + 12, sizeof ipv4.s_addr);
  return SocketAddress::FromIPv4(ipv4);
}

bool FindByName(IResolver& resolver, const std::string& host, TargetFamily family,
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
  out.addressText = AddressText(out.address);
  out.addressesOfFamily = static_cast<std::size_t>(
      std::count_if(entry.addresses.begin(), entry.addresses.end(),
                    [&](const SocketAddress& a) { return a.family() == first->family(); }));
  return true;
}

}  // namespace

bool FindRunTarget(IResolver& resolver, const std::string& host, TargetFamily family,
                   IMainWindowReporter& reporter, RunTarget& out) {
  out = {};
  std::optional<SocketAddress> typed;
  std::string text = host;
  if (const in_addr dotted{InetAddr(host)}; dotted.s_addr != INADDR_NONE) {
    typed = SocketAddress::FromIPv4(dotted);
  } else if (const auto ipv6 = NumericIPv6(WithoutBrackets(host))) {
    typed = WithoutIPv4Mapping(*ipv6);
    text = AddressText(*typed);
  }
  if (!typed) return FindByName(resolver, host, family, reporter, out);
  if (!Allowed(*typed, family)) {
    // An address of the other family has no address of this one.
    ReportSocketError(reporter, WSANO_DATA);
    return false;
  }
  out.address = *typed;
  out.addressText = text;
  out.typedAsAddress = true;
  return true;
}

std::string AddressText(const SocketAddress& address) {
  std::string text = address.text();
  if (address.family() != AF_INET6 || text.find('%') != std::string::npos) return text;
  const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address.data());
  if (ipv6->sin6_scope_id == 0) return text;
  char name[IF_NAMESIZE] = {};
  if (if_indextoname(ipv6->sin6_scope_id, name) != nullptr) return text + "%" + name;
  return text + "%" + std::to_string(ipv6->sin6_scope_id);
}

}  // namespace netrove
