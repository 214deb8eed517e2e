#include "cli/cli_reporter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/net_socket.h"

namespace netrove::cli {
namespace {

TEST(CliReporter, PrintsTheCaptionAndTheTextAsTheBoxWouldShowThem) {
  std::ostringstream err;
  CliReporter reporter(err);
  ReportSocketError(reporter, WSAECONNREFUSED);
  reporter.PostToolMessage(kSourceFtp, "Can't get local IP address.");
  reporter.PostSystemError(2);
  EXPECT_EQ(err.str(),
            "Netrove:WinSock: WSAECONNREFUSED\nThe attempt to connect was rejected.\n"
            "Netrove:FTP: Can't get local IP address.\n"
            "Netrove:System Message: No such file or directory\n");
}

TEST(CliReporter, AttentionRingsTheBellAndUnknownSourcesPrintNothing) {
  std::ostringstream err;
  CliReporter reporter(err);
  reporter.PostToolMessage(1140, "ignored");
  reporter.PostToolMessage(kSourceAttention, "ignored");
  reporter.PostAttention();
  EXPECT_EQ(err.str(), "\a");
}

}  // namespace
}  // namespace netrove::cli
