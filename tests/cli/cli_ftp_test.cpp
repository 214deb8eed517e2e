// netrove-cli ftp against a private pyftpdlib server: a file goes up and
// comes back byte for byte in both data connection modes, ls prints the
// parsed entries, and a failed command exits non-zero with the server's
// reply in the transcript.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/cli_runner.h"
#include "transfer/pyftpd_server.h"
#include "transfer/vsftpd_server.h"

namespace netrove::test {
namespace {

namespace fs = std::filesystem;

class CliFtp : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "pub");
    std::ofstream(root_ / "pub" / "a b.txt") << "text\r\n";
    server_ = std::make_unique<PyFtpServer>(root_);
    if (server_->port() == 0) {
      if (PrivilegeRequired()) FAIL() << "pyftpdlib (python3-pyftpdlib) is missing";
      GTEST_SKIP() << "pyftpdlib (python3-pyftpdlib) is missing";
    }
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(server_->port()); }

  ScopedHome home_;
  fs::path root_ = home_.path() / "server";
  std::unique_ptr<PyFtpServer> server_;
};

TEST_F(CliFtp, PutAndGetRoundTripInBothModes) {
  std::string bytes(1024 * 1024 + 3, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
  const fs::path local = home_.path() / "up.bin";
  std::ofstream(local, std::ios::binary) << bytes;
  for (const char* mode : {"--passive", "--verbose"}) {
    const CliRun put = RunCli(home_, {"ftp", mode, Address(), "put", local.string(), "up.bin"});
    ASSERT_EQ(put.status, 0) << put.out << put.err;
    EXPECT_EQ(ReadFile(root_ / "up.bin"), bytes);
    const fs::path back = home_.path() / (std::string("back") + mode);
    const CliRun get = RunCli(home_, {"ftp", mode, Address(), "get", "up.bin", back.string()});
    ASSERT_EQ(get.status, 0) << get.out << get.err;
    EXPECT_EQ(ReadFile(back), bytes);
    EXPECT_NE(get.out.find("226 "), std::string::npos);
  }
}

// --continue sends or fetches only what the other side is missing; without
// it (or --force) an existing local file is left alone.
TEST_F(CliFtp, ContinueResumesAPartialFileEachWay) {
  std::string bytes(300000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 253);
  const std::string part = bytes.substr(0, 111000);
  std::ofstream(root_ / "pub" / "big.bin", std::ios::binary) << bytes;
  const fs::path local = home_.path() / "big.bin";
  std::ofstream(local, std::ios::binary) << part;
  const CliRun refused = RunCli(home_, {"ftp", Address(), "get", "pub/big.bin", local.string()});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("--continue resumes it"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadFile(local), part);

  const CliRun get =
      RunCli(home_, {"ftp", "-v", "-c", Address(), "get", "pub/big.bin", local.string()});
  ASSERT_EQ(get.status, 0) << get.out << get.err;
  EXPECT_NE(get.out.find("REST 111000\r\n"), std::string::npos) << get.out;
  EXPECT_EQ(ReadFile(local), bytes);

  std::ofstream(root_ / "pub" / "up.bin", std::ios::binary) << part;
  const CliRun put =
      RunCli(home_, {"ftp", "-v", "--continue", Address(), "put", local.string(), "pub/up.bin"});
  ASSERT_EQ(put.status, 0) << put.out << put.err;
  EXPECT_NE(put.out.find("REST 111000\r\n"), std::string::npos) << put.out;
  EXPECT_EQ(ReadFile(root_ / "pub" / "up.bin"), bytes);
}

// put -r and get -r move a folder with its subfolders as one job and end
// with one summary; a file that cannot be written fails the run (exit 1)
// after the others have gone.
TEST_F(CliFtp, RecursivePutAndGetMoveAWholeFolder) {
  const fs::path source = home_.path() / "album";
  fs::create_directories(source / "2026" / "june");
  std::ofstream(source / "cover.txt") << "cover";
  std::ofstream(source / "2026" / "a.txt") << "a";
  std::ofstream(source / "2026" / "june" / "b c.txt") << "b c";
  const CliRun put =
      RunCli(home_, {"ftp", "--passive", Address(), "put", "-r", source.string(), "pub/album"});
  ASSERT_EQ(put.status, 0) << put.out << put.err;
  EXPECT_NE(put.err.find("Folder upload finished: 3 files"), std::string::npos) << put.err;
  EXPECT_EQ(ReadFile(root_ / "pub" / "album" / "2026" / "june" / "b c.txt"), "b c");

  const fs::path back = home_.path() / "back";
  // A folder where a file goes: replacing it (--force) fails.
  fs::create_directories(back / "2026" / "a.txt");
  const CliRun get =
      RunCli(home_, {"ftp", Address(), "--force", "get", "-r", "pub/album", back.string()});
  EXPECT_EQ(get.status, 1) << get.out << get.err;
  EXPECT_NE(get.err.find("not transferred: pub/album/2026/a.txt"), std::string::npos) << get.err;
  EXPECT_NE(get.err.find("Folder download finished: 2 files"), std::string::npos) << get.err;
  EXPECT_EQ(ReadFile(back / "cover.txt"), "cover");
  EXPECT_EQ(ReadFile(back / "2026" / "june" / "b c.txt"), "b c");
}

TEST_F(CliFtp, LsPrintsTheTranscriptAndTheEntries) {
  const CliRun run = RunCli(home_, {"ftp", "--passive", Address(), "ls", "pub"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("230 Login successful.\r\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("      a b.txt\r\n"), std::string::npos) << run.out;
  // A path naming a file lists that one entry (MLST, as MLSD takes folders only).
  const CliRun file =
      RunCli(home_, {"ftp", "--passive", "--verbose", Address(), "ls", "pub/a b.txt"});
  ASSERT_EQ(file.status, 0) << file.out << file.err;
  EXPECT_NE(file.out.find("MLST pub/a b.txt"), std::string::npos) << file.out;
  EXPECT_NE(file.out.find("      a b.txt\r\n"), std::string::npos) << file.out;
}

TEST_F(CliFtp, AFailedCommandExitsNonZero) {
  const CliRun run = RunCli(home_, {"ftp", Address(), "delete", "missing.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("550 "), std::string::npos) << run.out;
  // Commands that end on any reply fail on a refusal and pass otherwise.
  const CliRun refusedSite = RunCli(home_, {"ftp", Address(), "quote", "SITE", "NOSUCHTHING"});
  EXPECT_EQ(refusedSite.status, 1) << refusedSite.out;
  EXPECT_NE(refusedSite.err.find("Netrove: FTP: 5"), std::string::npos) << refusedSite.err;
  EXPECT_EQ(RunCli(home_, {"ftp", Address(), "pwd"}).status, 0);
  const CliRun usage = RunCli(home_, {"ftp", Address(), "fly"});
  EXPECT_EQ(usage.status, 2);
}

// vsftpd on ::1 only, reached by its bracketed address: ls in both modes
// (EPRT and EPSV); -4 finds no address to try.
TEST(CliFtpIPv6, LsOverIPv6InBothModes) {
  ScopedHome home;
  fs::create_directories(home.path() / "server" / "pub");
  std::ofstream(home.path() / "server" / "pub" / "six.txt") << "6\r\n";
  VsftpdServer server(home.path() / "server", home.path() / "vsftpd", true);
  if (server.port() == 0) {
    if (PrivilegeRequired()) FAIL() << "vsftpd did not start on ::1";
    GTEST_SKIP() << "vsftpd did not start on ::1";
  }
  const std::string address = "[::1]:" + std::to_string(server.port());
  for (const char* mode : {"--ascii", "--passive"}) {
    const CliRun run = RunCli(home, {"ftp", "--verbose", mode, address, "ls", "pub"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(std::string(mode) == "--passive" ? "EPSV\r\n229 " : "EPRT |2|::1|"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("      six.txt\r\n"), std::string::npos) << run.out;
  }
  const CliRun ipv4Only = RunCli(home, {"ftp", "-4", address, "ls"});
  EXPECT_EQ(ipv4Only.status, 1);
  EXPECT_NE(ipv4Only.err.find("WSANO_DATA"), std::string::npos) << ipv4Only.err;
}

}  // namespace
}  // namespace netrove::test
