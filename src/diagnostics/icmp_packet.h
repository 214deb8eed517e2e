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
  bool isError() const;

 private:
  explicit IcmpView(ByteView message) : message_(message) {}
  ByteView message_;
};

// A datagram as a raw ICMP socket delivers it: IP header, then the ICMP
// message. Nothing when either part is incomplete.
std::optional<IcmpView> IcmpFromRawDatagram(ByteView datagram);

// The offending datagram an ICMP error quotes: its IP header (taken at its
// own length) and at least the first 8 bytes of what followed it.
class QuotedDatagram {
 public:
  static std::optional<QuotedDatagram> Parse(const IcmpView& error);

  const IpHeaderView& ip() const { return ip_; }
  ByteView leadingPayload() const { return ip_.payload(); }

 private:
  explicit QuotedDatagram(IpHeaderView ip) : ip_(ip) {}
  IpHeaderView ip_;
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
// the fields, the fill, and the checksum over all of it.
void BuildEchoRequest(std::span<std::uint8_t> message, const EchoFields& fields);
// The fields of an echo message of at least 14 bytes (request or reply).
std::optional<EchoFields> ReadEchoFields(ByteView icmpMessage);

}  // namespace netrove
