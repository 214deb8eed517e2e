#include "base/host_port.h"

#include <charconv>

namespace netrove {
namespace {

// A port from 1 to 65535, all digits.
bool ParsePort(std::string_view digits, std::uint16_t& port) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      value == 0 || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

// "[addr]" or "[addr]:port": brackets are how a port is written after an
// IPv6 address, whose own colons would otherwise swallow it.
bool SplitBracketed(std::string_view text, std::string& host, std::uint16_t& port) {
  const std::size_t close = text.find(']');
  if (close == std::string_view::npos || close == 1) return false;
  const std::string_view rest = text.substr(close + 1);
  if (!rest.empty() && (rest.front() != ':' || !ParsePort(rest.substr(1), port))) return false;
  host = std::string(text.substr(1, close - 1));
  return true;
}

}  // namespace

bool SplitServerAndPort(std::string_view text, std::string& host, std::uint16_t& port) {
  if (text.starts_with('[')) return SplitBracketed(text, host, port);
  const std::size_t colon = text.find(':');
  // Two colons or more: an IPv6 address (perhaps scoped), which carries no port.
  if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) {
    host = std::string(text);
    return true;
  }
  if (colon == 0 || text.empty()) return false;
  if (colon != std::string_view::npos && !ParsePort(text.substr(colon + 1), port)) return false;
  host = std::string(text.substr(0, colon));
  return true;
}

}  // namespace netrove
