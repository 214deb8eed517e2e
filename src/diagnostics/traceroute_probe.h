#pragma once
// The UDP probes of a traceroute run: the 10-byte header every probe
// carries in front of its zero fill, the destination port of each probe and
// the source ports a run may take.
#include <cstdint>
#include <span>

namespace netrove {

// Probe number (16 bits), time-to-live (32 bits) and send tick (32 bits),
// all little-endian.
inline constexpr std::size_t kProbeHeaderSize = 10;
inline constexpr std::size_t kProbeNumberOffset = 0;
inline constexpr std::size_t kProbeTtlOffset = 2;
inline constexpr std::size_t kProbeSendTimeOffset = 6;
// The largest UDP payload an IPv4 datagram can carry.
inline constexpr std::size_t kProbeMaxSize = 65535 - 20 - 8;

struct ProbeHeader {
  std::uint16_t number = 0;
  std::uint32_t ttl = 0;
  std::uint32_t sendTime = 0;
};

// Rewrites the header at the front of `probe` (at least 10 bytes); the fill
// behind it is left as it is.
void WriteProbeHeader(std::span<std::uint8_t> probe, const ProbeHeader& header);
// The header at the front of a probe, or of as much of one as an ICMP error
// quoted back; false when fewer than 10 bytes are given.
bool ReadProbeHeader(std::span<const std::uint8_t> probe, ProbeHeader& header);

// The probe size a run uses: at least the header, at most what one datagram
// holds.
std::size_t UsableProbeSize(std::int64_t requested);

// The destination port after `port`: one up, wrapping at 65536. Port 0
// cannot be sent to (the system refuses it), so the count goes on at 1.
std::uint16_t NextDestinationPort(std::uint16_t port);

// Source ports lie in 32768..65535. The first candidate comes from the
// worker thread's id with bit 15 set, so concurrent runs start apart; when
// a port is taken the run tries the ones after it, wrapping inside the
// range.
inline constexpr std::uint16_t kSourcePortFirst = 0x8000;
std::uint16_t FirstSourcePort(std::uint32_t threadId);
std::uint16_t NextSourcePort(std::uint16_t port);

}  // namespace netrove
