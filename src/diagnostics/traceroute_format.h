#pragma once
// The text a traceroute run writes to its transcript: the header lines, one
// line per time-to-live (a new line with the same number for every further
// router that answers at that time-to-live), and the marks after each time.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace netrove {

inline constexpr std::string_view kTraceLineEnd = "\r\n";
inline constexpr std::string_view kTraceRunEnd = "\r\n\r\n";
inline constexpr std::string_view kNoAnswerText = "  *  ";

// "traceroute warning: <name> has multiple addresses; using <address>."
std::string MultipleAddressWarning(const std::string& displayName, const std::string& address);
// The line that opens a run; with the look-up option it names the target
// and its address, otherwise the address alone.
std::string TraceHeaderLine(bool withName, const std::string& displayName,
                            const std::string& address, int maximumTtl, int probeSize);

// "%03d  ": the hop number in three digits and two spaces.
std::string HopNumberText(int ttl);
// A round trip in milliseconds: "  <10 ms" for 0, else at least three
// digits ("  007 ms").
std::string RoundTripText(std::uint32_t milliseconds);
// The responder of a probe: " <name> (<address>)" when a name is known,
// otherwise " <address>".
std::string ResponderText(const std::string& address, const std::optional<std::string>& name);

// What an answer that matched its probe says about the route.
enum class TraceOutcome { Hop, DestinationReached, Unreachable };

// The mark written after the time: none for a hop, " !" for a destination
// that answered with a time-to-live of 1 or less (the route is asymmetric or
// the target echoes the probe's TTL), " !N" and so on for unreachable codes
// (of ICMPv6 when `ipv6`).
std::string AnnotationText(TraceOutcome outcome, int code, bool lowTtl, bool ipv6 = false);

// "From <address>: ICMP Type = <t>, Code = <c>. " for messages that concern
// no probe, shown in verbose mode in place of the probe's time.
std::string VerboseReportText(const std::string& source, int type, int code);

// The responders of one time-to-live, in the order they answered. Each
// different router gets a line of its own, which starts with the hop number
// again; a router that answers several probes in a row is named once.
class HopLine {
 public:
  explicit HopLine(int ttl) : ttl_(ttl) {}

  // The number that starts the hop's first line.
  std::string Opening() const { return HopNumberText(ttl_); }
  // Whether an answer from `responder` (its numeric text) names a router
  // other than the last.
  bool IsNewResponder(const std::string& responder) const;
  // Makes `responder` the last one and returns what goes before its time:
  // the responder's text, on a new line when another one answered before.
  std::string SwitchTo(const std::string& responder, const std::string& responderText);

 private:
  int ttl_;
  std::optional<std::string> last_;
};

}  // namespace netrove
