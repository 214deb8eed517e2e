#include "base/host_port.h"

#include <charconv>

namespace netrove {

bool SplitServerAndPort(std::string_view text, std::string& host, std::uint16_t& port) {
  const std::size_t colon = text.rfind(':');
  host = std::string(text.substr(0, colon));
  if (host.empty()) return false;
  if (colon == std::string_view::npos) return true;
  const std::string_view digits = text.substr(colon + 1);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      value == 0 || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace netrove
