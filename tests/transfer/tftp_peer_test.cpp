// Our client against tftpd-hpa, the tftp-hpa client against our server, and
// our server and client against hostile or scripted peers over loopback.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <cerrno>
#include <random>
#include <thread>

#include "support/recording_reporter.h"
#include "support/refusing_threads.h"
#include "support/scripted_server.h"
#include "support/wait_until.h"
#include "tftp_memory_file.h"
#include "tftp_peers.h"
#include "transfer/tftp_packet.h"
#include "transfer/tftp_runner.h"
#include "transfer/tftp_server.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::RunTftpHpa;
using test::WriteWholeFile;

std::string RandomBytes(std::size_t size) {
  std::mt19937 generator(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

// Bare CR, bare LF and CR LF, with a bare CR as the 512th byte.
const std::string kText = std::string(511, 't') + "\rnext\nbare\rcr\r\nlast\r";

class TftpPeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(served_);
    fs::create_directories(local_);
    WriteWholeFile(served_ / "binary.bin", RandomBytes(300 * 1024 + 7));
    WriteWholeFile(served_ / "exact.bin", RandomBytes(1024));
    WriteWholeFile(served_ / "text.txt", kText);
  }
  bool Transfer(TftpOpcode opcode, TftpMode mode, std::uint16_t port, const std::string& remote,
                const std::string& local, const TftpOptions& options = {}) {
    CTftpClient client(reporter_, nullptr);
    TftpClientRequest request{opcode, mode, "127.0.0.1", port, remote, (local_ / local).string()};
    request.options = options;
    return client.Run(request);
  }

  test::ScopedHome home_;
  test::RecordingReporter reporter_;
  const fs::path served_ = home_.path() / "served";
  const fs::path local_ = home_.path() / "local";
};

TEST_F(TftpPeerTest, OurClientGetsAndPutsInBothModesAgainstTftpdHpa) {
  NETROVE_REQUIRE_PROGRAM(test::kTftpdProgram);
  NETROVE_REQUIRE_PROGRAM(test::kTftpProgram);
  test::TftpdHpa server(served_, true);
  ASSERT_TRUE(server.started());
  const std::uint16_t port = server.port();

  EXPECT_TRUE(Transfer(kTftpRrq, TftpMode::Octet, port, "binary.bin", "binary.bin"));
  EXPECT_EQ(ReadWholeFile(local_ / "binary.bin"), ReadWholeFile(served_ / "binary.bin"));
  EXPECT_TRUE(Transfer(kTftpRrq, TftpMode::Octet, port, "exact.bin", "exact.bin"));
  EXPECT_EQ(ReadWholeFile(local_ / "exact.bin"), ReadWholeFile(served_ / "exact.bin"));

  // Text mode converts exactly as the tftp-hpa client does, both ways.
  EXPECT_TRUE(Transfer(kTftpRrq, TftpMode::Netascii, port, "text.txt", "ours.txt"));
  RunTftpHpa(port, "netascii", "get text.txt theirs.txt", local_);
  EXPECT_EQ(ReadWholeFile(local_ / "ours.txt"), ReadWholeFile(local_ / "theirs.txt"));
  EXPECT_EQ(ReadWholeFile(local_ / "ours.txt"), kText);
  EXPECT_TRUE(Transfer(kTftpWrq, TftpMode::Netascii, port, "up.txt", "ours.txt"));
  RunTftpHpa(port, "netascii", "put theirs.txt up-theirs.txt", local_);
  EXPECT_EQ(ReadWholeFile(served_ / "up.txt"), ReadWholeFile(served_ / "up-theirs.txt"));
  EXPECT_EQ(ReadWholeFile(served_ / "up.txt"), kText);

  EXPECT_TRUE(Transfer(kTftpWrq, TftpMode::Octet, port, "up.bin", "binary.bin"));
  EXPECT_EQ(ReadWholeFile(served_ / "up.bin"), ReadWholeFile(served_ / "binary.bin"));
  EXPECT_TRUE(reporter_.Messages().empty());

  // The server's refusal is shown; the partly made local file is gone.
  EXPECT_FALSE(Transfer(kTftpRrq, TftpMode::Octet, port, "missing.bin", "missing.bin"));
  EXPECT_EQ(reporter_.Texts(), std::vector<std::string>{"File not found"});
  EXPECT_FALSE(fs::exists(local_ / "missing.bin"));
}

TEST_F(TftpPeerTest, OurClientNegotiatesOptionsWithTftpdHpaAndFallsBackWhenRefused) {
  NETROVE_REQUIRE_PROGRAM(test::kTftpdProgram);
  const std::string big = RandomBytes(300'000);
  WriteWholeFile(served_ / "big.bin", big);
  const TftpOptions options{1468, 16, 2, true};
  for (const bool refusing : {false, true}) {
    // tftpd-hpa knows blksize, timeout and tsize but not windowsize, which
    // it leaves out of its OACK; told to refuse all three it sends no OACK
    // and answers as a server without options.
    test::TftpdHpa server(
        served_, true, false,
        refusing ? std::vector<std::string>{"-r", "blksize", "-r", "timeout", "-r", "tsize"}
                 : std::vector<std::string>{});
    ASSERT_TRUE(server.started());
    const std::string suffix = refusing ? "-plain" : "";
    EXPECT_TRUE(Transfer(kTftpRrq, TftpMode::Octet, server.port(), "big.bin",
                         "big" + suffix + ".bin", options));
    EXPECT_EQ(ReadWholeFile(local_ / ("big" + suffix + ".bin")), big);
    EXPECT_TRUE(Transfer(kTftpWrq, TftpMode::Octet, server.port(), "up" + suffix + ".bin",
                         "big" + suffix + ".bin", options));
    EXPECT_EQ(ReadWholeFile(served_ / ("up" + suffix + ".bin")), big);
    EXPECT_TRUE(Transfer(kTftpRrq, TftpMode::Netascii, server.port(), "text.txt",
                         "text" + suffix + ".txt", options));
    EXPECT_EQ(ReadWholeFile(local_ / ("text" + suffix + ".txt")), kText);
  }
  EXPECT_TRUE(reporter_.Messages().empty());
}

TEST_F(TftpPeerTest, CurlAndTheTftpHpaClientGetFromOurServerWithAndWithoutOptions) {
  NETROVE_REQUIRE_PROGRAM(test::kCurlProgram);
  NETROVE_REQUIRE_PROGRAM(test::kTftpProgram);
  const std::string big = RandomBytes(200'000);
  WriteWholeFile(served_ / "big.bin", big);
  const TftpServerSettings settings{test::FreeUdpPort(), served_, true};
  CTftpServer server(reporter_, [&] { return settings; });
  ASSERT_TRUE(server.Start());
  const std::string url = "tftp://127.0.0.1:" + std::to_string(settings.port) + "/big.bin";
  // curl asks for tsize, and blksize when told.
  test::RunProgram({test::kCurlProgram, "-s", "--tftp-blksize", "1468", "-o", "curl.bin", url},
                   local_);
  EXPECT_EQ(ReadWholeFile(local_ / "curl.bin"), big);
  test::RunProgram({test::kCurlProgram, "-s", "-o", "curl-plain.bin", url}, local_);
  EXPECT_EQ(ReadWholeFile(local_ / "curl-plain.bin"), big);
  // The tftp-hpa client asks for no options at all.
  RunTftpHpa(settings.port, "octet", "get big.bin hpa.bin", local_);
  EXPECT_EQ(ReadWholeFile(local_ / "hpa.bin"), big);
  // And our own client, with a window, both ways.
  EXPECT_TRUE(Transfer(kTftpRrq, TftpMode::Octet, settings.port, "big.bin", "ours.bin",
                       {1468, 16, 0, true}));
  EXPECT_EQ(ReadWholeFile(local_ / "ours.bin"), big);
  EXPECT_TRUE(
      Transfer(kTftpWrq, TftpMode::Octet, settings.port, "up.bin", "ours.bin", {1000, 8, 0, true}));
  EXPECT_EQ(ReadWholeFile(served_ / "up.bin"), big);
  // Each transfer's line is written as its thread ends.
  const auto logged = [&server](const std::string& part) {
    return test::WaitUntil([&] {
      const std::vector<std::string> log = server.LogLines();
      return std::any_of(log.begin(), log.end(), [&part](const std::string& line) {
        return line.find(part) != std::string::npos;
      });
    });
  };
  EXPECT_TRUE(logged("200000 bytes (tsize 200000, blksize 1468"));
  EXPECT_TRUE(logged("200000 bytes (blksize 1468, tsize 200000, windowsize 16) sent."));
  EXPECT_TRUE(logged("200000 bytes (blksize 1000, tsize 200000, windowsize 8) received."));
}

TEST_F(TftpPeerTest, TheTftpHpaClientGetsFromOurServerWhichKeepsToItsFolder) {
  NETROVE_REQUIRE_PROGRAM(test::kTftpProgram);
  fs::create_symlink("/etc", served_ / "etc");
  fs::create_symlink("binary.bin", served_ / "alias.bin");
  const TftpServerSettings settings{test::FreeUdpPort(), served_, false};
  CTftpServer server(reporter_, [&] { return settings; });
  ASSERT_TRUE(server.Start());
  const std::uint16_t port = settings.port;

  RunTftpHpa(port, "octet", "get /binary.bin binary.bin", local_);
  EXPECT_EQ(ReadWholeFile(local_ / "binary.bin"), ReadWholeFile(served_ / "binary.bin"));
  // The same socket serves IPv6 requests.
  RunTftpHpa(port, "octet", "get /binary.bin binary6.bin", local_, "::1");
  EXPECT_EQ(ReadWholeFile(local_ / "binary6.bin"), ReadWholeFile(served_ / "binary.bin"));
  RunTftpHpa(port, "octet", "get /alias.bin alias.bin", local_);
  EXPECT_EQ(ReadWholeFile(local_ / "alias.bin"), ReadWholeFile(served_ / "binary.bin"));
  RunTftpHpa(port, "netascii", "get /text.txt text.txt", local_);
  EXPECT_EQ(ReadWholeFile(local_ / "text.txt"), kText);

  // A name without a leading slash (curl's tftp://host/file) is served from
  // the folder, and is confined to it all the same.
  RunTftpHpa(port, "octet", "get binary.bin relative.bin", local_);
  EXPECT_EQ(ReadWholeFile(local_ / "relative.bin"), ReadWholeFile(served_ / "binary.bin"));
  for (const char* outside :
       {"/../x", "/etc/passwd", "/etc/../../etc/passwd", "../../etc/passwd", "etc/passwd"}) {
    EXPECT_NE(RunTftpHpa(port, "octet", std::string("get ") + outside + " p2", local_)
                  .find("Access violation."),
              std::string::npos)
        << outside;
    EXPECT_EQ(ReadWholeFile(local_ / "p2"), "") << outside;
  }
  // Creation is off: nothing is written.
  EXPECT_NE(RunTftpHpa(port, "octet", "put binary.bin /new.bin", local_).find("Access violation."),
            std::string::npos);
  EXPECT_FALSE(fs::exists(served_ / "new.bin"));
}

TEST_F(TftpPeerTest, OurServerCreatesNewFilesOnlyAndNeverReplacesOne) {
  NETROVE_REQUIRE_PROGRAM(test::kTftpProgram);
  const TftpServerSettings settings{test::FreeUdpPort(), served_, true};
  CTftpServer server(reporter_, [&] { return settings; });
  ASSERT_TRUE(server.Start());
  WriteWholeFile(local_ / "up.bin", RandomBytes(70000));
  WriteWholeFile(local_ / "text.txt", kText);

  RunTftpHpa(settings.port, "octet", "put up.bin /up.bin", local_);
  EXPECT_EQ(ReadWholeFile(served_ / "up.bin"), ReadWholeFile(local_ / "up.bin"));
  RunTftpHpa(settings.port, "netascii", "put text.txt /text-copy.txt", local_);
  EXPECT_EQ(ReadWholeFile(served_ / "text-copy.txt"), kText);
  const std::string before = ReadWholeFile(served_ / "binary.bin");
  EXPECT_NE(RunTftpHpa(settings.port, "octet", "put up.bin /binary.bin", local_)
                .find("File already exists."),
            std::string::npos);
  EXPECT_EQ(ReadWholeFile(served_ / "binary.bin"), before);
}

// A plain UDP socket on loopback standing in for a peer that misbehaves.
class ScriptedPeer {
 public:
  // On 127.0.0.1 unless another loopback address is named.
  explicit ScriptedPeer(const char* address = "127.0.0.1")
      : socket_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    address_ = test::Address(address, 0);
    ::bind(socket_, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
    socklen_t size = sizeof address_;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address_), &size);
  }
  ~ScriptedPeer() { ::close(socket_); }
  std::uint16_t port() const { return ntohs(address_.sin_port); }
  void SendTo(const TftpPacket& packet, const sockaddr_in& to) {
    ::sendto(socket_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
  }
  // The next datagram within `waitMilliseconds`; empty when none came.
  TftpPacket Receive(int waitMilliseconds = 5000) {
    pollfd entry{socket_, POLLIN, 0};
    if (::poll(&entry, 1, waitMilliseconds) != 1) return {};
    TftpPacket packet(kTftpReceiveBuffer);
    socklen_t size = sizeof from_;
    const long count = ::recvfrom(socket_, packet.data(), packet.size(), 0,
                                  reinterpret_cast<sockaddr*>(&from_), &size);
    packet.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return packet;
  }
  const sockaddr_in& from() const { return from_; }

 private:
  int socket_;
  sockaddr_in address_{};
  sockaddr_in from_{};
};

TEST_F(TftpPeerTest, OurServerAnswersOnlyWellFormedRequestsAndCapsItsTransfers) {
  const TftpServerSettings settings{test::FreeUdpPort(), served_, false};
  auto server = std::make_unique<CTftpServer>(reporter_, [&] { return settings; });
  ASSERT_TRUE(server->Start());
  const sockaddr_in serverAddress = test::Address("127.0.0.1", settings.port);

  ScriptedPeer peer;
  peer.SendTo(test::Bytes(std::string_view("\0\1/name-without-nul", 19)), serverAddress);
  const TftpPacket refusal = peer.Receive();
  EXPECT_EQ(refusal, BuildTftpError(0, "Invalid file name."));
  EXPECT_NE(ntohs(peer.from().sin_port), settings.port) << "answered from a transfer port";
  // Stray DATA, ACK and short datagrams get no answer at all.
  peer.SendTo(test::Bytes(std::string_view("\0", 1)), serverAddress);
  peer.SendTo(BuildTftpData(1, test::Bytes("abc")), serverAddress);
  peer.SendTo(BuildTftpAck(1), serverAddress);
  EXPECT_TRUE(peer.Receive(300).empty());

  // Readers that never acknowledge hold their transfers, a few per address;
  // once every slot is taken one more is ignored.
  std::vector<std::unique_ptr<ScriptedPeer>> readers;
  const std::vector<std::string> hosts = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5",
                                          "127.0.0.6"};
  for (std::size_t i = 0; i <= CTftpServer::kMostTransfers; ++i) {
    readers.push_back(
        std::make_unique<ScriptedPeer>(hosts[i / CTftpServer::kMostTransfersPerAddress].c_str()));
    readers.back()->SendTo(BuildTftpRequest(kTftpRrq, "/binary.bin", TftpMode::Octet),
                           serverAddress);
    if (i < CTftpServer::kMostTransfers) {
      EXPECT_EQ(readers.back()->Receive().size(), 516u) << i;
    }
  }
  EXPECT_TRUE(readers.back()->Receive(300).empty());
  EXPECT_EQ(server->RunningTransfers(), CTftpServer::kMostTransfers);
  const auto lines = server->LogLines();
  // Ending the server ends the transfers it still runs.
  server.reset();
  EXPECT_TRUE(reporter_.Messages().empty());
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [](const std::string& line) {
                           return line.find("transfers are running already") != std::string::npos;
                         }),
            lines.end());
}

// Starts real threads until `allowed` have been started, then refuses, as a
// system that runs out of threads under load does.
class CThreadsRunningOut : public IThreadLauncher {
 public:
  explicit CThreadsRunningOut(int allowed) : allowed_(allowed) {}
  std::jthread Launch(Work work) override {
    if (allowed_.fetch_sub(1) <= 0) return refusing_.Launch(std::move(work));
    return SystemThreads().Launch(std::move(work));
  }
  int Refused() const { return refusing_.Attempts(); }

 private:
  std::atomic<int> allowed_;
  CRefusingThreads refusing_;
};

TEST_F(TftpPeerTest, AServerRefusedThreadsReportsItAndRequestsCannotEndIt) {
  const TftpServerSettings settings{test::FreeUdpPort(), served_, false};
  CRefusingThreads none;
  CTftpServer refused(
      reporter_, [&] { return settings; }, nullptr, none);
  EXPECT_FALSE(refused.Start());
  EXPECT_FALSE(refused.IsRunning());
  EXPECT_EQ(reporter_.Texts(), std::vector<std::string>{kNoThreadText});
  EXPECT_FALSE(test::UdpPortTaken(settings.port)) << "the port is given back";

  // The listener starts; every transfer thread is refused.
  CThreadsRunningOut threads(1);
  CTftpServer server(
      reporter_, [&] { return settings; }, nullptr, threads);
  ASSERT_TRUE(server.Start());
  const sockaddr_in serverAddress = test::Address("127.0.0.1", settings.port);
  const auto notServed = [&server] {
    const auto lines = server.LogLines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.find(std::string(" not served: ") + kNoThreadText) != std::string::npos;
    });
  };
  ScriptedPeer peer;
  for (int request = 1; request <= 3; ++request) {
    peer.SendTo(BuildTftpRequest(kTftpRrq, "/binary.bin", TftpMode::Octet), serverAddress);
    ASSERT_TRUE(test::WaitUntil([&] { return notServed() == request; }));
  }
  EXPECT_EQ(threads.Refused(), 3);
  EXPECT_TRUE(server.IsRunning());
  EXPECT_EQ(server.RunningTransfers(), 0u);
  EXPECT_EQ(reporter_.Messages().size(), 1u) << "a remote request shows no box";
}

TEST_F(TftpPeerTest, ARequesterCannotLockOthersOutAndASilentOneIsGivenUp) {
  const TftpServerSettings settings{test::FreeUdpPort(), served_, false};
  CTftpServer server(reporter_, [&] { return settings; });
  ASSERT_TRUE(server.Start());
  const sockaddr_in serverAddress = test::Address("127.0.0.1", settings.port);

  // One host sends as many requests as the server has slots and never answers.
  std::vector<std::unique_ptr<ScriptedPeer>> silent;
  for (std::size_t i = 0; i < CTftpServer::kMostTransfers; ++i) {
    silent.push_back(std::make_unique<ScriptedPeer>());
    silent.back()->SendTo(BuildTftpRequest(kTftpRrq, "/binary.bin", TftpMode::Octet),
                          serverAddress);
  }
  for (std::size_t i = 0; i < CTftpServer::kMostTransfersPerAddress; ++i) {
    EXPECT_EQ(silent[i]->Receive().size(), 516u) << i;
  }
  ASSERT_TRUE(test::WaitUntil([&] {
    const auto lines = server.LogLines();
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& line) {
                           return line.find("transfers of this address are running") !=
                                  std::string::npos;
                         }) ==
           static_cast<long>(CTftpServer::kMostTransfers - CTftpServer::kMostTransfersPerAddress);
  }));
  EXPECT_EQ(server.RunningTransfers(), CTftpServer::kMostTransfersPerAddress);

  // Another host is still served, and to the end.
  ScriptedPeer other("127.0.0.2");
  other.SendTo(BuildTftpRequest(kTftpRrq, "/text.txt", TftpMode::Octet), serverAddress);
  const TftpPacket block = other.Receive();
  EXPECT_EQ(block, BuildTftpData(1, test::Bytes(kText.substr(0, 512))));
  other.SendTo(BuildTftpAck(1), other.from());
  EXPECT_EQ(other.Receive(), BuildTftpData(2, test::Bytes(kText.substr(512))));
  other.SendTo(BuildTftpAck(2), other.from());
  EXPECT_TRUE(test::WaitUntil(
      [&] { return server.RunningTransfers() == CTftpServer::kMostTransfersPerAddress; }));
}

TEST_F(TftpPeerTest, OurServerRefusesAFifoAtOnceAndStopsPromptly) {
  ASSERT_EQ(::mkfifo((served_ / "pipe").c_str(), 0644), 0);
  fs::create_directories(served_ / "folder");
  const TftpServerSettings settings{test::FreeUdpPort(), served_, false};
  auto server = std::make_unique<CTftpServer>(reporter_, [&] { return settings; });
  ASSERT_TRUE(server->Start());
  const sockaddr_in serverAddress = test::Address("127.0.0.1", settings.port);
  ScriptedPeer peer;
  for (const char* name : {"/pipe", "/pipe", "folder"}) {
    peer.SendTo(BuildTftpRequest(kTftpRrq, name, TftpMode::Octet), serverAddress);
    const TftpPacket refusal = peer.Receive();
    ASSERT_GE(refusal.size(), 4u) << name;
    EXPECT_EQ(refusal[1], kTftpError) << name;
  }
  EXPECT_TRUE(test::WaitUntil([&] { return server->RunningTransfers() == 0; }));
  server.reset();  // returns: no thread is held by the pipe
}

TEST_F(TftpPeerTest, OurClientDropsAStrangersBlockAndFinishesWithTheServersOwn) {
  ScriptedPeer listener;
  ScriptedPeer transferPort;
  ScriptedPeer stranger;
  CTftpClient client(reporter_, nullptr);
  bool completed = false;
  std::thread worker([&] {
    completed = client.Run(
        {kTftpRrq, TftpMode::Octet, "127.0.0.1", listener.port(), "/f", (local_ / "f").string()});
  });
  EXPECT_EQ(listener.Receive(), BuildTftpRequest(kTftpRrq, "/f", TftpMode::Octet));
  const sockaddr_in clientAddress = listener.from();
  transferPort.SendTo(BuildTftpData(1, TftpPacket(512, 'a')), clientAddress);
  EXPECT_EQ(transferPort.Receive(), BuildTftpAck(1));
  stranger.SendTo(BuildTftpData(2, test::Bytes("evil")), clientAddress);
  transferPort.SendTo(BuildTftpData(2, test::Bytes("good")), clientAddress);
  EXPECT_EQ(transferPort.Receive(), BuildTftpAck(2));
  worker.join();
  EXPECT_TRUE(completed);
  EXPECT_EQ(ReadWholeFile(local_ / "f"), std::string(512, 'a') + "good");
  EXPECT_TRUE(stranger.Receive(100).empty());
}

TEST_F(TftpPeerTest, AServerAnsweringFromItsRequestPortIsRefusedAfterTheExactRequest) {
  test::CScriptedServer server(test::CScriptedServer::Transport::Udp);
  server.Start(test::Script()
                   .ExpectDatagram(std::string("\0\2/up.txt\0netascii\0", 19))
                   .SendDatagram(std::string("\0\4\0\0", 4)));
  WriteWholeFile(local_ / "up.txt", "text\n");
  EXPECT_FALSE(Transfer(kTftpWrq, TftpMode::Netascii, server.port(), "/up.txt", "up.txt"));
  EXPECT_TRUE(server.Finished());
  EXPECT_EQ(reporter_.Texts(), std::vector<std::string>{"The server did not change its port."});
}

TEST_F(TftpPeerTest, AGetOntoAnExistingFileFailsAtOnceAndAnAbortEndsQuietly) {
  ScriptedPeer listener;
  WriteWholeFile(local_ / "kept", "mine");
  EXPECT_FALSE(Transfer(kTftpRrq, TftpMode::Octet, listener.port(), "/f", "kept"));
  ASSERT_EQ(reporter_.Messages().size(), 1u);
  EXPECT_EQ(reporter_.Messages()[0].source, kSourceSystemMessage);
  EXPECT_EQ(reporter_.Messages()[0].errorCode, EEXIST);
  EXPECT_EQ(ReadWholeFile(local_ / "kept"), "mine");
  EXPECT_TRUE(listener.Receive(100).empty()) << "nothing is sent";

  // A server that never answers; the window's Interrupt ends the wait.
  CTftpClient client(reporter_, nullptr);
  bool completed = true;
  std::thread worker([&] {
    completed = client.Run({kTftpRrq, TftpMode::Octet, "127.0.0.1", listener.port(), "/f",
                            (local_ / "partial").string()});
  });
  EXPECT_FALSE(listener.Receive().empty());
  client.Abort();
  worker.join();
  EXPECT_FALSE(completed);
  EXPECT_EQ(reporter_.Messages().size(), 1u) << "an interrupted transfer shows nothing";
  EXPECT_FALSE(fs::exists(local_ / "partial"));
}

}  // namespace
}  // namespace netrove
