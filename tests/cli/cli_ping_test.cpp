// netrove-cli ping and traceroute as a user runs them on loopback: Ctrl+C
// still prints the statistics; IPv6 works as IPv4 does.
#include <gtest/gtest.h>
#include <signal.h>

#include "cli_runner.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

TEST(CliPing, CtrlCEndsAContinuousRunWithTheStatistics) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::ScopedHome home;
  test::CliProcess ping(home, {"ping", "--continuous", "-W", "1", "127.0.0.1"});
  ASSERT_TRUE(test::WaitUntil(
      [&] { return ping.OutputSoFar().find("Reply from 127.0.0.1") != std::string::npos; }));
  ping.Signal(SIGINT);
  const test::CliRun run = ping.Finish();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\r\n--- Pinging Statistics ---\r\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(" packets transmitted; "), std::string::npos);
  EXPECT_TRUE(run.out.ends_with("\r\n\r\n"));
}

TEST(CliPing, PingAndTracerouteReachTheIPv6Loopback) {
  NETROVE_REQUIRE_PRIVILEGE();
  test::ScopedHome home;
  const test::CliRun ping = test::CliProcess(home, {"ping", "-c", "3", "::1"}).Finish();
  EXPECT_EQ(ping.status, 0) << ping.err;
  EXPECT_TRUE(ping.out.starts_with("Pinging ::1 with 64 bytes of data:\r\n\r\n")) << ping.out;
  EXPECT_NE(ping.out.find("Reply from ::1: bytes=64 seq=3 time="), std::string::npos) << ping.out;
  EXPECT_NE(ping.out.find("3 packets transmitted; 3 packets received; 0% packets loss"),
            std::string::npos)
      << ping.out;
  const test::CliRun trace = test::CliProcess(home, {"traceroute", "::1"}).Finish();
  EXPECT_EQ(trace.status, 0) << trace.err;
  EXPECT_TRUE(
      trace.out.starts_with("traceroute to ::1: 30 hops max, 10 data bytes.\r\n001   ::1  "))
      << trace.out;
}

TEST(CliPing, AHostWithoutAnAddressToUseIsReportedNotSilent) {
  test::ScopedHome home;
  const test::CliRun unknown = test::RunInProcess({"ping", "-c", "1", "no-such-host.invalid"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("WSAHOST_NOT_FOUND"), std::string::npos) << unknown.err;
  // -4 and -6 hold a run to one family; an address of the other has none.
  for (const auto& args : {std::vector<std::string>{"ping", "-4", "-c", "1", "::1"},
                           std::vector<std::string>{"traceroute", "-6", "127.0.0.1"}}) {
    const test::CliRun run = test::RunInProcess(args);
    EXPECT_EQ(run.status, 1) << args[0];
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("WSANO_DATA"), std::string::npos) << run.err;
  }
  EXPECT_EQ(test::RunInProcess({"ping", "-4", "-6", "::1"}).status, 2);
}

}  // namespace
}  // namespace netrove
