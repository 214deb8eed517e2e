// netrove-cli ping as a user runs it on loopback: Ctrl+C still prints the
// statistics.
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

}  // namespace
}  // namespace netrove
