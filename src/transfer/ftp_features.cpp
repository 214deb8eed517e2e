#include "transfer/ftp_features.h"

#include <algorithm>
#include <cctype>

namespace netrove {
namespace {

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool IsReplyCodeLine(std::string_view line) {
  return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) &&
         (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

}  // namespace

// The first and last lines carry the code; every line between names one
// feature. Servers differ in the blank in front, so any run of blanks is
// taken.
CFtpFeatures CFtpFeatures::FromReply(std::string_view reply) {
  CFtpFeatures features;
  while (!reply.empty()) {
    const std::size_t end = reply.find('\n');
    const std::string_view line = reply.substr(0, end);
    reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 1);
    if (IsReplyCodeLine(line)) continue;
    const std::string_view feature = TrimBlanks(line);
    if (feature.empty()) continue;
    const std::size_t blank = feature.find(' ');
    const std::string_view keyword = feature.substr(0, blank);
    const std::string_view parameters =
        blank == std::string_view::npos ? std::string_view() : TrimBlanks(feature.substr(blank));
    features.features_.emplace_back(UpperCase(keyword), std::string(parameters));
  }
  return features;
}

bool CFtpFeatures::Has(std::string_view keyword) const {
  const std::string wanted = UpperCase(keyword);
  return std::any_of(features_.begin(), features_.end(),
                     [&](const auto& feature) { return feature.first == wanted; });
}

std::string_view CFtpFeatures::Parameters(std::string_view keyword) const {
  const std::string wanted = UpperCase(keyword);
  for (const auto& [name, parameters] : features_) {
    if (name == wanted) return parameters;
  }
  return {};
}

}  // namespace netrove
