// Feeds arbitrary datagrams to the ICMP views and the ping reply sorter, as
// a raw socket, a datagram socket and an error queue would deliver them, for
// ICMP over IPv4 and for ICMPv6.
#include <cstddef>
#include <cstdint>

#include "diagnostics/icmp_packet.h"
#include "diagnostics/ping_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace netrove;
  const ByteView bytes(data, size);
  // The tag the seeds carry: 0xA1B2C3D4.
  const RunTagMatcher raw(0xA1B2C3D4, false);
  const RunTagMatcher datagram(0xA1B2C3D4, true);
  ClassifyRawDatagram(bytes, raw);
  ClassifyDatagramSocketReply(bytes, datagram);
  ClassifyIcmp6Message(bytes, raw);
  ClassifyIcmp6Message(bytes, datagram);
  if (size >= 2) {
    ClassifyQueuedError(data[0], data[1], bytes.subspan(2), datagram);
    ClassifyQueuedError(data[0], data[1], bytes.subspan(2), datagram, IcmpFamily::IPv6, size);
  }
  if (const auto icmp = IcmpFromRawDatagram(bytes)) {
    if (const auto quoted = QuotedDatagram::Parse(*icmp)) {
      static_cast<void>(quoted->protocol());
      static_cast<void>(quoted->leadingPayload().size());
    }
    static_cast<void>(ReadEchoFields(icmp->message()));
  }
  if (const auto icmp6 = IcmpView::Parse(bytes)) {
    static_cast<void>(icmp6->headerWord());
    if (const auto quoted = QuotedDatagram::Parse(*icmp6, IcmpFamily::IPv6)) {
      // A quote is never shorter than the 8 bytes the readers take from it.
      if (quoted->leadingPayload().size() < kQuotedPayloadMinimum) __builtin_trap();
    }
  }
  return 0;
}
