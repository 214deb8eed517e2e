#include "diagnostics/traceroute_format.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace netrove {
namespace {

// printf into a std::string; the formats here are all fixed and short, but
// host names can be long, so the size is measured first.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  const int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (size > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), static_cast<std::size_t>(size));
  }
  va_end(args);
  return text;
}

}  // namespace

std::string MultipleAddressWarning(const std::string& displayName, const std::string& address) {
  return Format("traceroute warning: %s has multiple addresses; using %s.\r\n", displayName.c_str(),
                address.c_str());
}

std::string TraceHeaderLine(bool withName, const std::string& displayName,
                            const std::string& address, int maximumTtl, int probeSize) {
  if (withName) {
    return Format("traceroute to %s (%s): %d hops max, %d data bytes.\r\n", displayName.c_str(),
                  address.c_str(), maximumTtl, probeSize);
  }
  return Format("traceroute to %s: %d hops max, %d data bytes.\r\n", address.c_str(), maximumTtl,
                probeSize);
}

std::string HopNumberText(int ttl) { return Format("%03d  ", ttl); }

std::string RoundTripText(std::uint32_t milliseconds) {
  if (milliseconds == 0) return "  <10 ms";
  // Unsigned, so a clock that went backwards never prints a minus sign.
  return Format("  %.3u ms", milliseconds);
}

std::string ResponderText(const std::string& address, const std::optional<std::string>& name) {
  if (name) return Format(" %s (%s)", name->c_str(), address.c_str());
  return " " + address;
}

namespace {

// ICMPv6 numbers its unreachable codes anew; the marks say the same things.
std::string Unreachable6Mark(int code) {
  switch (code) {
    case 0:  // no route to destination
      return " !N";
    case 1:  // administratively prohibited
    case 5:  // source address failed ingress/egress policy
    case 6:  // reject route
      return " !X";
    case 2:  // beyond scope of source address
      return " !S";
    case 3:  // address unreachable
      return " !H";
    default:
      return " !<" + std::to_string(code) + ">";
  }
}

}  // namespace

std::string AnnotationText(TraceOutcome outcome, int code, bool lowTtl, bool ipv6) {
  switch (outcome) {
    case TraceOutcome::Hop:
      return {};
    case TraceOutcome::DestinationReached:
      return lowTtl ? " !" : "";
    case TraceOutcome::Unreachable:
      break;
  }
  if (ipv6) return Unreachable6Mark(code);
  switch (code) {
    case 0:
      return " !N";
    case 1:
      return " !H";
    case 2:
      return " !P";
    case 4:
      return " !F";
    case 5:
      return " !S";
    case 13:
      return " !X";
    default:
      return Format(" !<%d>", code);
  }
}

std::string VerboseReportText(const std::string& source, int type, int code) {
  return Format("From %s: ICMP Type = %d, Code = %d. ", source.c_str(), type, code);
}

bool HopLine::IsNewResponder(const std::string& responder) const {
  return !last_ || *last_ != responder;
}

std::string HopLine::SwitchTo(const std::string& responder, const std::string& responderText) {
  std::string text;
  if (last_) text = std::string(kTraceLineEnd) + HopNumberText(ttl_);
  last_ = responder;
  return text + responderText;
}

}  // namespace netrove
