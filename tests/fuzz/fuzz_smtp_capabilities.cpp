// Feeds arbitrary bytes, framed into reply lines, to the EHLO capability
// reader. A capability it reports must be one of the keywords it lists.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "query/smtp_capabilities.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\n')
      lines.emplace_back();
    else
      lines.back() += c;
  }
  const netrove::SmtpCapabilities capabilities = netrove::ParseEhloReply(lines);
  const auto& keywords = capabilities.keywords;
  auto listed = [&](const char* keyword) {
    return std::find(keywords.begin(), keywords.end(), keyword) != keywords.end();
  };
  if (capabilities.startTls && !listed("STARTTLS")) std::abort();
  if ((capabilities.authPlain || capabilities.authLogin) && !listed("AUTH")) std::abort();
  if (keywords.size() >= lines.size() && !lines.empty()) std::abort();
  return 0;
}
