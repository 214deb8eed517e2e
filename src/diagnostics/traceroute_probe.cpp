#include "diagnostics/traceroute_probe.h"

#include <algorithm>

#include "diagnostics/icmp_packet.h"

namespace netrove {

void WriteProbeHeader(std::span<std::uint8_t> probe, const ProbeHeader& header) {
  WriteLittleEndian16(probe, kProbeNumberOffset, header.number);
  WriteLittleEndian32(probe, kProbeTtlOffset, header.ttl);
  WriteLittleEndian32(probe, kProbeSendTimeOffset, header.sendTime);
}

bool ReadProbeHeader(std::span<const std::uint8_t> probe, ProbeHeader& header) {
  if (probe.size() < kProbeHeaderSize) return false;
  header.number = ReadLittleEndian16(probe, kProbeNumberOffset);
  header.ttl = ReadLittleEndian32(probe, kProbeTtlOffset);
  header.sendTime = ReadLittleEndian32(probe, kProbeSendTimeOffset);
  return true;
}

std::size_t UsableProbeSize(std::int64_t requested) {
  return static_cast<std::size_t>(
      std::clamp<std::int64_t>(requested, static_cast<std::int64_t>(kProbeHeaderSize),
                               static_cast<std::int64_t>(kProbeMaxSize)));
}

std::uint16_t NextDestinationPort(std::uint16_t port) {
  const auto next = static_cast<std::uint16_t>(port + 1);
  return next == 0 ? 1 : next;
}

std::uint16_t FirstSourcePort(std::uint32_t threadId) {
  return static_cast<std::uint16_t>((threadId & 0xFFFF) | kSourcePortFirst);
}

std::uint16_t NextSourcePort(std::uint16_t port) {
  return port == 0xFFFF ? kSourcePortFirst : static_cast<std::uint16_t>(port + 1);
}

}  // namespace netrove
