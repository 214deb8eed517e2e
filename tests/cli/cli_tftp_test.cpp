// netrove-cli tftpd serving a folder and netrove-cli tftp getting from it, as
// a script runs them on loopback.
#include <gtest/gtest.h>
#include <signal.h>

#include "cli_runner.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "transfer/tftp_peers.h"

namespace netrove {
namespace {

TEST(CliTftp, TheServerServesItsFolderToTheClientAndLogsWhatItRefused) {
  test::ScopedHome home;
  const auto root = home.path() / "root";
  std::filesystem::create_directories(root);
  test::WriteWholeFile(root / "file.bin", std::string(1500, 'b'));
  const std::string port = std::to_string(test::FreeUdpPort());
  test::CliProcess server(home, {"tftpd", "--port", port, "--root", root.string()});
  ASSERT_TRUE(
      test::WaitUntil([&] { return server.OutputSoFar().find("Serving ") != std::string::npos; }));

  const auto local = (home.path() / "got.bin").string();
  const test::CliRun got =
      test::RunInProcess({"tftp", "--binary", "get", "127.0.0.1:" + port, "/file.bin", local});
  EXPECT_EQ(got.status, 0) << got.err;
  EXPECT_TRUE(got.out.starts_with("Bytes transferred: 1500   in   ")) << got.out;
  EXPECT_TRUE(got.out.ends_with(" seconds.\r\nCompleted\r\n")) << got.out;
  EXPECT_EQ(test::ReadWholeFile(local), std::string(1500, 'b'));

  const test::CliRun refused =
      test::RunInProcess({"tftp", "get", "127.0.0.1:" + port, "../../etc/passwd", local + ".2"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(refused.out.ends_with("Aborted\r\n"));
  EXPECT_NE(refused.err.find("A fully qualified path is required."), std::string::npos)
      << refused.err;
  EXPECT_EQ(test::RunInProcess({"tftp", "fetch", "127.0.0.1", "/a", "b"}).status, 2);
  EXPECT_EQ(test::RunInProcess({"tftpd", "--port", "0"}).status, 2);

  server.Signal(SIGTERM);
  const test::CliRun served = server.Finish();
  EXPECT_EQ(served.status, 0) << served.err;
  EXPECT_NE(served.out.find("get \"/file.bin\" (octet): 1500 bytes sent.\r\n"), std::string::npos)
      << served.out;
  EXPECT_NE(served.out.find("refused: A fully qualified path is required.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace netrove
