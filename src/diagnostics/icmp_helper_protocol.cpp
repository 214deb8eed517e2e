#include "diagnostics/icmp_helper_protocol.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace netrove {
namespace {

constexpr std::uint8_t kOpenRawSocket = 1;
constexpr std::uint8_t kGranted = 0;
constexpr std::uint8_t kRefused = 1;
// errno values travel as 16 bits; Linux's are far below that.
constexpr int kLargestErrno = 0xFFFF;

}  // namespace

IcmpHelperMessage EncodeIcmpHelperRequest(const IcmpHelperRequest& request) {
  return {kIcmpHelperVersion, kOpenRawSocket, static_cast<std::uint8_t>(request.family), 0};
}

std::optional<IcmpHelperRequest> ParseIcmpHelperRequest(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kIcmpHelperMessageSize) return std::nullopt;
  if (bytes[0] != kIcmpHelperVersion || bytes[1] != kOpenRawSocket || bytes[3] != 0)
    return std::nullopt;
  switch (bytes[2]) {
    case static_cast<std::uint8_t>(IcmpHelperFamily::IPv4):
      return IcmpHelperRequest{IcmpHelperFamily::IPv4};
    case static_cast<std::uint8_t>(IcmpHelperFamily::IPv6):
      return IcmpHelperRequest{IcmpHelperFamily::IPv6};
    default:
      return std::nullopt;
  }
}

IcmpHelperMessage EncodeIcmpHelperAnswer(const IcmpHelperAnswer& answer) {
  const int error = answer.granted ? 0
                                   : (answer.errnoValue > 0 && answer.errnoValue <= kLargestErrno
                                          ? answer.errnoValue
                                          : kLargestErrno);
  return {kIcmpHelperVersion, answer.granted ? kGranted : kRefused,
          static_cast<std::uint8_t>(error >> 8), static_cast<std::uint8_t>(error & 0xFF)};
}

std::optional<IcmpHelperAnswer> ParseIcmpHelperAnswer(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kIcmpHelperMessageSize || bytes[0] != kIcmpHelperVersion) return std::nullopt;
  const int error = (bytes[2] << 8) | bytes[3];
  if (bytes[1] == kGranted && error == 0) return IcmpHelperAnswer{true, 0};
  if (bytes[1] == kRefused && error != 0) return IcmpHelperAnswer{false, error};
  return std::nullopt;
}

int IcmpHelperAddressFamily(IcmpHelperFamily family) {
  return family == IcmpHelperFamily::IPv6 ? AF_INET6 : AF_INET;
}

int IcmpHelperProtocol(IcmpHelperFamily family) {
  if (family == IcmpHelperFamily::IPv6) return IPPROTO_ICMPV6;
  return IPPROTO_ICMP;
}

}  // namespace netrove
