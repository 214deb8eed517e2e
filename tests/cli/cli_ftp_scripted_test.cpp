// netrove-cli ftp against scripted servers, as the built program: the proxy
// dialogues by name with passive data connections, and failures that must
// exit non-zero.
#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "support/scripted_server.h"

namespace netrove::test {
namespace {

using namespace std::chrono_literals;

std::string PassiveReplyNaming(const CScriptedServer& data) {
  const int port = data.port();
  return "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
         std::to_string(port % 256) + ")\r\n";
}

std::string Address(const CScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

// PASV, TYPE A and a LIST whose data the data server sends.
Script& PassiveListing(Script& script, const CScriptedServer& data, const std::string& list) {
  return script.ExpectLine("PASV")
      .Send(PassiveReplyNaming(data))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine(list)
      .Send("150 here\r\n")
      .Wait(50ms)
      .Send("226 done\r\n");
}

class CliFtpScripted : public ::testing::Test {
 protected:
  ScopedHome home_;
  CScriptedServer control_;
  CScriptedServer data_;
};

// Through a proxy that takes USER user@host, the data connections after the
// login are still passive.
TEST_F(CliFtpScripted, AProxyDialogueByNameKeepsPassiveAfterTheLogin) {
  Script script;
  script.Accept()
      .Send("220 firewall\r\n")
      .ExpectLine("USER anonymous@ftp.example")
      .Send("331 password\r\n")
      .ExpectLine("PASS plume")
      .Send("230 in\r\n")
      .ExpectLine("PWD")
      .Send("257 \"/\"\r\n");
  PassiveListing(script, data_, "LIST");
  PassiveListing(script, data_, "LIST");
  script.ExpectLine("QUIT").Send("221 bye\r\n").Close();
  control_.Start(std::move(script));
  const std::string listing = "-rw-r--r-- 1 a b 5 Jan 1 12:00 file.txt\r\n";
  data_.Start(Script().Accept().Send(listing).Close().Accept().Send(listing).Close());
  const CliRun run = RunCli(home_, {"ftp", "--proxy", Address(control_), "--proxy-mode",
                                    "user-at-host", "--passive", "ftp.example", "ls"});
  EXPECT_TRUE(control_.Finished());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("      file.txt"), std::string::npos) << run.out;
}

TEST_F(CliFtpScripted, AnUnknownProxyModeIsAUsageError) {
  const CliRun run =
      RunCli(home_, {"ftp", "--proxy", "127.0.0.1:1", "--proxy-mode", "tunnel", "127.0.0.1", "ls"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("user-at-host"), std::string::npos) << run.err;
}

// A listing the server refuses, at LIST or at PASV, fails the command: the
// login's listing is never printed in its place.
TEST_F(CliFtpScripted, ARefusedListingExitsNonZero) {
  for (const char* refusal : {"LIST", "PASV"}) {
    CScriptedServer control;
    CScriptedServer data;
    Script script;
    script.Accept()
        .Send("220 ready\r\n")
        .ExpectLine("USER anonymous")
        .Send("331 password\r\n")
        .ExpectLine("PASS plume")
        .Send("230 in\r\n")
        .ExpectLine("PWD")
        .Send("257 \"/\"\r\n");
    PassiveListing(script, data, "LIST");
    if (std::string(refusal) == "LIST") {
      script.ExpectLine("PASV").Send(PassiveReplyNaming(data)).ExpectLine("TYPE A");
      script.Send("200 ok\r\n").ExpectLine("LIST /no/such/dir").Send("550 no such folder\r\n");
    } else {
      script.ExpectLine("PASV").Send("502 not today\r\n");
    }
    script.ExpectLine("QUIT").Send("221 bye\r\n").Close();
    control.Start(std::move(script));
    data.Start(Script().Accept().Send("-rw-r--r-- 1 a b 5 Jan 1 12:00 root.txt\r\n").Close());
    const CliRun run = RunCli(home_, {"ftp", "--passive", Address(control), "ls", "/no/such/dir"});
    EXPECT_TRUE(control.Finished()) << refusal;
    EXPECT_EQ(run.status, 1) << refusal << "\n" << run.out << run.err;
    EXPECT_EQ(run.out.find("      root.txt"), std::string::npos) << refusal << "\n" << run.out;
  }
}

}  // namespace
}  // namespace netrove::test
