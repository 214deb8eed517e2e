#pragma once
// The lines a ping run writes to its transcript, and its statistics block.
#include <cstdint>
#include <string>
#include <string_view>

namespace netrove {

inline constexpr std::string_view kRequestTimedOutLine = "Request timed out.\r\n";

// "Pinging <address> with <size> bytes of data:" and a blank line; with the
// look-up option the display name comes first and the address in brackets.
std::string PingingLine(bool withName, const std::string& displayName, const std::string& address,
                        int packetSize);
// String 61291.
std::string ReplyLine(const std::string& address, int bytes, int number, std::uint32_t roundTrip);
// The reply line of a request that was answered already, marked " (DUP!)"
// at its end.
std::string DuplicateReplyLine(const std::string& address, int bytes, int number,
                               std::uint32_t roundTrip);
std::string BroadcastReplyLine(const std::string& source, int bytes, int number);
std::string UnreachableCodeText(int code);
std::string UnreachableLine(const std::string& source, int code);
std::string TimeExceededLine(const std::string& source, int code);
// The ICMPv6 errors, in the words of the IPv4 lines where there are such.
std::string Unreachable6CodeText(int code);
std::string Unreachable6Line(const std::string& source, int code);
std::string HopLimitExceededLine(const std::string& source, int code);
std::string PacketTooBigLine(const std::string& source, std::uint32_t mtu);
std::string ParameterProblemLine(const std::string& source, int code, std::uint32_t pointer);

// Round-trip times of one run's replies, in milliseconds.
class RoundTripStatistics {
 public:
  void Add(std::uint32_t roundTrip);
  std::uint32_t minimum() const { return minimum_; }
  std::uint32_t maximum() const { return maximum_; }
  // Sum / count, truncated; 0 without replies.
  std::uint32_t Average(std::int32_t replies) const;

 private:
  std::uint32_t minimum_ = 0x7FFFFFFF;
  std::uint32_t maximum_ = 0;
  // Wider than a tick so a long continuous run cannot overflow the average.
  std::uint64_t sum_ = 0;
};

// (sent - received) * 100 / sent, truncated toward zero, within 0 to 100; 0
// when nothing was sent.
std::int32_t LossPercent(std::int32_t sent, std::int32_t received);

struct PingRunTotals {
  std::int32_t sent = 0;
  std::int32_t received = 0;  // requests answered, each once
  bool interrupted = false;
  bool broadcast = false;
  std::int32_t duplicates = 0;  // further replies to requests answered already
};

// What follows the last line of a run: a blank line only after Interrupt or
// without replies, the short form for a broadcast run, otherwise string
// 61290 with the loss and the round-trip figures, and "+N duplicates;" after
// the replies when some came twice.
std::string StatisticsBlock(const PingRunTotals& totals, const RoundTripStatistics& times);

}  // namespace netrove
