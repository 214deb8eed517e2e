#include "query/query_request.h"

#include <charconv>

namespace netrove {

std::string FingerRequestLine(std::string_view query, bool verboseToken) {
  std::string line;
  line.reserve(query.size() + 5);
  if (verboseToken) line += query.empty() ? "/W" : "/W ";
  line += query;
  line += "\r\n";
  return line;
}

std::string WhoIsRequestLine(std::string_view commandLine) {
  std::string line;
  line.reserve(commandLine.size() + 2);
  line += commandLine;
  line += "\r\n";
  return line;
}

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
