#include "base/host_port.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace netrove {
namespace {

struct Split {
  std::string host;
  std::uint16_t port;
  bool operator==(const Split&) const = default;
};

// What the splitter makes of `text` with 21 as the default port; nothing
// when it refuses the text.
std::optional<Split> SplitWithDefault(const std::string& text) {
  Split split{"unchanged", 21};
  if (!SplitServerAndPort(text, split.host, split.port)) {
    EXPECT_EQ(split, (Split{"unchanged", 21})) << text << ": a refusal changes nothing";
    return std::nullopt;
  }
  return split;
}

TEST(HostPort, NamesAndAddressesOfEveryFamilyWithAndWithoutAPort) {
  const std::vector<std::pair<std::string, Split>> accepted = {
      {"ftp.example.test", {"ftp.example.test", 21}},
      {"ftp.example.test:2121", {"ftp.example.test", 2121}},
      {"127.0.0.1", {"127.0.0.1", 21}},
      {"127.0.0.1:65535", {"127.0.0.1", 65535}},
      {"::1", {"::1", 21}},
      {"2001:db8::7", {"2001:db8::7", 21}},
      // Two colons or more are an address: "::1:7979" is ::0.1.121.121.
      {"::1:7979", {"::1:7979", 21}},
      {"fe80::1%eth0", {"fe80::1%eth0", 21}},
      {"[::1]", {"::1", 21}},
      {"[::1]:7979", {"::1", 7979}},
      {"[fe80::1%eth0]:21", {"fe80::1%eth0", 21}},
      {"[127.0.0.1]:80", {"127.0.0.1", 80}},
  };
  for (const auto& [text, expected] : accepted) {
    EXPECT_EQ(SplitWithDefault(text), expected) << text;
  }
}

TEST(HostPort, RefusesWhatNamesNoServerOrNoPort) {
  for (const std::string text :
       {"", ":21", "host:", "host:0", "host:65536", "host:21x", "host:-1", "mail:smtp", "[::1",
        "[]", "[]:21", "[::1]21", "[::1]:", "[::1]:0", "[::1]:99999", "[::1]x:21"}) {
    EXPECT_EQ(SplitWithDefault(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace netrove
