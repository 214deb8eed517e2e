#pragma once
// Bounds-checked views of ICMP datagrams, shared by ping and traceroute. A
// view exists only when the bytes it was given hold every field it offers,
// so no reader can go past the received length: a datagram too short for a
// field is simply not a datagram of that kind.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace netrove {

using ByteView = std::span<const std::uint8_t>;

inline constexpr std::uint8_t kIcmpEchoReply = 0;
inline constexpr std::uint8_t kIcmpDestinationUnreachable = 3;
inline constexpr std::uint8_t kIcmpEchoRequest = 8;
inline constexpr std::uint8_t kIcmpTimeExceeded = 11;
inline constexpr std::uint8_t kIpProtocolIcmp = 1;
inline constexpr std::uint8_t kIpProtocolUdp = 17;

// ICMPv6 (RFC 4443) numbers its messages anew: errors below 128, the
// informational messages from 128 on.
inline constexpr std::uint8_t kIcmp6DestinationUnreachable = 1;
inline constexpr std::uint8_t kIcmp6PacketTooBig = 2;
inline constexpr std::uint8_t kIcmp6TimeExceeded = 3;
inline constexpr std::uint8_t kIcmp6ParameterProblem = 4;
inline constexpr std::uint8_t kIcmp6EchoRequest = 128;
inline constexpr std::uint8_t kIcmp6EchoReply = 129;
inline constexpr std::uint8_t kIpProtocolIcmp6 = 58;
inline constexpr std::size_t kIpv6HeaderSize = 40;

// Which ICMP a message belongs to: ICMP over IPv4 or ICMPv6 over IPv6.
enum class IcmpFamily { IPv4, IPv6 };

inline constexpr std::size_t kIpMinHeaderSize = 20;
inline constexpr std::size_t kIcmpHeaderSize = 8;
// Routers quote at least the offending IP header and 8 bytes behind it.
inline constexpr std::size_t kQuotedPayloadMinimum = 8;
// The largest ICMP message an IPv4 datagram can carry.
inline constexpr std::size_t kIcmpMaxMessageSize = 65535 - kIpMinHeaderSize;

std::uint16_t ReadLittleEndian16(ByteView bytes, std::size_t offset);
std::uint32_t ReadLittleEndian32(ByteView bytes, std::size_t offset);
void WriteLittleEndian16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void WriteLittleEndian32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);

// An IPv4 header at the start of a datagram. Its length is four times the
// low four bits of the first byte.
class IpHeaderView {
 public:
  // Nothing when the length field is below 20 or the header does not fit.
  static std::optional<IpHeaderView> Parse(ByteView datagram);

  std::size_t headerLength() const { return header_.size(); }
  std::uint8_t protocol() const { return header_[9]; }
  std::uint8_t timeToLive() const { return header_[8]; }
  in_addr source() const;
  in_addr destination() const;
  // The bytes behind the header, possibly none.
  ByteView payload() const { return payload_; }

 private:
  IpHeaderView(ByteView header, ByteView payload) : header_(header), payload_(payload) {}
  ByteView header_;
  ByteView payload_;
};

// An ICMP message of at least its 8-byte header.
class IcmpView {
 public:
  static std::optional<IcmpView> Parse(ByteView message);

  std::uint8_t type() const { return message_[0]; }
  std::uint8_t code() const { return message_[1]; }
  std::size_t size() const { return message_.size(); }
  ByteView message() const { return message_; }
  // Behind the header: an echo's data, or an error's quoted datagram.
  ByteView body() const { return message_.subspan(kIcmpHeaderSize); }
  // The second word of the header, big-endian: an ICMPv6 "too big"
  // message's MTU, a parameter problem's pointer.
  std::uint32_t headerWord() const;

 private:
  explicit IcmpView(ByteView message) : message_(message) {}
  ByteView message_;
};

// A datagram as a raw ICMP socket delivers it: IP header, then the ICMP
// message. Nothing when either part is incomplete.
std::optional<IcmpView> IcmpFromRawDatagram(ByteView datagram);

// The offending datagram an ICMP error quotes: its IP header (IPv4: taken
// at its own length; IPv6: the fixed 40 bytes) and at least the first 8
// bytes of what followed it. An IPv6 datagram is read as far as its first
// header: one whose first next header is an extension header quotes no
// datagram the tools sent.
class QuotedDatagram {
 public:
  static std::optional<QuotedDatagram> Parse(const IcmpView& error,
                                             IcmpFamily family = IcmpFamily::IPv4);

  // The IPv4 protocol or the IPv6 next header.
  std::uint8_t protocol() const { return protocol_; }
  ByteView leadingPayload() const { return payload_; }

 private:
  QuotedDatagram(std::uint8_t protocol, ByteView payload)
      : protocol_(protocol), payload_(payload) {}
  std::uint8_t protocol_;
  ByteView payload_;
};

// The echo request of the ICMP tools: the 8-byte echo header whose
// identifier and sequence fields together carry a 32-bit run tag, then the
// send tick and the request number, all little-endian, then the fill.
inline constexpr std::size_t kEchoRunTagOffset = 4;
inline constexpr std::size_t kEchoSendTimeOffset = 8;
inline constexpr std::size_t kEchoNumberOffset = 12;
inline constexpr std::size_t kEchoRequestHeaderSize = 14;

struct EchoFields {
  std::uint32_t runTag = 0;
  std::uint32_t sendTime = 0;
  std::uint16_t number = 0;
};

// The fill byte at `index` behind the header: space to tilde, repeating.
std::uint8_t EchoFillByte(std::size_t index);
// Writes a whole request into `message` (at least 14 bytes): type 8, code 0,
// the fields, the fill, and the checksum over all of it. An ICMPv6 request
// is type 128 and leaves the checksum 0: it covers the IPv6 addresses, which
// only the kernel knows for certain, and the kernel fills it in.
void BuildEchoRequest(std::span<std::uint8_t> message, const EchoFields& fields,
                      IcmpFamily family = IcmpFamily::IPv4);
// The fields of an echo message of at least 14 bytes (request or reply).
std::optional<EchoFields> ReadEchoFields(ByteView icmpMessage);

}  // namespace netrove
