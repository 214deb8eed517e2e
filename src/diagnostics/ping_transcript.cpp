#include "diagnostics/ping_transcript.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace netrove {
namespace {

// printf-style formatting of the system's fixed texts.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

constexpr std::array<std::string_view, 13> kUnreachableCodes = {
    "network unreachable.",
    "host unreachable.",
    "protocol unreachable.",
    "port unreachable.",
    "fragmentation needed and DF set.",
    "source route failed.",
    "destination network unknown.",
    "destination host unknown.",
    "source host isolated.",
    "communication with destination network administratively prohibited.",
    "communication with destination host administratively prohibited.",
    "network unreachable for type of service.",
    "host unreachable for type of service.",
};

// The codes of an ICMPv6 destination unreachable (RFC 4443, 3.1).
constexpr std::array<std::string_view, 7> kUnreachable6Codes = {
    "no route to destination.",
    "communication with destination administratively prohibited.",
    "beyond scope of source address.",
    "address unreachable.",
    "port unreachable.",
    "source address failed ingress/egress policy.",
    "reject route to destination.",
};

// The codes of an ICMPv6 parameter problem (RFC 4443, 3.4).
constexpr std::array<std::string_view, 3> kParameterProblemCodes = {
    "erroneous header field",
    "unrecognized next header type",
    "unrecognized IPv6 option",
};

template <std::size_t N>
std::string CodeText(const std::array<std::string_view, N>& texts, int code) {
  if (code >= 0 && static_cast<std::size_t>(code) < N) {
    return std::string(texts[static_cast<std::size_t>(code)]);
  }
  return Format("meaning unknown (%d).", code);
}

}  // namespace

std::string PingingLine(bool withName, const std::string& displayName, const std::string& address,
                        int packetSize) {
  if (withName) {
    return Format("Pinging %s [%s] with %d bytes of data:\r\n\r\n", displayName.c_str(),
                  address.c_str(), packetSize);
  }
  return Format("Pinging %s with %d bytes of data:\r\n\r\n", address.c_str(), packetSize);
}

std::string ReplyLine(const std::string& address, int bytes, int number, std::uint32_t roundTrip) {
  return Format("Reply from %s: bytes=%d seq=%d time=%ld ms.\r\n", address.c_str(), bytes, number,
                static_cast<long>(roundTrip));
}

std::string DuplicateReplyLine(const std::string& address, int bytes, int number,
                               std::uint32_t roundTrip) {
  std::string line = ReplyLine(address, bytes, number, roundTrip);
  line.insert(line.size() - 2, " (DUP!)");
  return line;
}

std::string BroadcastReplyLine(const std::string& source, int bytes, int number) {
  return Format("Reply from %s: bytes=%d seq=%d.\r\n", source.c_str(), bytes, number);
}

std::string UnreachableCodeText(int code) { return CodeText(kUnreachableCodes, code); }

std::string Unreachable6CodeText(int code) { return CodeText(kUnreachable6Codes, code); }

std::string UnreachableLine(const std::string& source, int code) {
  return "Reply from " + source + ": Destination unreachable, " + UnreachableCodeText(code) +
         "\r\n";
}

std::string Unreachable6Line(const std::string& source, int code) {
  return "Reply from " + source + ": Destination unreachable, " + Unreachable6CodeText(code) +
         "\r\n";
}

std::string HopLimitExceededLine(const std::string& source, int code) {
  return "Reply from " + source + ": " +
         (code == 0 ? "Hop limit exceeded.\r\n" : "Fragment reassembly time exceeded.\r\n");
}

std::string PacketTooBigLine(const std::string& source, std::uint32_t mtu) {
  return Format("Reply from %s: Packet too big, MTU %lu.\r\n", source.c_str(),
                static_cast<unsigned long>(mtu));
}

std::string ParameterProblemLine(const std::string& source, int code, std::uint32_t pointer) {
  const std::string what = CodeText(kParameterProblemCodes, code);
  if (static_cast<std::size_t>(code) >= kParameterProblemCodes.size())
    return "Reply from " + source + ": Parameter problem, " + what + "\r\n";
  return Format("Reply from %s: Parameter problem, %s at byte %lu.\r\n", source.c_str(),
                what.c_str(), static_cast<unsigned long>(pointer));
}

std::string TimeExceededLine(const std::string& source, int code) {
  return "Reply from " + source + ": " +
         (code == 0 ? "Time-to-live count exceeded.\r\n"
                    : "Fragment reassembly time exceeded.\r\n");
}

void RoundTripStatistics::Add(std::uint32_t roundTrip) {
  sum_ += roundTrip;
  if (roundTrip < minimum_) minimum_ = roundTrip;
  if (roundTrip > maximum_) maximum_ = roundTrip;
}

std::uint32_t RoundTripStatistics::Average(std::int32_t replies) const {
  if (replies <= 0) return 0;
  return static_cast<std::uint32_t>(sum_ / static_cast<std::uint64_t>(replies));
}

std::int32_t LossPercent(std::int32_t sent, std::int32_t received) {
  if (sent <= 0) return 0;
  const std::int64_t lost = std::clamp<std::int64_t>(std::int64_t{sent} - received, 0, sent);
  return static_cast<std::int32_t>(lost * 100 / sent);
}

std::string StatisticsBlock(const PingRunTotals& totals, const RoundTripStatistics& times) {
  if (totals.interrupted || totals.received <= 0) return "\r\n";
  if (totals.broadcast) {
    return Format(
        "\r\n--- Pinging Statistics ---\r\n%d packets transmitted; %d packets received.\r\n\r\n",
        totals.sent, totals.received);
  }
  // Duplicated replies are counted apart, as ping users know them.
  const std::string duplicates =
      totals.duplicates > 0 ? Format(" +%d duplicates;", totals.duplicates) : std::string();
  return Format(
      "\r\n--- Pinging Statistics ---\r\n%d packets transmitted; %d packets received;%s %d%% "
      "packets loss\r\n"
      "Round-trip (ms)  min/avg/max = %ld/%ld/%ld\r\n\r\n",
      totals.sent, totals.received, duplicates.c_str(), LossPercent(totals.sent, totals.received),
      static_cast<long>(times.minimum()), static_cast<long>(times.Average(totals.received)),
      static_cast<long>(times.maximum()));
}

}  // namespace netrove
