#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/scoped_home.h"

namespace netrove {
namespace {

using test::CliRun;
using test::ReadFile;

class CliSettings : public ::testing::Test {
 protected:
  CliRun Run(std::vector<std::string> args) { return test::RunCli(home_, std::move(args)); }

  test::ScopedHome home_;
};

TEST_F(CliSettings, SetThenGetAnyCaseAndTheFileIsRegedit4) {
  EXPECT_EQ(Run({"settings", "set", "Ping", "PacketSize", "dword:100"}).status, 0);
  const CliRun get = Run({"settings", "get", "ping", "packetsize"});
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "100\n");

  const std::string file = ReadFile(home_.path() / "settings.reg");
  EXPECT_TRUE(
      file.starts_with("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\Ping]\n"
                       "\"PacketSize\"=dword:00000064\n"))
      << file;
  EXPECT_EQ(Run({"settings", "export"}).out, file);
}

TEST_F(CliSettings, TextsNegativeNumbersAndMistakes) {
  EXPECT_EQ(Run({"settings", "set", "Finger", "ServerLocation", "text:host a:b"}).status, 0);
  EXPECT_EQ(Run({"settings", "get", "Finger", "ServerLocation"}).out, "host a:b\n");
  EXPECT_EQ(Run({"settings", "set", "Ping", "wpLeft", "dword:-1"}).status, 0);
  EXPECT_EQ(Run({"settings", "get", "Ping", "wpLeft"}).out, "4294967295\n");

  const CliRun missing = Run({"settings", "get", "Ping", "Nothing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_NE(missing.err.find("Nothing"), std::string::npos);
  EXPECT_EQ(Run({"settings", "set", "Ping", "X", "dword:4294967296"}).status, 2);
  EXPECT_EQ(Run({"settings", "set", "Ping", "X", "word:1"}).status, 2);
  EXPECT_EQ(Run({"settings", "get", "Ping"}).status, 2);
  const CliRun badTool = Run({"settings", "set", "A\\B", "X", "dword:1"});
  EXPECT_EQ(badTool.status, 2);
  EXPECT_NE(badTool.err.find("'A\\B' is not a valid tool name"), std::string::npos) << badTool.err;
  EXPECT_EQ(badTool.err.find("could not be written"), std::string::npos);

  EXPECT_EQ(Run({"settings", "delete-all"}).status, 0);
  EXPECT_EQ(Run({"settings", "get", "Finger", "ServerLocation"}).status, 1);
  EXPECT_EQ(Run({"settings", "export"}).out, "REGEDIT4\n");
}

}  // namespace
}  // namespace netrove
