// ~/.netrc as ftp and curl read it, and the refusal of a file others can read.
#include "base/netrc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "support/scoped_home.h"

namespace netrove {
namespace {

TEST(Netrc, EntriesAreFoundByMachineAndLogin) {
  const std::string text =
      "machine ftp.test login anna password first\n"
      "macdef init\ncd /pub\nbinary\n\n"
      "machine  ftp.test\n  login bert\n  password \"with blank \\\" quote\"\n"
      "machine news.test login carl account x password third\n"
      "default login anonymous password guest@\n";
  const auto anna = FindNetrcLogin(text, "ftp.test", "");
  ASSERT_TRUE(anna);
  EXPECT_EQ(anna->login, "anna");
  EXPECT_EQ(anna->password, "first");
  const auto bert = FindNetrcLogin(text, "ftp.test", "bert");
  ASSERT_TRUE(bert);
  EXPECT_EQ(bert->password, "with blank \" quote");
  EXPECT_EQ(FindNetrcLogin(text, "news.test", "carl")->password, "third");
  // A machine named inside a macro is no entry; an unknown one takes the default.
  EXPECT_EQ(FindNetrcLogin(text, "cd", "")->login, "anonymous");
  EXPECT_EQ(FindNetrcLogin(text, "other.test", "")->password, "guest@");
  EXPECT_FALSE(FindNetrcLogin("machine a login b password", "a", "x"));
  EXPECT_FALSE(FindNetrcLogin("", "a", ""));
  EXPECT_FALSE(FindNetrcLogin("machine", "a", ""));
  EXPECT_FALSE(FindNetrcLogin("\"unterminated", "a", ""));
}

TEST(Netrc, AFileOthersCanReadIsRefused) {
  test::ScopedHome home;
  const auto file = home.path() / "netrc";
  std::ofstream(file) << "machine mail.test login dora password secret\n";
  ::chmod(file.c_str(), 0644);
  NetrcLookup lookup = LookUpNetrc(file, "mail.test", "dora");
  EXPECT_FALSE(lookup.found);
  EXPECT_NE(lookup.refusal.find("chmod 600"), std::string::npos);
  ::chmod(file.c_str(), 0600);
  lookup = LookUpNetrc(file, "mail.test", "dora");
  ASSERT_TRUE(lookup.found);
  EXPECT_EQ(lookup.found->password, "secret");
  EXPECT_TRUE(lookup.refusal.empty());
  lookup = LookUpNetrc(home.path() / "missing", "mail.test", "dora");
  EXPECT_FALSE(lookup.found);
  EXPECT_TRUE(lookup.refusal.empty());
}

}  // namespace
}  // namespace netrove
