#include "app/shell_settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/help_topics.h"
#include "app/tftp_server_hook.h"
#include "base/command_ids.h"
#include "base/settings_store.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

std::uint32_t ReadValue(std::string_view key, std::string_view value, std::uint32_t fallback) {
  if (const auto open = OpenToolKey(key, false)) open->ReadDword(value, fallback);
  return fallback;
}

TEST(ShellSwitches, OffUntilWrittenThenReadBack) {
  test::ScopedHome home;
  ShellSwitches switches = ReadShellSwitches();
  EXPECT_FALSE(switches.alwaysOnTop);
  EXPECT_FALSE(switches.clock);
  EXPECT_FALSE(switches.sizeAndPosition);

  ASSERT_TRUE(WriteShellSwitch(kValueClock, true));
  ASSERT_TRUE(WriteShellSwitch(kValueAlwaysOnTop, true));
  ASSERT_TRUE(WriteShellSwitch(kValueAlwaysOnTop, false));
  switches = ReadShellSwitches();
  EXPECT_TRUE(switches.clock);
  EXPECT_FALSE(switches.alwaysOnTop);
  EXPECT_EQ(ReadValue("netrove", "clock", 7), 1u);
  EXPECT_EQ(ReadValue("Netrove", "AlwaysOnTop", 7), 0u);
}

TEST(ShellSwitches, UnwritableStoreFailsWithAReason) {
  test::ScopedHome home;
  const auto blocker = home.path() / "file";
  std::ofstream(blocker) << "not a folder";
  setenv("NETROVE_HOME", (blocker / "settings").c_str(), 1);
  errno = 0;
  EXPECT_FALSE(WriteShellSwitch(kValueClock, true));
  EXPECT_NE(errno, 0);
}

TEST(ShellSwitches, FirstStartGeometry) {
  const WindowGeometry geometry = DefaultMainWindowGeometry(1920, 1080);
  EXPECT_EQ(geometry.x, 96);
  EXPECT_EQ(geometry.y, 108);
  EXPECT_EQ(geometry.width, 1728);
  EXPECT_EQ(geometry.height, 864);
  const WindowGeometry odd = DefaultMainWindowGeometry(1023, 767);
  EXPECT_EQ(odd.x, 51);
  EXPECT_EQ(odd.y, 76);
  EXPECT_EQ(odd.width, 920);
  EXPECT_EQ(odd.height, 613);
}

class FakeTftpServer : public ITftpServer {
 public:
  explicit FakeTftpServer(bool canOpen) : canOpen_(canOpen) {}
  bool Start() override {
    ++starts;
    running_ = canOpen_;
    return canOpen_;
  }
  void Stop() override { running_ = false; }
  bool IsRunning() const override { return running_; }
  int starts = 0;

 private:
  bool canOpen_;
  bool running_ = false;
};

TEST(TftpServerHook, StartsOnlyWhenEnabled) {
  test::ScopedHome home;
  FakeTftpServer server(true);
  EXPECT_FALSE(StartTftpServerWhenEnabled(server));
  EXPECT_EQ(server.starts, 0);

  CreateToolKey("TFTP")->WriteDword("IsServerEnable", 0);
  EXPECT_FALSE(StartTftpServerWhenEnabled(server));
  EXPECT_EQ(server.starts, 0);

  CreateToolKey("TFTP")->WriteDword("IsServerEnable", 1);
  EXPECT_TRUE(StartTftpServerWhenEnabled(server));
  EXPECT_EQ(server.starts, 1);
  EXPECT_EQ(ReadValue("TFTP", "IsServerEnable", 7), 1u);
}

TEST(TftpServerHook, ServerThatCannotOpenItsSocketIsSwitchedOff) {
  test::ScopedHome home;
  CreateToolKey("TFTP")->WriteDword("IsServerEnable", 1);
  FakeTftpServer server(false);
  EXPECT_FALSE(StartTftpServerWhenEnabled(server));
  EXPECT_EQ(server.starts, 1);
  EXPECT_EQ(ReadValue("TFTP", "IsServerEnable", 7), 0u);
  EXPECT_FALSE(StartTftpServerWhenEnabled(server));
  EXPECT_EQ(server.starts, 1);
}

TEST(HelpTopics, ContextIdsNamePages) {
  EXPECT_EQ(HelpPageForContext(0x20080), "main-window");
  EXPECT_EQ(HelpPageForContext(0x1800D), "customize");
  EXPECT_EQ(HelpPageForContext(0x10000 + kCmdPing), "ping");
  EXPECT_EQ(HelpPageForContext(0x12345), "");
  for (const HelpTopic& topic : HelpTopics()) {
    EXPECT_FALSE(topic.page.empty());
    EXPECT_EQ(HelpPageForContext(topic.contextId), topic.page) << topic.title;
  }
}

TEST(HelpTopics, IndexFiltersByPartialKey) {
  const std::string all = HelpIndexHtml("");
  EXPECT_NE(all.find("ping.html"), std::string::npos);
  EXPECT_NE(all.find("customize.html"), std::string::npos);
  const std::string some = HelpIndexHtml("PROTO");
  EXPECT_NE(some.find("ftp.html"), std::string::npos);
  EXPECT_NE(some.find("tftp.html"), std::string::npos);
  EXPECT_EQ(some.find("ping.html"), std::string::npos);
  const std::string none = HelpIndexHtml("<script>");
  EXPECT_EQ(none.find("<script>"), std::string::npos);
  EXPECT_NE(none.find("&lt;script&gt;"), std::string::npos);
}

// A word in a page's text finds its topic as a word in its title does; a
// page that is missing is never listed.
TEST(HelpTopics, IndexSearchesThePagesText) {
  const auto pages = [](std::string_view page) -> std::optional<std::string> {
    if (page == "ping") return std::string("File > Print prints the transcript.");
    if (page == "traceroute") return std::nullopt;
    return std::string("Nothing to see.");
  };
  const std::string print = HelpIndexHtml("PRINT", pages);
  EXPECT_NE(print.find("ping.html"), std::string::npos);
  EXPECT_EQ(print.find("finger.html"), std::string::npos);
  const std::string route = HelpIndexHtml("route", pages);
  EXPECT_EQ(route.find("traceroute.html"), std::string::npos);
}

}  // namespace
}  // namespace netrove
