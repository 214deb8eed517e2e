// Feeds arbitrary datagrams to the ICMP views and the ping reply sorter, as
// a raw socket, a datagram socket and an error queue would deliver them.
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
  if (size >= 2) ClassifyQueuedError(data[0], data[1], bytes.subspan(2), datagram);
  if (const auto icmp = IcmpFromRawDatagram(bytes)) {
    if (const auto quoted = QuotedDatagram::Parse(*icmp)) {
      static_cast<void>(quoted->ip().source());
      static_cast<void>(quoted->leadingPayload().size());
    }
    static_cast<void>(ReadEchoFields(icmp->message()));
  }
  return 0;
}
