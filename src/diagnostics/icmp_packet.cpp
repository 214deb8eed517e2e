#include "diagnostics/icmp_packet.h"

#include <cstring>

#include "base/net_socket.h"

namespace netrove {
namespace {

in_addr AddressAt(ByteView bytes, std::size_t offset) {
  in_addr address{};
  std::memcpy(&address.s_addr, bytes.data() + offset, sizeof address.s_addr);
  return address;
}

constexpr std::uint8_t kFirstFill = 0x20;
constexpr std::uint8_t kLastFill = 0x7E;

}  // namespace

std::uint16_t ReadLittleEndian16(ByteView bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t ReadLittleEndian32(ByteView bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(ReadLittleEndian16(bytes, offset)) |
         (static_cast<std::uint32_t>(ReadLittleEndian16(bytes, offset + 2)) << 16);
}

void WriteLittleEndian16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void WriteLittleEndian32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  WriteLittleEndian16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
  WriteLittleEndian16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::optional<IpHeaderView> IpHeaderView::Parse(ByteView datagram) {
  if (datagram.empty()) return std::nullopt;
  const std::size_t length = static_cast<std::size_t>(datagram[0] & 0x0F) * 4;
  if (length < kIpMinHeaderSize || length > datagram.size()) return std::nullopt;
  return IpHeaderView(datagram.first(length), datagram.subspan(length));
}

in_addr IpHeaderView::source() const { return AddressAt(header_, 12); }
in_addr IpHeaderView::destination() const { return AddressAt(header_, 16); }

std::optional<IcmpView> IcmpView::Parse(ByteView message) {
  if (message.size() < kIcmpHeaderSize) return std::nullopt;
  return IcmpView(message);
}

std::uint32_t IcmpView::headerWord() const {
  return (static_cast<std::uint32_t>(message_[4]) << 24) |
         (static_cast<std::uint32_t>(message_[5]) << 16) |
         (static_cast<std::uint32_t>(message_[6]) << 8) | message_[7];
}

std::optional<IcmpView> IcmpFromRawDatagram(ByteView datagram) {
  const auto ip = IpHeaderView::Parse(datagram);
  if (!ip) return std::nullopt;
  return IcmpView::Parse(ip->payload());
}

std::optional<QuotedDatagram> QuotedDatagram::Parse(const IcmpView& error, IcmpFamily family) {
  const ByteView quoted = error.body();
  if (family == IcmpFamily::IPv6) {
    constexpr std::size_t kNextHeaderOffset = 6;
    if (quoted.size() < kIpv6HeaderSize + kQuotedPayloadMinimum) return std::nullopt;
    return QuotedDatagram(quoted[kNextHeaderOffset], quoted.subspan(kIpv6HeaderSize));
  }
  const auto ip = IpHeaderView::Parse(quoted);
  if (!ip || ip->payload().size() < kQuotedPayloadMinimum) return std::nullopt;
  return QuotedDatagram(ip->protocol(), ip->payload());
}

std::uint8_t EchoFillByte(std::size_t index) {
  constexpr std::size_t kCycle = kLastFill - kFirstFill + 1;
  return static_cast<std::uint8_t>(kFirstFill + index % kCycle);
}

void BuildEchoRequest(std::span<std::uint8_t> message, const EchoFields& fields,
                      IcmpFamily family) {
  message[0] = family == IcmpFamily::IPv6 ? kIcmp6EchoRequest : kIcmpEchoRequest;
  message[1] = 0;
  WriteLittleEndian16(message, 2, 0);
  WriteLittleEndian32(message, kEchoRunTagOffset, fields.runTag);
  WriteLittleEndian32(message, kEchoSendTimeOffset, fields.sendTime);
  WriteLittleEndian16(message, kEchoNumberOffset, fields.number);
  for (std::size_t i = kEchoRequestHeaderSize; i < message.size(); ++i) {
    message[i] = EchoFillByte(i - kEchoRequestHeaderSize);
  }
  if (family == IcmpFamily::IPv6) return;
  // The checksum is summed in machine order and stored the same way, which
  // puts it on the wire in the order the receiver's sum expects.
  const std::uint16_t checksum = InternetChecksum(message.data(), message.size());
  std::memcpy(message.data() + 2, &checksum, sizeof checksum);
}

std::optional<EchoFields> ReadEchoFields(ByteView icmpMessage) {
  if (icmpMessage.size() < kEchoRequestHeaderSize) return std::nullopt;
  return EchoFields{ReadLittleEndian32(icmpMessage, kEchoRunTagOffset),
                    ReadLittleEndian32(icmpMessage, kEchoSendTimeOffset),
                    ReadLittleEndian16(icmpMessage, kEchoNumberOffset)};
}

}  // namespace netrove
