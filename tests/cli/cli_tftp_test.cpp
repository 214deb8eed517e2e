// netrove-cli tftpd serving a folder and netrove-cli tftp getting from it, as
// a script runs them on loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <random>

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
  // The same server over IPv6: one socket takes both families.
  const test::CliRun overIPv6 =
      test::RunInProcess({"tftp", "--binary", "get", "[::1]:" + port, "/file.bin", local + ".six"});
  EXPECT_EQ(overIPv6.status, 0) << overIPv6.err;
  EXPECT_EQ(test::ReadWholeFile(local + ".six"), std::string(1500, 'b'));

  const test::CliRun refused =
      test::RunInProcess({"tftp", "get", "127.0.0.1:" + port, "../../etc/passwd", local + ".2"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(refused.out.ends_with("Aborted\r\n"));
  EXPECT_NE(refused.err.find("Access violation."), std::string::npos) << refused.err;
  // A pipe in the folder is refused at once and holds no transfer, so the
  // server still stops when told.
  ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0644), 0);
  const test::CliRun pipe =
      test::RunInProcess({"tftp", "get", "127.0.0.1:" + port, "pipe", local + ".3"});
  EXPECT_EQ(pipe.status, 1);
  EXPECT_NE(pipe.err.find("Access violation."), std::string::npos) << pipe.err;
  EXPECT_EQ(test::RunInProcess({"tftp", "fetch", "127.0.0.1", "/a", "b"}).status, 2);
  EXPECT_EQ(test::RunInProcess({"tftp", "--timeout", "0", "get", "127.0.0.1", "/a", "b"}).status,
            2);
  EXPECT_EQ(test::RunInProcess({"tftpd", "--port", "0"}).status, 2);

  server.Signal(SIGTERM);
  const test::CliRun served = server.Finish();
  EXPECT_EQ(served.status, 0) << served.err;
  EXPECT_NE(served.out.find("get \"/file.bin\" (octet): 1500 bytes sent.\r\n"), std::string::npos)
      << served.out;
  EXPECT_NE(served.out.find("[::1]:"), std::string::npos) << served.out;
  EXPECT_NE(served.out.find("get \"../../etc/passwd\" (netascii) refused: Access violation.\r\n"),
            std::string::npos)
      << served.out;
}

TEST(CliTftp, ASilentServerIsGivenUpAfterTheTimeOut) {
  test::ScopedHome home;
  const int silent = test::BoundSocket(SOCK_DGRAM, 0);
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size);
  const test::CliRun run = test::RunInProcess(
      {"tftp", "--timeout", "2", "get", "127.0.0.1:" + std::to_string(ntohs(address.sin_port)),
       "/f", (home.path() / "f").string()});
  ::close(silent);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("No response from the other side; transfer timed out."), std::string::npos)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(home.path() / "f"));
}

// tftpd-hpa on [::1] only; the client reaches it by its bracketed address.
TEST(CliTftp, GetsFromTftpdHpaOverIPv6) {
  NETROVE_REQUIRE_PROGRAM(test::kTftpdProgram);
  test::ScopedHome home;
  const auto root = home.path() / "root";
  std::filesystem::create_directories(root);
  test::WriteWholeFile(root / "six.txt", "line\nline\n");
  test::TftpdHpa server(root, false, true);
  ASSERT_TRUE(server.started());
  const auto local = (home.path() / "six.txt").string();
  const std::string address = "[::1]:" + std::to_string(server.port());
  const test::CliRun got = test::RunInProcess({"tftp", "get", address, "six.txt", local});
  EXPECT_EQ(got.status, 0) << got.err;
  EXPECT_EQ(test::ReadWholeFile(local), "line\nline\n");
  const test::CliRun ipv4Only =
      test::RunInProcess({"tftp", "-4", "get", address, "six.txt", local + ".4"});
  EXPECT_EQ(ipv4Only.status, 1);
  EXPECT_NE(ipv4Only.err.find("WSANO_DATA"), std::string::npos) << ipv4Only.err;
}

// Blocks of 1468 bytes and a window of 8 asked for on the command line;
// tftpd-hpa knows blksize but not windowsize, which it leaves out of its
// answer. The file's last, short block ends the transfer.
TEST(CliTftp, GetsAFewMebibytesFromTftpdHpaWithTheOptionsAskedFor) {
  NETROVE_REQUIRE_PROGRAM(test::kTftpdProgram);
  test::ScopedHome home;
  const auto root = home.path() / "root";
  std::filesystem::create_directories(root);
  std::string content(3 * 1024 * 1024 + 1000, '\0');
  std::mt19937 random(7);
  for (char& byte : content) byte = static_cast<char>(random());
  ASSERT_NE(content.size() % 1468, 0u);
  test::WriteWholeFile(root / "big.bin", content);
  test::TftpdHpa server(root, false);
  ASSERT_TRUE(server.started());
  const auto local = (home.path() / "big.bin").string();
  const test::CliRun got =
      test::RunInProcess({"tftp", "--binary", "--blksize", "1468", "--windowsize", "8", "get",
                          "127.0.0.1:" + std::to_string(server.port()), "big.bin", local});
  EXPECT_EQ(got.status, 0) << got.err;
  EXPECT_TRUE(got.out.starts_with("Bytes transferred: " + std::to_string(content.size()) + " "))
      << got.out;
  EXPECT_TRUE(got.out.ends_with("Completed\r\n")) << got.out;
  EXPECT_EQ(got.err, "");
  EXPECT_TRUE(test::ReadWholeFile(local) == content);

  // A block size the protocol cannot carry is a usage error that names the
  // option, and no local file is made.
  for (const std::string size : {"7", "70000"}) {
    SCOPED_TRACE(size);
    const test::CliRun refused = test::RunInProcess({"tftp", "--blksize", size, "get",
                                                     "127.0.0.1:" + std::to_string(server.port()),
                                                     "big.bin", local + ".refused"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--blksize"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(local + ".refused"));
  }
}

}  // namespace
}  // namespace netrove
