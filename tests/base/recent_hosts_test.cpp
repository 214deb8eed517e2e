#include "base/recent_hosts.h"

#include <gtest/gtest.h>

#include "base/settings_store.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using Hosts = std::vector<std::string>;

// The list a host field offers: most recent first, each host once, bounded,
// and nothing that is no host.
TEST(RecentHosts, MostRecentFirstOnceEachAndBounded) {
  EXPECT_EQ(WithRecentHost({"a", "b", "c"}, "c"), (Hosts{"c", "a", "b"}));
  EXPECT_EQ(WithRecentHost({"a"}, "127.0.0.1:7979"), (Hosts{"127.0.0.1:7979", "a"}));
  for (const char* junk : {"", "two words", "tab\there", "line\n"}) {
    EXPECT_EQ(WithRecentHost({"a"}, junk), (Hosts{"a"})) << junk;
  }
  Hosts hosts;
  for (int i = 0; i < 25; ++i) hosts = WithRecentHost(hosts, "host" + std::to_string(i));
  ASSERT_EQ(hosts.size(), kRecentHostLimit);
  EXPECT_EQ(hosts.front(), "host24");
  EXPECT_EQ(hosts.back(), "host15");
}

TEST(RecentHosts, KeptPerToolInTheSettings) {
  test::ScopedHome home;
  EXPECT_TRUE(ReadRecentHosts("Ping").empty());
  ASSERT_TRUE(RememberRecentHost("Ping", "first.example"));
  ASSERT_TRUE(RememberRecentHost("Ping", "[::1]:7"));
  ASSERT_TRUE(RememberRecentHost("Daytime", "other.example"));
  EXPECT_EQ(ReadRecentHosts("Ping"), (Hosts{"[::1]:7", "first.example"}));
  EXPECT_EQ(ReadRecentHosts("Daytime"), (Hosts{"other.example"}));
  // A value written by hand is read like typed hosts: doubles and blanks go.
  ASSERT_TRUE(CreateToolKey("Finger")->WriteText("RecentHosts", "a  b a \x01 c"));
  EXPECT_EQ(ReadRecentHosts("Finger"), (Hosts{"a", "b", "c"}));
}

}  // namespace
}  // namespace netrove
