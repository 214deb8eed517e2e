// Feeds arbitrary datagrams to the traceroute answer sorter, as the raw
// ICMP and ICMPv6 sockets and the probes' error queue would deliver them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "diagnostics/traceroute_answer.h"
#include "diagnostics/traceroute_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace netrove;
  const ByteView bytes(data, size);
  // The ports the seeds quote: source 40000, destination 33434.
  const ProbePorts probe{40000, 33434};
  const TraceAnswer answer = ClassifyRawAnswer(bytes, probe);
  if (answer.kind == TraceAnswerKind::Matched &&
      answer.icmpLength < static_cast<int>(kMinimumAnswerSize)) {
    __builtin_trap();  // a match can only come from a complete answer
  }
  const TraceAnswer answer6 = ClassifyIcmp6Answer(bytes, probe);
  if (answer6.kind == TraceAnswerKind::Matched &&
      answer6.icmpLength < static_cast<int>(kMinimumAnswer6Size)) {
    __builtin_trap();
  }
  if (size >= 6) {
    QueuedTraceError error;
    error.type = data[0];
    error.code = data[1];
    error.destinationPort = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    error.answerTtl = data[4];
    error.ipv6 = (data[5] & 1) != 0;
    sockaddr_in6 offender{};
    offender.sin6_family = AF_INET6;
    std::memcpy(&offender.sin6_addr, data, std::min<std::size_t>(size, sizeof offender.sin6_addr));
    error.offender =
        SocketAddress::FromSockaddr(reinterpret_cast<const sockaddr*>(&offender), sizeof offender);
    static_cast<void>(ClassifyQueuedAnswer(error, probe));
  }
  ProbeHeader header;
  static_cast<void>(ReadProbeHeader(bytes, header));
  return 0;
}
