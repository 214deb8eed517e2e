#pragma once
// The requests and answers between Netrove and its ICMP helper, the one small
// program that may carry CAP_NET_RAW. The programs talk over a SOCK_SEQPACKET
// socketpair, one fixed-size message per request and per answer; an answer
// that grants a socket carries its descriptor as SCM_RIGHTS. The helper takes
// the requests from a less trusted process, so a request is accepted only when
// every byte of it is one the helper expects.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace netrove {

inline constexpr std::uint8_t kIcmpHelperVersion = 1;
inline constexpr std::size_t kIcmpHelperMessageSize = 4;
// A helper serves this many requests at most, then ends.
inline constexpr int kIcmpHelperMaxRequests = 8;

// The address families a raw ICMP socket may be asked for: ICMP over IPv4 or
// ICMPv6 over IPv6. Nothing else is ever opened for the caller.
enum class IcmpHelperFamily : std::uint8_t { IPv4 = 4, IPv6 = 6 };

struct IcmpHelperRequest {
  IcmpHelperFamily family = IcmpHelperFamily::IPv4;
};

struct IcmpHelperAnswer {
  bool granted = false;
  int errnoValue = 0;  // why the socket was refused, when it was
};

using IcmpHelperMessage = std::array<std::uint8_t, kIcmpHelperMessageSize>;

IcmpHelperMessage EncodeIcmpHelperRequest(const IcmpHelperRequest& request);
// `bytes` is what one message held; a size other than a request's refuses it.
std::optional<IcmpHelperRequest> ParseIcmpHelperRequest(std::span<const std::uint8_t> bytes);

IcmpHelperMessage EncodeIcmpHelperAnswer(const IcmpHelperAnswer& answer);
std::optional<IcmpHelperAnswer> ParseIcmpHelperAnswer(std::span<const std::uint8_t> bytes);

// The socket() arguments for a family: AF_INET/IPPROTO_ICMP or
// AF_INET6/IPPROTO_ICMPV6.
int IcmpHelperAddressFamily(IcmpHelperFamily family);
int IcmpHelperProtocol(IcmpHelperFamily family);

}  // namespace netrove
