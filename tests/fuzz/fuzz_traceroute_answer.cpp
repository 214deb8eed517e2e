// Feeds arbitrary datagrams to the traceroute answer sorter, as the raw
// ICMP socket and the probes' error queue would deliver them.
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
  if (size >= 5) {
    QueuedTraceError error;
    error.type = data[0];
    error.code = data[1];
    error.destinationPort = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
    error.answerTtl = data[4];
    std::memcpy(&error.offender, data, std::min<std::size_t>(size, sizeof error.offender));
    static_cast<void>(ClassifyQueuedAnswer(error, probe));
  }
  ProbeHeader header;
  static_cast<void>(ReadProbeHeader(bytes, header));
  return 0;
}
