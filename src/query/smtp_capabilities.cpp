#include "query/smtp_capabilities.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace netrove {
namespace {

std::string Upper(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper;
}

void AddMechanisms(std::istringstream& words, SmtpCapabilities& capabilities) {
  std::string mechanism;
  while (words >> mechanism) {
    mechanism = Upper(mechanism);
    if (mechanism == "PLAIN") capabilities.authPlain = true;
    if (mechanism == "LOGIN") capabilities.authLogin = true;
  }
}

}  // namespace

SmtpCapabilities ParseEhloReply(const std::vector<std::string>& lines) {
  SmtpCapabilities capabilities;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    // "250-KEYWORD params" or "250 KEYWORD params": the text after the code.
    const std::string_view line = lines[i];
    if (line.size() <= 4) continue;
    std::istringstream words(std::string(line.substr(4)));
    std::string keyword;
    if (!(words >> keyword)) continue;
    keyword = Upper(keyword);
    if (keyword.rfind("AUTH=", 0) == 0) {
      std::istringstream first(keyword.substr(5));
      AddMechanisms(first, capabilities);
      AddMechanisms(words, capabilities);
      keyword = "AUTH";
    } else if (keyword == "AUTH") {
      AddMechanisms(words, capabilities);
    } else if (keyword == "STARTTLS") {
      capabilities.startTls = true;
    }
    capabilities.keywords.push_back(keyword);
  }
  return capabilities;
}

}  // namespace netrove
