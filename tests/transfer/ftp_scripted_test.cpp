// The FTP engine against scripted servers: the exact command sequences of
// the login modes and the misbehaviours no real server produces on demand.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "support/file_bytes.h"
#include "support/ftp_scripts.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "support/wait_until.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_recorder.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::AnonymousLogin;
using test::LoginWithoutListing;
using test::Script;

// "227 Entering Passive Mode (10,9,8,7,p1,p2)": an address that is not the
// server's, with the port of `data`.
std::string PassiveReplyToAnotherHost(const test::CScriptedServer& data) {
  const int port = data.port();
  return "227 Entering Passive Mode (10,9,8,7," + std::to_string(port / 256) + "," +
         std::to_string(port % 256) + ")\r\n";
}

// The client's next line on `socket`, without its CR LF.
std::string ReadLine(int socket) {
  std::string line;
  char c = 0;
  while (::recv(socket, &c, 1, 0) == 1 && c != '\n') line += c;
  if (line.ends_with('\r')) line.pop_back();
  return line;
}

// The port a "PORT h1,h2,h3,h4,p1,p2" line names.
std::uint16_t PortOfPortLine(const std::string& line) {
  unsigned h[4] = {};
  unsigned p1 = 0;
  unsigned p2 = 0;
  if (std::sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p1, &p2) !=
      6) {
    return 0;
  }
  return static_cast<std::uint16_t>(p1 * 256 + p2);
}

// A TCP connection from `from` (a loopback address) to 127.0.0.1:`port`.
int ConnectFrom(const char* from, std::uint16_t port) {
  const int client = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, from, &local.sin_addr);
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(port);
  ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
  if (::bind(client, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(client, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    ::close(client);
    return -1;
  }
  return client;
}

class FtpScripted : public ::testing::Test {
 protected:
  void Connect(std::uint32_t mode = kFtpModePassive, bool extendedPassive = false) {
    FtpLogin login;
    login.host = "127.0.0.1";
    login.serverPort = control_.port();
    login.mode = mode;
    login.extendedPassive = extendedPassive;
    login.verbose = true;
    ASSERT_TRUE(connection_.Connect(login));
  }
  void SetUp() override { connection_.SetQuitGrace(200ms); }
  // A script's last step leaves the connection open: Quit ends it the way
  // the window's Quit button does.
  void TearDown() override {
    connection_.Quit();
    connection_.WaitUntilEnded();
  }

  test::ScopedHome home_;
  test::CScriptedServer control_;
  test::CScriptedServer data_;
  test::FtpRecorder events_;
  test::RecordingReporter reporter_;
  CFtpConnection connection_{events_, reporter_, events_, events_, events_, SystemResolver()};
};

struct ProxyCase {
  const char* name;
  std::uint32_t mode;
  std::vector<std::pair<std::string, std::string>> exchange;  // client line, server reply
};

class FtpProxyModes : public FtpScripted, public ::testing::WithParamInterface<ProxyCase> {};

TEST_P(FtpProxyModes, LogInWithTheExactCommandSequence) {
  Script script;
  script.Accept().Send("220 firewall\r\n");
  for (const auto& [line, reply] : GetParam().exchange) script.ExpectLine(line).Send(reply);
  // A server that does not know FEAT is logged in all the same.
  script.ExpectLine("FEAT").Send("500 unknown command\r\n").ExpectLine("PWD").Close();
  control_.Start(std::move(script));
  FtpLogin login;
  login.host = "ftp.example";
  login.userName = "bob";
  login.password = "pw";
  login.account = "acct";
  login.proxyHost = "127.0.0.1";
  login.proxyPort = control_.port();
  login.serverPort = control_.port();
  login.proxyUser = "puser";
  login.proxyPassword = "ppass";
  login.mode = GetParam().mode;
  if (login.mode == 0) login.host = "127.0.0.1";
  ASSERT_TRUE(connection_.Connect(login));
  EXPECT_TRUE(control_.Finished());
  EXPECT_TRUE(events_.WaitFor("login 1155"));
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpProxyModes,
                         ::testing::Values(ProxyCase{"DirectWithAccount",
                                                     0,
                                                     {{"USER bob", "331 pw\r\n"},
                                                      {"PASS pw", "332 acct\r\n"},
                                                      {"ACCT acct", "230 ok\r\n"}}},
                                           ProxyCase{"UserAtHost",
                                                     kFtpModeProxyUser,
                                                     {{"USER bob@ftp.example", "331 pw\r\n"},
                                                      {"PASS pw", "230 ok\r\n"}}},
                                           ProxyCase{"OpenAtFirewall",
                                                     kFtpModeProxyOpen,
                                                     {{"OPEN ftp.example", "220 server\r\n"},
                                                      {"USER bob", "331 pw\r\n"},
                                                      {"PASS pw", "230 ok\r\n"}}},
                                           ProxyCase{"SiteAfterFirewallLogin",
                                                     kFtpModeProxySite,
                                                     {{"USER puser", "331 pw\r\n"},
                                                      {"PASS ppass", "230 firewall ok\r\n"},
                                                      {"SITE ftp.example", "200 connected\r\n"},
                                                      {"USER bob", "331 pw\r\n"},
                                                      {"PASS pw", "230 ok\r\n"}}},
                                           ProxyCase{"UserAfterFirewallLogin",
                                                     kFtpModeProxyUserAfter,
                                                     {{"USER puser", "331 pw\r\n"},
                                                      {"PASS ppass", "230 firewall ok\r\n"},
                                                      {"USER bob@ftp.example", "331 pw\r\n"},
                                                      {"PASS pw", "230 ok\r\n"}}}),
                         [](const auto& info) { return info.param.name; });

TEST_F(FtpScripted, AFullQueueRefusesTheFifthCommandAndAbortEmptiesIt) {
  Script script;
  AnonymousLogin(script).ExpectLine("ABOR").Send("226 nothing to abort\r\n").ExpectLine("QUIT");
  script.Send("221 bye\r\n").ExpectClosed();
  control_.Start(std::move(script));
  Connect();
  // PWD unanswered: PASV, TYPE and LIST of the first listing wait behind it.
  ASSERT_TRUE(test::WaitUntil([&] { return connection_.WaitingCount() == 3; }));
  EXPECT_FALSE(connection_.QueueCommand(FtpCommand::Dele, "x\r\nDELE important"));
  EXPECT_TRUE(connection_.QueueCommand(FtpCommand::Noop));
  EXPECT_FALSE(connection_.QueueCommand(FtpCommand::Syst));
  EXPECT_TRUE(connection_.QueueCommand(FtpCommand::Abor));
  EXPECT_EQ(connection_.WaitingCount(), 0u);
  EXPECT_EQ(events_.Count("open folder ended 0"), 1);  // the listing ended as failed
  connection_.Quit();
  EXPECT_TRUE(control_.Finished());
  const auto texts = reporter_.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0],
            "The FTP command was not sent: its argument holds a line break or is too long.");
  EXPECT_EQ(texts[1], "The FTP Command Queue is full, please try again later.");
}

TEST_F(FtpScripted, AMultiLineReplyInPiecesIsAnsweredOnceAndABannerLineIsOnlyShown) {
  control_.Start(Script()
                     .Accept()
                     .Send("Welcome banner without a code\r\n")
                     .SendInPieces({"220-first\r\n22", "0-second\r\n", "220 last\r\n"}, 20ms)
                     .ExpectLine("USER anonymous")
                     .Send("530 not you\r\n")
                     .ExpectClosed());
  Connect();
  EXPECT_TRUE(control_.Finished());
  ASSERT_TRUE(events_.WaitFor("login 1155"));
  EXPECT_NE(events_.Transcript().find("Welcome banner without a code\r\n220-first\r\n"),
            std::string::npos);
}

TEST_F(FtpScripted, A421EndsTheConnectionAndReleasesTheWaitingListing) {
  Script script;
  AnonymousLogin(script).Send("421 going down\r\n").Close();
  control_.Start(std::move(script));
  Connect();
  EXPECT_TRUE(control_.Finished());
  ASSERT_TRUE(events_.WaitFor("directories 1155"));
  EXPECT_TRUE(events_.WaitFor("open folder ended 0"));
  EXPECT_FALSE(connection_.IsConnected());
}

TEST_F(FtpScripted, APassiveReplyNamingAnotherHostConnectsToTheServerOnly) {
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/pub\" is current\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("LIST")
      .Send("150 here\r\n")
      .Wait(100ms)
      .Send("226 done\r\n");
  control_.Start(std::move(script));
  const std::string listing = "-rw-r--r-- 1 a b 5 Jan 1 12:00 file.txt\r\n";
  data_.Start(Script().Accept().Send(listing).Close());
  Connect();
  ASSERT_TRUE(events_.WaitFor("listing"));
  EXPECT_EQ(events_.Listing(), listing);
  EXPECT_EQ(events_.RootLabel(), "/pub/");
  EXPECT_TRUE(data_.Finished());
  EXPECT_TRUE(control_.Finished());
}

// A server naming MLST and UTF8 in its features gets OPTS UTF8 ON and is
// listed with MLSD; of its lines, only the well-formed files and folders
// become entries.
TEST_F(FtpScripted, AServerWithMachineListingsIsListedWithMlsdAndItsBadFactsSkipped) {
  Script script;
  script.Accept()
      .Send("220 ready\r\n")
      .ExpectLine("USER anonymous")
      .Send("331 password\r\n")
      .ExpectLine("PASS plume")
      .Send("230 in\r\n")
      .ExpectLine("FEAT")
      .Send("211-Extensions:\r\n MLST type*;size*;modify*;\r\n UTF8\r\n211 end\r\n")
      .ExpectLine("OPTS UTF8 ON")
      .Send("200 ok\r\n")
      .ExpectLine("PWD")
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("MLSD")
      .Send("150 here\r\n")
      .Wait(100ms)
      .Send("226 done\r\n");
  control_.Start(std::move(script));
  data_.Start(Script()
                  .Accept()
                  .Send("type=cdir; /\r\n"
                        "type=file;size=7;modify=20261210071500; good file\r\n"
                        "type=file;size=-7; negative size\r\n"
                        "type=file;modify=2026121007150; short time\r\n"
                        "type=dir;;; empty facts\r\n"
                        "type=dir;perm=el; good folder\r\n"
                        "type=file;size=7; ../../escape\r\n"
                        "type=file;size=7 no semicolon\r\n")
                  .Close());
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 1"));
  EXPECT_TRUE(control_.Finished());
  EXPECT_TRUE(connection_.Features().Has("UTF8"));
  const auto entries = ParseListing(events_.Listing());
  ASSERT_EQ(entries.size(), 2u) << events_.Listing();
  EXPECT_EQ(entries[0].name, "good file");
  EXPECT_EQ(entries[0].size, 7u);
  EXPECT_EQ(entries[1].name, "good folder");
  EXPECT_TRUE(entries[1].isFolder);
}

// Asked for EPSV over IPv4, a server that does not know it gets PASV, at once
// and for the rest of the connection; the data still goes to the server's
// own address.
TEST_F(FtpScripted, AServerWithoutEpsvIsAskedWithPasvFromThenOn) {
  test::CScriptedServer secondData;
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("EPSV")
      .Send("500 what?\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("LIST")
      .Send("150 here\r\n")
      .Wait(100ms)
      .Send("226 done\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(secondData))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("LIST")
      .Send("150 here\r\n")
      .Wait(100ms)
      .Send("226 done\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Close());
  secondData.Start(Script().Accept().Close());
  Connect(kFtpModePassive, true);
  ASSERT_TRUE(events_.WaitFor("listing"));
  connection_.Start(test::RequestOf(FtpOperationKind::List));
  ASSERT_TRUE(events_.WaitFor("listing", 2));
  EXPECT_TRUE(control_.Finished());
  EXPECT_TRUE(secondData.Finished());
  EXPECT_TRUE(reporter_.Messages().empty());
}

// The port of a 229 is taken on the control connection's peer; a 229
// without one fails the listing like a malformed 227.
TEST_F(FtpScripted, AnExtendedPassiveReplyGivesThePortOnTheServersAddress) {
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("EPSV")
      .Send("229 Entering Extended Passive Mode (|||" + std::to_string(data_.port()) + "|)\r\n")
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("LIST")
      .Send("150 here\r\n")
      .Wait(100ms)
      .Send("226 done\r\n")
      .ExpectLine("EPSV")
      .Send("229 no port (|||x|)\r\n")
      .ExpectLine("QUIT")
      .Send("221 bye\r\n")
      .ExpectClosed();
  control_.Start(std::move(script));
  const std::string listing = "-rw-r--r-- 1 a b 5 Jan 1 12:00 file.txt\r\n";
  data_.Start(Script().Accept().Send(listing).Close());
  Connect(kFtpModePassive, true);
  ASSERT_TRUE(events_.WaitFor("listing"));
  EXPECT_EQ(events_.Listing(), listing);
  connection_.Start(test::RequestOf(FtpOperationKind::List));
  ASSERT_TRUE(events_.WaitFor("list ended 0")) << events_.Transcript();
  connection_.Quit();
  EXPECT_TRUE(control_.Finished());
  EXPECT_TRUE(data_.Finished());
}

TEST_F(FtpScripted, AMalformedPassiveReplyFailsTheListingWithoutSendingIt) {
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("227 no numbers here\r\n")
      .ExpectLine("QUIT")
      .Send("221 bye\r\n")
      .ExpectClosed();
  control_.Start(std::move(script));
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Quit();
  EXPECT_TRUE(control_.Finished());
}

TEST_F(FtpScripted, AFinalReplyBeforeTheLastBytesStillGetsTheWholeFile) {
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no listing today\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("RETR f.bin")
      .Send("150 go\r\n226 done already\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Wait(200ms).Send("the whole payload").Close());
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));  // the first listing was refused
  connection_.Start(
      test::RequestOf(FtpOperationKind::Download, "f.bin", (home_.path() / "f.bin").string())
          .Type(FtpTransferType::Image));
  ASSERT_TRUE(events_.WaitFor("download ended 1"));
  std::ifstream in(home_.path() / "f.bin");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "the whole payload");
  EXPECT_TRUE(data_.Finished());
}

TEST_F(FtpScripted, AnUploadWhoseReadFailsResetsTheDataConnectionAndFails) {
  const fs::path unreadable = home_.path() / "a folder";
  fs::create_directories(unreadable);
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no listing today\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("STOR up.bin")
      .Send("150 go\r\n")
      .Wait(300ms)
      .Send("226 stored\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().ExpectClosed());
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Start(test::RequestOf(FtpOperationKind::Upload, (unreadable).string(), "up.bin")
                        .Type(FtpTransferType::Image)
                        .Replace());
  ASSERT_TRUE(events_.WaitFor("upload ended 0"));
  EXPECT_TRUE(data_.Finished());
  // The refused PASV of the login's listing is said, then the read error.
  const auto messages = reporter_.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text,
            "The FTP server refused passive (PASV) data connections: 502 no listing today");
  EXPECT_EQ(messages[1].errorCode, EISDIR);
}

// In active mode anyone may reach the announced port first; only the
// server's own connection is taken.
TEST_F(FtpScripted, ActiveModeTakesTheDataConnectionFromTheServerOnly) {
  const std::string listing = "-rw-r--r-- 1 a b 5 Jan 1 12:00 file.txt\r\n";
  std::uint16_t dataPort = 0;
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .Do("PORT",
          [&](test::StepContext& context) {
            const std::string line = ReadLine(context.socket);
            dataPort = PortOfPortLine(line);
            return dataPort != 0 ? std::string() : "not a PORT line: " + line;
          })
      .Send("200 ok\r\n")
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("LIST")
      .Send("150 here\r\n")
      .Do("a stranger, then the server, connect",
          [&](test::StepContext&) -> std::string {
            const int stranger = ConnectFrom("127.0.0.2", dataPort);
            if (stranger < 0) return "no connection from 127.0.0.2";
            const std::string evil = "-rw-r--r-- 1 a b 5 Jan 1 12:00 evil.txt\r\n";
            (void)::send(stranger, evil.data(), evil.size(), MSG_NOSIGNAL);
            ::shutdown(stranger, SHUT_WR);
            const timeval wait{5, 0};
            ::setsockopt(stranger, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            char byte = 0;
            const bool turnedAway = ::recv(stranger, &byte, 1, 0) <= 0;
            ::close(stranger);
            const int server = ConnectFrom("127.0.0.1", dataPort);
            if (server < 0) return "no connection from the server's address";
            (void)::send(server, listing.data(), listing.size(), MSG_NOSIGNAL);
            ::close(server);
            return turnedAway ? std::string() : "the stranger's connection stayed open";
          })
      .Send("226 done\r\n");
  control_.Start(std::move(script));
  Connect(0);
  ASSERT_TRUE(events_.WaitFor("listing"));
  EXPECT_EQ(events_.Listing(), listing);
  EXPECT_TRUE(control_.Finished());
}

TEST_F(FtpScripted, ADroppedConnectionDuringADownloadLeavesNoFile) {
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no listing today\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("RETR f.bin")
      .Send("150 go\r\n")
      .Wait(200ms)
      .Close();
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Send("the first half").Wait(500ms).Close());
  const fs::path local = home_.path() / "downloads";
  fs::create_directories(local);
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Start(test::RequestOf(FtpOperationKind::Download, "f.bin", (local / "f.bin").string())
                        .Type(FtpTransferType::Image));
  ASSERT_TRUE(events_.WaitFor("download ended 0"));
  EXPECT_TRUE(fs::is_empty(local));
  EXPECT_TRUE(control_.Finished());
  const auto texts = reporter_.Texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "The connection to the FTP server ended before the transfer did."),
            texts.end());
}

// A server that says 226 and closes the data connection early: the byte
// count differs from the SIZE announced, so the download fails, the partial
// copy is kept beside the target under a name of its own and named in the
// message, and the file the user already had stays as it was.
TEST_F(FtpScripted, ADownloadShorterThanItsSizeFailsAndKeepsThePartialCopyAside) {
  Script script;
  AnonymousLogin(script, "211-Extensions:\r\n SIZE\r\n MDTM\r\n211 end\r\n")
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no listing today\r\n")
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("SIZE f.bin")
      .Send("213 1000\r\n")
      .ExpectLine("MDTM f.bin")
      .Send("213 20261210071500\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("RETR f.bin")
      .Send("150 go\r\n226 done\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Wait(100ms).Send(std::string(400, 'p')).Close());
  const fs::path local = home_.path() / "downloads";
  fs::create_directories(local);
  std::ofstream(local / "f.bin") << "precious";
  events_.AnswerReplace(true);
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Start(test::RequestOf(FtpOperationKind::Download, "f.bin", (local / "f.bin").string())
                        .Type(FtpTransferType::Image));
  ASSERT_TRUE(events_.WaitFor("download ended 0"));
  EXPECT_EQ(events_.Count("download ended 1"), 0);
  EXPECT_EQ(test::ReadFileBytes(local / "f.bin"), "precious");
  EXPECT_EQ(test::ReadFileBytes(local / "f.bin.part"), std::string(400, 'p'));
  const auto texts = reporter_.Texts();
  ASSERT_EQ(texts.size(), 2u);  // the refused PASV of the login's listing, then this
  EXPECT_EQ(texts[1],
            "The download of 'f.bin' is truncated: 400 of the 1000 bytes the server announced "
            "arrived; the partial copy was kept as '" +
                (local / "f.bin.part").string() + "'.");
  EXPECT_TRUE(control_.Finished());
}

// The editor gets a temporary copy (line ends converted) as its one
// argument; a refused download touches no local file, not even one at the
// remote path.
TEST_F(FtpScripted, EditDownloadHandsTheEditorATemporaryCopyOnly) {
  const fs::path keep = home_.path() / "notes.txt";
  std::ofstream(keep) << "local notes";
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no listing today\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("RETR remote.txt")
      .Send("150 go\r\n")
      .Wait(200ms)
      .Send("226 done\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("RETR " + keep.string())
      .Send("550 no such file\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Send("line one\r\nline two\r\n").Close());
  const fs::path editor = home_.path() / "editor.sh";
  std::ofstream(editor) << "#!/bin/sh\necho \"$#\" >\"$0.count\"\ncp \"$1\" \"$0.seen\"\n"
                        << "echo \"$1\" >\"$0.path\"\n";
  fs::permissions(editor, fs::perms::owner_all);
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Start(
      test::RequestOf(FtpOperationKind::EditDownload, "remote.txt").Editor(editor.string()));
  ASSERT_TRUE(events_.WaitFor("edit download ended 1"));
  ASSERT_TRUE(test::WaitUntil([&] { return fs::exists(editor.string() + ".count"); }));
  std::string copy;
  ASSERT_TRUE(test::WaitUntil([&] {
    std::ifstream in(editor.string() + ".path");
    return std::getline(in, copy) && !copy.empty();
  }));
  // Editors that hand the file to a running instance return at once: the
  // copy stays while the connection does.
  EXPECT_TRUE(fs::exists(copy));
  std::stringstream seen;
  seen << std::ifstream(editor.string() + ".seen").rdbuf();
  EXPECT_EQ(seen.str(), "line one\nline two\n");
  std::stringstream count;
  count << std::ifstream(editor.string() + ".count").rdbuf();
  EXPECT_EQ(count.str(), "1\n");

  connection_.Start(
      test::RequestOf(FtpOperationKind::EditDownload, keep.string()).Editor(editor.string()));
  ASSERT_TRUE(events_.WaitFor("edit download ended 0"));
  EXPECT_TRUE(control_.Finished());
  std::stringstream notes;
  notes << std::ifstream(keep).rdbuf();
  EXPECT_EQ(notes.str(), "local notes");
}

// ABOR draws two replies: the aborted download's 426, then ABOR's own 226.
// A listing asked for meanwhile waits for both and gets its own replies.
TEST_F(FtpScripted, AbortDuringADownloadWaitsForBothRepliesBeforeTheNextCommand) {
  test::CScriptedServer listingData;
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no listing today\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("RETR f.bin")
      .Send("150 go\r\n")
      .ExpectLine("ABOR")
      .Wait(300ms)
      .Send("426 transfer aborted\r\n")
      .Wait(100ms)
      .Send("226 ABOR done\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(listingData))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("LIST")
      .Send("150 here\r\n")
      .Wait(100ms)
      .Send("226 done\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Send("the first part").ExpectClosed());
  const std::string listing = "-rw-r--r-- 1 a b 5 Jan 1 12:00 file.txt\r\n";
  listingData.Start(Script().Accept().Send(listing).Close());
  const fs::path local = home_.path() / "downloads";
  fs::create_directories(local);
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Start(test::RequestOf(FtpOperationKind::Download, "f.bin", (local / "f.bin").string())
                        .Type(FtpTransferType::Image));
  ASSERT_TRUE(test::WaitUntil([&] { return events_.Progress() > 0; }));
  ASSERT_TRUE(connection_.QueueCommand(FtpCommand::Abor));
  connection_.Start(test::RequestOf(FtpOperationKind::List));
  ASSERT_TRUE(events_.WaitFor("listing"));
  EXPECT_EQ(events_.Listing(), listing);
  EXPECT_EQ(events_.Count("download ended 0"), 1);
  EXPECT_TRUE(fs::is_empty(local));
  EXPECT_TRUE(control_.Finished());
  EXPECT_TRUE(data_.Finished());
}

// Opening a folder is CWD then LIST as one request: a refused CWD ends it
// without the listing and releases the tree once; an accepted one lists.
TEST_F(FtpScripted, ARefusedFolderIsNotListedAndReleasesItsTreeOnce) {
  Script script;
  AnonymousLogin(script)
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no listing today\r\n")
      .ExpectLine("CWD /gone")
      .Send("550 no such folder\r\n")
      .ExpectLine("CWD /sub")
      .Send("250 ok\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("LIST /sub")
      .Send("150 here\r\n")
      .Wait(100ms)
      .Send("226 done\r\n");
  control_.Start(std::move(script));
  const std::string listing = "-rw-r--r-- 1 a b 5 Jan 1 12:00 deep.txt\r\n";
  data_.Start(Script().Accept().Send(listing).Close());
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Start(test::RequestOf(FtpOperationKind::OpenFolder, "/gone"));
  ASSERT_TRUE(events_.WaitFor("open folder ended 0", 2));
  connection_.Start(test::RequestOf(FtpOperationKind::OpenFolder, "/sub"));
  ASSERT_TRUE(events_.WaitFor("listing"));
  EXPECT_EQ(events_.Listing(), listing);
  EXPECT_EQ(events_.Count("open folder ended 0"), 2);
  EXPECT_TRUE(control_.Finished());
}

// A move downloads, then deletes the server's copy; a refused delete keeps
// the local copy and says the source stayed.
TEST_F(FtpScripted, AMovedDownloadDeletesTheServersCopyOnlyAfterTheWholeFile) {
  Script script;
  LoginWithoutListing(script);
  for (const char* deleteReply : {"250 gone\r\n", "550 not yours\r\n"}) {
    script.ExpectLine("PASV")
        .Send(PassiveReplyToAnotherHost(data_))
        .ExpectLine("TYPE I")
        .Send("200 ok\r\n")
        .ExpectLine("RETR /pub/f.bin")
        .Send("150 go\r\n")
        .Wait(100ms)
        .Send("226 done\r\n")
        .ExpectLine("DELE /pub/f.bin")
        .Send(deleteReply);
  }
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Send("payload").Close().Accept().Send("payload").Close());
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  const fs::path first = home_.path() / "first.bin";
  connection_.Start(
      test::RequestOf(FtpOperationKind::Download, "/pub/f.bin", first.string()).Move());
  ASSERT_TRUE(events_.WaitFor("download ended 1"));
  const fs::path second = home_.path() / "second.bin";
  connection_.Start(
      test::RequestOf(FtpOperationKind::Download, "/pub/f.bin", second.string()).Move());
  ASSERT_TRUE(events_.WaitFor("download ended source kept"));
  EXPECT_TRUE(control_.Finished());
  EXPECT_EQ(test::ReadFileBytes(first), "payload");
  EXPECT_EQ(test::ReadFileBytes(second), "payload");
}

// A name already in the target folder (in another case, with its folder)
// stops the upload before STOR; the same request with leave to replace
// stores, and a move then removes the local file.
TEST_F(FtpScripted, AnUploadOntoAnExistingNameAsksFirstThenStoresAndMoves) {
  test::CScriptedServer upload;
  Script script;
  LoginWithoutListing(script)
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE A")
      .Send("200 ok\r\n")
      .ExpectLine("NLST /pub")
      .Send("150 names\r\n")
      .Wait(100ms)
      .Send("226 done\r\n")
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(upload))
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("STOR /pub/report.txt")
      .Send("150 go\r\n")
      .Wait(200ms)
      .Send("226 stored\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Send("/pub/other.txt\r\n/pub/REPORT.TXT\r\n").Close());
  upload.Start(Script().Accept().Expect("the report").ExpectClosed());
  const fs::path local = home_.path() / "report.txt";
  test::WriteFileBytes(local, "the report");
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  const auto request =
      test::RequestOf(FtpOperationKind::Upload, local.string(), "/pub/report.txt").Move();
  connection_.Start(request);
  ASSERT_TRUE(events_.WaitFor("upload ended name exists"));
  EXPECT_TRUE(fs::exists(local));
  connection_.Start(test::RequestOf(request).Replace());
  ASSERT_TRUE(events_.WaitFor("upload ended 1"));
  EXPECT_TRUE(upload.Finished());
  EXPECT_TRUE(control_.Finished());
  EXPECT_FALSE(fs::exists(local));
}

// MLSD lists folders only: for a path that names a file the one entry is
// asked with MLST and becomes the listing; a path that is no file fails.
TEST_F(FtpScripted, ListingAFileAsksMlstForItsOneEntry) {
  Script script;
  AnonymousLogin(script, "211-Extensions:\r\n MLST type*;size*;\r\n211 end\r\n")
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no\r\n");
  const std::pair<std::string, std::string> lookUps[] = {
      {"/pub/a file.txt",
       "250-Listing /pub/a file.txt\r\n"
       " type=file;size=3;modify=20261210071500; /pub/a file.txt\r\n250 End\r\n"},
      {"/nothing", "550 no such thing\r\n"},
      {"/locked", "250-Listing /locked\r\n type=dir; /locked\r\n250 End\r\n"}};
  for (const auto& [path, answer] : lookUps) {
    script.ExpectLine("PASV")
        .Send(PassiveReplyToAnotherHost(data_))
        .ExpectLine("TYPE A")
        .Send("200 ok\r\n")
        .ExpectLine("MLSD " + path)
        .Send("501 not a folder\r\n")
        .ExpectLine("MLST " + path)
        .Send(answer);
  }
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Accept().Accept());
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Start(test::RequestOf(FtpOperationKind::List, "/pub/a file.txt"));
  ASSERT_TRUE(events_.WaitFor("list ended 1"));
  const auto entries = ParseListing(events_.Listing());
  ASSERT_EQ(entries.size(), 1u) << events_.Listing();
  EXPECT_EQ(entries[0].name, "a file.txt");
  EXPECT_EQ(entries[0].size, 3u);
  connection_.Start(test::RequestOf(FtpOperationKind::List, "/nothing"));
  ASSERT_TRUE(events_.WaitFor("list ended 0"));
  // A folder whose MLSD is refused is not listed as itself.
  connection_.Start(test::RequestOf(FtpOperationKind::List, "/locked"));
  ASSERT_TRUE(events_.WaitFor("list ended 0", 2));
  EXPECT_TRUE(control_.Finished());
}

// A move on the server checks the target folder's names, then renames; a
// clash asks first and sends no RNFR.
TEST_F(FtpScripted, AServerMoveChecksTheNamesThenRenames) {
  test::CScriptedServer second;
  Script script;
  LoginWithoutListing(script);
  for (const test::CScriptedServer* names : {&data_, &second}) {
    script.ExpectLine("PASV")
        .Send(PassiveReplyToAnotherHost(*names))
        .ExpectLine("TYPE A")
        .Send("200 ok\r\n")
        .ExpectLine("NLST /dest")
        .Send("150 names\r\n")
        .Wait(100ms)
        .Send("226 done\r\n");
  }
  script.ExpectLine("RNFR /src/b.txt")
      .Send("350 go on\r\n")
      .ExpectLine("RNTO /dest/b.txt")
      .Send("250 moved\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Send("b.txt\r\n").Close());
  second.Start(Script().Accept().Send("a.txt\r\nb.txt.old\r\n").Close());
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  const auto move = test::RequestOf(FtpOperationKind::ServerMove, "/src/b.txt", "/dest/b.txt");
  connection_.Start(move);
  ASSERT_TRUE(events_.WaitFor("server move ended name exists"));
  connection_.Start(move);
  ASSERT_TRUE(events_.WaitFor("server move ended 1"));
  EXPECT_TRUE(control_.Finished());
  EXPECT_TRUE(second.Finished());
}

// An aborted upload resets its data connection: a server must never read an
// orderly end and keep the part it got as the whole file. The upload ends
// as failed whatever the server answers.
TEST_F(FtpScripted, AnAbortedUploadResetsTheDataConnectionAndFails) {
  std::atomic<bool> receiving{false};
  Script script;
  LoginWithoutListing(script)
      .ExpectLine("PASV")
      .Send(PassiveReplyToAnotherHost(data_))
      .ExpectLine("TYPE I")
      .Send("200 ok\r\n")
      .ExpectLine("STOR big.bin")
      .Send("150 go\r\n")
      .ExpectLine("ABOR")
      .Send("226 Transfer complete\r\n226 ABOR ok\r\n");
  control_.Start(std::move(script));
  data_.Start(Script().Accept().Do("read until the client ends", [&](test::StepContext& context) {
    char buffer[4096];
    while (true) {
      const ssize_t got = ::recv(context.socket, buffer, sizeof buffer, 0);
      if (got > 0) {
        receiving = true;
        continue;
      }
      return got < 0 && errno == ECONNRESET ? std::string()
                                            : std::string("an orderly end, not a reset");
    }
  }));
  const fs::path big = home_.path() / "big.bin";
  // Large enough to be mid-transfer at the abort, read as fast as it comes.
  test::WriteFileBytes(big, std::string(256 * 1024 * 1024, 'x'));
  Connect();
  ASSERT_TRUE(events_.WaitFor("open folder ended 0"));
  connection_.Start(test::RequestOf(FtpOperationKind::Upload, big.string(), "big.bin").Replace());
  ASSERT_TRUE(test::WaitUntil([&] { return receiving.load(); }));
  ASSERT_TRUE(connection_.QueueCommand(FtpCommand::Abor));
  ASSERT_TRUE(events_.WaitFor("upload ended 0"));
  EXPECT_TRUE(data_.Finished());
  EXPECT_TRUE(control_.Finished());
  EXPECT_EQ(events_.Count("upload ended 1"), 0);
}

TEST(FtpNameList, TheLastPartOfEachLineIsComparedWithoutCase) {
  EXPECT_TRUE(NameListHolds("a\r\n/x/Report.TXT\r\n", "/pub/report.txt"));
  EXPECT_TRUE(NameListHolds("report.txt", "report.txt"));
  EXPECT_FALSE(NameListHolds("report.txt.old\nreport\n\n", "/pub/report.txt"));
  EXPECT_FALSE(NameListHolds("", "x"));
}

TEST_F(FtpScripted, QuitClosesAConnectionWhoseServerNeverAnswers) {
  Script script;
  AnonymousLogin(script).ExpectLine("QUIT").ExpectClosed();
  control_.Start(std::move(script));
  connection_.SetQuitGrace(200ms);
  Connect();
  ASSERT_TRUE(test::WaitUntil([&] { return connection_.WaitingCount() == 3; }));
  connection_.Quit();
  EXPECT_TRUE(control_.Finished());
  EXPECT_TRUE(events_.WaitFor("login 1155"));
}

}  // namespace
}  // namespace netrove
