#include "query/nicname_referral.h"

#include <algorithm>
#include <array>

namespace netrove {
namespace {

// Longer lines hold no referral a registry writes; they are skipped.
constexpr std::size_t kLongestLine = 512;
// A host name (253) with brackets and a port.
constexpr std::size_t kLongestServer = 263;

constexpr std::array<std::string_view, 3> kReferralNames = {
    "refer:", "whois:", "registrar whois server:"};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool StartsWithoutCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return Lower(a) == Lower(b); });
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool ServerCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == ':' || c == '[' || c == ']' || c == '_';
}

}  // namespace

std::optional<std::string> WhoIsReferralOf(std::string_view line) {
  line = Trimmed(line);
  for (const std::string_view name : kReferralNames) {
    if (!StartsWithoutCase(line, name)) continue;
    std::string_view value = Trimmed(line.substr(name.size()));
    if (StartsWithoutCase(value, "whois://")) value.remove_prefix(8);
    if (value.ends_with('/')) value.remove_suffix(1);
    if (value.empty() || value.size() > kLongestServer ||
        !std::all_of(value.begin(), value.end(), ServerCharacter)) {
      return std::nullopt;
    }
    return std::string(value);
  }
  return std::nullopt;
}

// Appended piece by piece: GCC 12 at -O3 warns wrongly about "[" + string.
std::string WhoIsServerHeading(std::string_view server) {
  std::string heading(1, '[');
  heading.append(server);
  heading += "]\r\n";
  return heading;
}

void CWhoIsReferralFinder::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const auto end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (line_.size() + piece.size() > kLongestLine) {
      lineTooLong_ = true;
    } else {
      line_ += piece;
    }
    if (end == std::string_view::npos) return;
    TakeLine();
    bytes.remove_prefix(end + 1);
  }
}

std::optional<std::string> CWhoIsReferralFinder::Referral() {
  TakeLine();
  return referral_;
}

void CWhoIsReferralFinder::TakeLine() {
  if (!referral_ && !lineTooLong_) referral_ = WhoIsReferralOf(line_);
  line_.clear();
  lineTooLong_ = false;
}

}  // namespace netrove
