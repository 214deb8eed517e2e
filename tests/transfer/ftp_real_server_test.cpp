// The FTP engine against real servers (pyftpdlib and vsftpd on loopback), in
// active and passive mode: login, listing, the transfers and the folder
// commands.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <ostream>
#include <random>
#include <sstream>

#include "pyftpd_server.h"
#include "support/file_bytes.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_recorder.h"
#include "vsftpd_server.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;

std::string RandomBytes(std::size_t size) {
  std::mt19937 generator(7);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

bool HasName(const std::string& listing, const std::string& name, bool folder) {
  for (const auto& entry : ParseListing(listing)) {
    if (entry.name == name && entry.isFolder == folder) return true;
  }
  return false;
}

enum class Peer { Pyftpdlib, Vsftpd };

// Over IPv6 the data connections are EPRT and EPSV; over IPv4 `extended`
// asks for EPSV in passive mode.
enum class Network { IPv4, IPv6, IPv4Extended };

struct PeerAndMode {
  Peer peer;
  bool passive;
  Network network = Network::IPv4;
};

const char* NetworkName(Network network) {
  switch (network) {
    case Network::IPv6:
      return "IPv6";
    case Network::IPv4Extended:
      return "IPv4Epsv";
    case Network::IPv4:
      break;
  }
  return "";
}

// What a test name shows of its parameter.
void PrintTo(const PeerAndMode& value, std::ostream* out) {
  *out << (value.peer == Peer::Vsftpd ? "vsftpd" : "pyftpdlib")
       << (value.passive ? ", passive " : ", active ") << NetworkName(value.network);
}

// pyftpdlib serves its folder to bob as "/"; vsftpd serves it to anonymous
// users under its own path (it runs unprivileged, so without chroot).
class FtpAgainstRealServers : public ::testing::TestWithParam<PeerAndMode> {
 protected:
  void SetUp() override {
    fs::create_directories(serverRoot_);
    fs::create_directories(local_);
    test::WriteFileBytes(serverRoot_ / "hello.txt", "line one\r\nline two\r\n");
    fs::create_directories(serverRoot_ / "sub folder");
    if (GetParam().peer == Peer::Vsftpd) {
      StartVsftpd();
    } else {
      StartPyftpdlib();
    }
  }

  void StartPyftpdlib() {
    pyftpd_ = std::make_unique<test::PyFtpServer>(serverRoot_, Host());
    port_ = pyftpd_->port();
    if (port_ == 0) {
      if (test::PrivilegeRequired()) FAIL() << "pyftpdlib (python3-pyftpdlib) is missing";
      GTEST_SKIP() << "pyftpdlib (python3-pyftpdlib) is missing";
    }
    userName_ = "bob";
    password_ = "secret";
    rootLabel_ = "/";
  }

  void StartVsftpd() {
    vsftpd_ = std::make_unique<test::VsftpdServer>(serverRoot_, home_.path() / "vsftpd",
                                                   GetParam().network == Network::IPv6);
    port_ = vsftpd_->port();
    if (port_ == 0) {
      if (test::PrivilegeRequired()) FAIL() << "vsftpd (Debian vsftpd) did not start";
      GTEST_SKIP() << "vsftpd (Debian vsftpd) did not start";
    }
    userName_ = "anonymous";
    password_ = "tester@netrove.test";
    rootLabel_ = serverRoot_.string() + "/";
  }

  static std::string Host() { return GetParam().network == Network::IPv6 ? "::1" : "127.0.0.1"; }

  // Logs in and waits for the first listing.
  void LogIn() {
    FtpLogin login;
    login.host = Host();
    login.extendedPassive = GetParam().network == Network::IPv4Extended;
    login.serverPort = port_;
    login.userName = userName_;
    login.password = password_;
    login.verbose = true;
    login.mode = GetParam().passive ? kFtpModePassive : 0;
    ASSERT_TRUE(connection_.Connect(login));
    ASSERT_TRUE(events_.WaitFor("listing")) << events_.Transcript();
  }

  void TearDown() override {
    connection_.Quit();
    connection_.WaitUntilEnded();
    EXPECT_TRUE(reporter_.Messages().empty())
        << reporter_.Texts().front() << " error " << reporter_.Messages().front().errorCode;
  }

  test::ScopedHome home_;
  fs::path serverRoot_ = home_.path() / "server";
  fs::path local_ = home_.path() / "local";
  std::unique_ptr<test::PyFtpServer> pyftpd_;
  std::unique_ptr<test::VsftpdServer> vsftpd_;
  std::uint16_t port_ = 0;
  std::string userName_;
  std::string password_;
  std::string rootLabel_;
  test::FtpRecorder events_;
  test::RecordingReporter reporter_;
  CFtpConnection connection_{events_, reporter_, events_, events_, events_, SystemResolver()};
};

TEST_P(FtpAgainstRealServers, LogsInAndListsTheHomeFolder) {
  LogIn();
  EXPECT_EQ(events_.RootLabel(), rootLabel_);
  EXPECT_TRUE(HasName(events_.Listing(), "hello.txt", false)) << events_.Listing();
  EXPECT_TRUE(HasName(events_.Listing(), "sub folder", true)) << events_.Listing();
  const std::string transcript = events_.Transcript();
  EXPECT_NE(transcript.find("USER " + userName_ + "\r\n331 "), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("PASS ****\r\n230"), std::string::npos) << transcript;
  EXPECT_EQ(transcript.find(password_), std::string::npos);
  const bool extended = GetParam().network != Network::IPv4;
  const bool ipv6 = GetParam().network == Network::IPv6;
  const char* dataCommand = GetParam().passive ? (extended ? "EPSV\r\n229 " : "PASV\r\n227 ")
                                               : (ipv6 ? "EPRT |2|::1|" : "PORT 127,0,0,1,");
  EXPECT_NE(transcript.find(dataCommand), std::string::npos) << transcript;
}

// pyftpdlib offers MLST (and UTF8): the folder is listed with MLSD, with
// exact sizes and times; vsftpd offers neither and is listed with LIST. Both
// keep names with blanks and UTF-8 bytes whole.
TEST_P(FtpAgainstRealServers, ListsNamesWithBlanksAndUtf8InTheServersBestStyle) {
  const std::string folder =
      "\xC3\x9C"
      "ber Ordner";  // "Über Ordner"
  const std::string spaced = "a file  with blanks.txt";
  const std::string accented =
      "na\xC3\xAF"
      "ve caf\xC3\xA9.txt";
  fs::create_directories(serverRoot_ / folder / "inner dir");
  test::WriteFileBytes(serverRoot_ / folder / spaced, std::string(1234, 's'));
  test::WriteFileBytes(serverRoot_ / folder / accented, "x");
  const timespec times[2] = {{1796886900, 0}, {1796886900, 0}};  // 2026-12-10 07:15:00 UTC
  ASSERT_EQ(::utimensat(AT_FDCWD, (serverRoot_ / folder / spaced).c_str(), times, 0), 0);
  LogIn();
  const bool machineListing = GetParam().peer == Peer::Pyftpdlib;
  EXPECT_EQ(connection_.Features().Has("MLST"), machineListing);
  connection_.Start(test::RequestOf(FtpOperationKind::OpenFolder, rootLabel_ + folder));
  // The login's own listing is the first folder opened.
  ASSERT_TRUE(events_.WaitFor("open folder ended 1", 2)) << events_.Transcript();
  const auto entries = ParseListing(events_.Listing());
  ASSERT_EQ(entries.size(), 3u) << events_.Listing();
  EXPECT_EQ(entries[0].name, spaced);
  EXPECT_EQ(entries[1].name, "inner dir");
  EXPECT_TRUE(entries[1].isFolder);
  EXPECT_EQ(entries[2].name, accented);
  const std::string transcript = events_.Transcript();
  if (machineListing) {
    EXPECT_NE(transcript.find("OPTS UTF8 ON\r\n"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("MLSD " + rootLabel_ + folder + "\r\n"), std::string::npos)
        << transcript;
    EXPECT_EQ(entries[0].size, 1234u);
    EXPECT_EQ(entries[0].modified, 1796886900);
  } else {
    EXPECT_NE(transcript.find("LIST " + rootLabel_ + folder + "\r\n"), std::string::npos)
        << transcript;
    EXPECT_FALSE(entries[0].size);
  }
}

TEST_P(FtpAgainstRealServers, UploadsAppendsAndDownloadsByteForByte) {
  LogIn();
  // Appended, the download crosses the 8 MiB windows the copy is flushed in.
  const std::string bytes = RandomBytes(5 * 1024 * 1024 + 17);
  test::WriteFileBytes(local_ / "big.bin", bytes);
  connection_.Start(
      test::RequestOf(FtpOperationKind::Upload, (local_ / "big.bin").string(), "big.bin")
          .Type(FtpTransferType::Image)
          .Replace());
  ASSERT_TRUE(events_.WaitFor("upload ended 1"));
  EXPECT_EQ(test::ReadFileBytes(serverRoot_ / "big.bin"), bytes);

  connection_.Start(
      test::RequestOf(FtpOperationKind::Upload, (local_ / "big.bin").string(), "big.bin")
          .Type(FtpTransferType::Image)
          .Store(FtpStoreMode::Append)
          .Replace());
  ASSERT_TRUE(events_.WaitFor("upload ended 1", 2));
  EXPECT_EQ(test::ReadFileBytes(serverRoot_ / "big.bin"), bytes + bytes);

  connection_.Start(
      test::RequestOf(FtpOperationKind::Download, "big.bin", (local_ / "copy.bin").string())
          .Type(FtpTransferType::Image));
  ASSERT_TRUE(events_.WaitFor("download ended 1"));
  EXPECT_EQ(test::ReadFileBytes(local_ / "copy.bin"), bytes + bytes);
  EXPECT_EQ(events_.Progress(), 2 * bytes.size());
}

// Both servers offer SIZE and MDTM: the whole file passes the size check and
// the copy takes the server's modification time.
TEST_P(FtpAgainstRealServers, ADownloadIsCheckedAgainstSizeAndTakesTheServersTime) {
  test::WriteFileBytes(serverRoot_ / "dated.bin", RandomBytes(5000));
  const timespec times[2] = {{946684799, 0}, {946684799, 0}};  // 1999-12-31 23:59:59 UTC
  ASSERT_EQ(::utimensat(AT_FDCWD, (serverRoot_ / "dated.bin").c_str(), times, 0), 0);
  LogIn();
  connection_.Start(
      test::RequestOf(FtpOperationKind::Download, "dated.bin", (local_ / "dated.bin").string())
          .Type(FtpTransferType::Image));
  ASSERT_TRUE(events_.WaitFor("download ended 1")) << events_.Transcript();
  EXPECT_EQ(test::ReadFileBytes(local_ / "dated.bin"), RandomBytes(5000));
  struct stat copied {};
  ASSERT_EQ(::stat((local_ / "dated.bin").c_str(), &copied), 0);
  EXPECT_EQ(copied.st_mtim.tv_sec, 946684799);
  const std::string transcript = events_.Transcript();
  EXPECT_NE(transcript.find("SIZE dated.bin\r\n213 5000"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("MDTM dated.bin\r\n213 19991231235959"), std::string::npos)
      << transcript;
}

TEST_P(FtpAgainstRealServers, AsciiTypeConvertsLineEndsBothWays) {
  LogIn();
  connection_.Start(
      test::RequestOf(FtpOperationKind::Download, "hello.txt", (local_ / "hello.txt").string())
          .Type(FtpTransferType::Ascii));
  ASSERT_TRUE(events_.WaitFor("download ended 1"));
  EXPECT_EQ(test::ReadFileBytes(local_ / "hello.txt"), "line one\nline two\n");

  test::WriteFileBytes(local_ / "unix.txt", "a\nb\r\nc\n");
  connection_.Start(
      test::RequestOf(FtpOperationKind::Upload, (local_ / "unix.txt").string(), "unix.txt")
          .Type(FtpTransferType::Ascii)
          .Replace());
  ASSERT_TRUE(events_.WaitFor("upload ended 1"));
  // The server stores text in its own (Unix) form, so what it received as
  // CR LF lines comes back as LF lines.
  EXPECT_EQ(test::ReadFileBytes(serverRoot_ / "unix.txt"), "a\nb\nc\n");
}

TEST_P(FtpAgainstRealServers, StoreUniqueReportsTheServersName) {
  LogIn();
  test::WriteFileBytes(local_ / "u.txt", "unique");
  connection_.Start(test::RequestOf(FtpOperationKind::Upload, (local_ / "u.txt").string())
                        .Type(FtpTransferType::Image)
                        .Store(FtpStoreMode::Unique));
  ASSERT_TRUE(events_.WaitFor("upload ended 1")) << events_.Transcript();
  std::string label;
  for (const auto& event : events_.Events()) {
    if (event.starts_with("label ")) label = event.substr(6);
  }
  ASSERT_FALSE(label.empty());
  const std::string stored = label.substr(label.find_first_not_of(' '));
  EXPECT_EQ(test::ReadFileBytes(serverRoot_ / stored), "unique");
}

TEST_P(FtpAgainstRealServers, FolderCommandsAndRename) {
  LogIn();
  connection_.Start(test::RequestOf(FtpOperationKind::NewFolder, "made"));
  ASSERT_TRUE(events_.WaitFor("new folder ended 1"));
  EXPECT_TRUE(fs::is_directory(serverRoot_ / "made"));
  connection_.Start(test::RequestOf(FtpOperationKind::Rename, "hello.txt", "made/renamed.txt"));
  ASSERT_TRUE(events_.WaitFor("rename ended 1"));
  EXPECT_TRUE(fs::exists(serverRoot_ / "made" / "renamed.txt"));
  connection_.Start(test::RequestOf(FtpOperationKind::Delete, "made/renamed.txt"));
  ASSERT_TRUE(events_.WaitFor("delete ended 1"));
  connection_.Start(test::RequestOf(FtpOperationKind::Delete, "made").Folder());
  ASSERT_TRUE(events_.WaitFor("delete ended 1", 2));
  EXPECT_FALSE(fs::exists(serverRoot_ / "made"));

  // A failed RNFR ends the rename; its RNTO is never sent.
  connection_.Start(test::RequestOf(FtpOperationKind::Rename, "missing.txt", "other.txt"));
  ASSERT_TRUE(events_.WaitFor("rename ended 0"));
  connection_.Start(test::RequestOf(FtpOperationKind::List, "/"));
  ASSERT_TRUE(events_.WaitFor("list ended 1"));
  EXPECT_EQ(events_.Transcript().find("RNTO other.txt"), std::string::npos);
}

TEST_P(FtpAgainstRealServers, AFailedDownloadLeavesTheLocalFileAsItWas) {
  LogIn();
  test::WriteFileBytes(local_ / "keep.txt", "precious");
  connection_.Start(
      test::RequestOf(FtpOperationKind::Download, "missing.txt", (local_ / "keep.txt").string())
          .Type(FtpTransferType::Image));
  ASSERT_TRUE(events_.WaitFor("download ended 0"));
  EXPECT_EQ(events_.Count("confirm keep.txt"), 1);
  EXPECT_EQ(test::ReadFileBytes(local_ / "keep.txt"), "precious");
  EXPECT_EQ(std::distance(fs::directory_iterator(local_), fs::directory_iterator()), 1);
}

TEST_P(FtpAgainstRealServers, AbortDuringADownloadLeavesNoFile) {
  LogIn();
  test::WriteFileBytes(serverRoot_ / "huge.bin", std::string(64 * 1024 * 1024, 'x'));
  connection_.Start(
      test::RequestOf(FtpOperationKind::Download, "huge.bin", (local_ / "huge.bin").string())
          .Type(FtpTransferType::Image));
  ASSERT_TRUE(test::WaitUntil([&] { return events_.Progress() > 0; }));
  ASSERT_TRUE(connection_.QueueCommand(FtpCommand::Abor));
  ASSERT_TRUE(events_.WaitFor("download ended 0"));
  EXPECT_TRUE(fs::is_empty(local_));
  // The connection goes on working after the abort.
  connection_.Start(test::RequestOf(FtpOperationKind::List));
  ASSERT_TRUE(events_.WaitFor("listing", 2));
  fs::remove(serverRoot_ / "huge.bin");
}

INSTANTIATE_TEST_SUITE_P(
    PeersAndModes, FtpAgainstRealServers,
    ::testing::Values(PeerAndMode{Peer::Pyftpdlib, false}, PeerAndMode{Peer::Pyftpdlib, true},
                      PeerAndMode{Peer::Vsftpd, false}, PeerAndMode{Peer::Vsftpd, true},
                      PeerAndMode{Peer::Pyftpdlib, false, Network::IPv6},
                      PeerAndMode{Peer::Pyftpdlib, true, Network::IPv6},
                      PeerAndMode{Peer::Vsftpd, false, Network::IPv6},
                      PeerAndMode{Peer::Vsftpd, true, Network::IPv6},
                      PeerAndMode{Peer::Vsftpd, true, Network::IPv4Extended}),
    [](const auto& info) {
      return std::string(info.param.peer == Peer::Vsftpd ? "Vsftpd" : "Pyftpdlib") +
             (info.param.passive ? "Passive" : "Active") + NetworkName(info.param.network);
    });

}  // namespace
}  // namespace netrove
