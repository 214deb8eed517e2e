// Option negotiation and windows, driven packet by packet between engines and
// against hand-made answers: no socket, no sleeping.
#include "transfer/tftp_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tftp_memory_file.h"
#include "transfer/tftp_engine.h"

namespace netrove {
namespace {

using test::Bytes;
using test::MemoryFile;
using test::MemoryFileState;
using test::PeerAddress;

// A client and a server engine that negotiate as over a socket; the first
// packet equal to `lost` is dropped once.
struct NegotiatingPair {
  NegotiatingPair(TftpOpcode opcode, TftpMode mode, const TftpOptions& asked,
                  const std::string& content)
      : client(TftpRole::Client, std::make_unique<MemoryFile>(clientFile), mode,
               PeerAddress("127.0.0.1", 69), 0),
        server(TftpRole::Server, std::make_unique<MemoryFile>(serverFile), mode,
               PeerAddress("127.0.0.1", 50000), 0) {
    (opcode == kTftpRrq ? serverFile : clientFile)->bytes.assign(content.begin(), content.end());
    client.StartRequest(opcode, "/f", asked);
    const auto request = client.TakeOutgoing();
    const TftpRequestParse parse = ParseTftpRequest(request);
    server.UseOptions(
        NegotiateTftpOptions(parse.request->options, opcode, mode, serverFile->bytes.size()));
    opcode == kTftpRrq ? server.StartServingRead() : server.StartServingWrite();
  }
  void Run(const TftpPacket& lost = {}) {
    bool dropped = false;
    for (int turns = 0; turns < 100'000; ++turns) {
      bool moved = Move(server, PeerAddress("127.0.0.1", 40000), client, lost, dropped);
      moved = Move(client, PeerAddress("127.0.0.1", 50000), server, lost, dropped) || moved;
      if (moved) continue;
      if (server.state() != TftpState::Running && client.state() != TftpState::Running) return;
      // Nothing in flight: both waits run out, as after a lost packet.
      client.OnTimeout(0);
      server.OnTimeout(0);
      ++timeouts;
    }
  }
  bool Move(CTftpEngine& from, const SocketAddress& address, CTftpEngine& to,
            const TftpPacket& lost, bool& dropped) {
    const auto packet = from.TakeOutgoing();
    if (packet.empty()) return false;
    ++packets;
    if (!dropped && packet.size() == lost.size() &&
        std::equal(packet.begin(), packet.end(), lost.begin())) {
      dropped = true;
      return true;
    }
    to.WaitRemaining(0);
    to.OnPacket(packet, address, 0);
    return true;
  }
  std::shared_ptr<MemoryFileState> clientFile = std::make_shared<MemoryFileState>();
  std::shared_ptr<MemoryFileState> serverFile = std::make_shared<MemoryFileState>();
  CTftpEngine client;
  CTftpEngine server;
  int packets = 0;
  int timeouts = 0;
};

std::string Content(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7) % 251);
  return content;
}

TEST(TftpOptionsTest, WindowsOfLargeBlocksArriveWholeInBothDirectionsEvenAfterALostBlock) {
  const TftpOptions asked{1468, 16, 0, true};
  const std::string content = Content(1468 * 40 + 3);
  for (const TftpOpcode opcode : {kTftpRrq, kTftpWrq}) {
    for (const TftpMode mode : {TftpMode::Octet, TftpMode::Netascii}) {
      // Block 5 of the first window is lost once: the receiver reports the
      // gap, the sender goes back to it.
      NegotiatingPair pair(opcode, mode, asked, content);
      const std::string fifth = content.substr(4 * 1468, 1468);
      pair.Run(mode == TftpMode::Octet ? BuildTftpData(5, Bytes(fifth)) : TftpPacket{});
      ASSERT_EQ(pair.client.state(), TftpState::Finished) << pair.client.failure().text;
      ASSERT_EQ(pair.server.state(), TftpState::Finished) << pair.server.failure().text;
      const auto& arrived = (opcode == kTftpRrq ? pair.clientFile : pair.serverFile)->bytes;
      EXPECT_EQ(std::string(arrived.begin(), arrived.end()), content);
      EXPECT_EQ(pair.client.parameters().blockSize, 1468u);
      EXPECT_EQ(pair.client.parameters().windowSize, 16u);
      EXPECT_EQ(pair.timeouts, 0);
      // 41 blocks in windows of 16: a few ACKs (one for the gap), the OACK
      // and its answer are far fewer packets than one ACK per block.
      if (mode == TftpMode::Octet) {
        EXPECT_LT(pair.packets, 41 + 16 + 10);
      }
    }
  }
  // A lost window's ACK: the sender's time-out sends the window again, whose
  // repeats are acknowledged and never written twice.
  NegotiatingPair pair(kTftpRrq, TftpMode::Octet, asked, content);
  pair.Run(BuildTftpAck(16));
  ASSERT_EQ(pair.client.state(), TftpState::Finished) << pair.client.failure().text;
  EXPECT_EQ(std::string(pair.clientFile->bytes.begin(), pair.clientFile->bytes.end()), content);
  EXPECT_EQ(pair.timeouts, 1);
}

// A client engine that asked for options, fed the server's answers by hand.
class OptionClientTest : public ::testing::Test {
 protected:
  void Start(TftpOpcode opcode, const TftpOptions& asked, std::string content = {}) {
    file_ = std::make_shared<MemoryFileState>();
    file_->bytes.assign(content.begin(), content.end());
    engine_ = std::make_unique<CTftpEngine>(TftpRole::Client, std::make_unique<MemoryFile>(file_),
                                            TftpMode::Octet, PeerAddress("127.0.0.1", 69), 0);
    engine_->StartRequest(opcode, "/f", asked);
    request_ = Taken();
  }
  TftpPacket Deliver(const TftpPacket& packet) {
    engine_->WaitRemaining(0);
    engine_->OnPacket(packet, PeerAddress("127.0.0.1", 40000), 0);
    return Taken();
  }
  TftpPacket Taken() {
    const auto packet = engine_->TakeOutgoing();
    return {packet.begin(), packet.end()};
  }
  std::shared_ptr<MemoryFileState> file_;
  std::unique_ptr<CTftpEngine> engine_;
  TftpPacket request_;
};

TEST_F(OptionClientTest, AnOackNotAskedForOrBeyondTheRequestIsRefusedWithError8) {
  Start(kTftpRrq, {1024, 0, 5, false});
  constexpr char kRequest[] =
      "\0\1/f\0octet\0blksize\0"
      "1024\0timeout\0"
      "5";
  EXPECT_EQ(request_, Bytes(std::string_view(kRequest, sizeof kRequest)));
  const std::vector<std::pair<TftpPacket, std::string>> refused = {
      {BuildTftpOack({{"blksize", "2048"}}),
       "The server answered the option blksize with 2048, which is not what was asked."},
      {BuildTftpOack({{"blksize", "7"}}),
       "The server answered the option blksize with 7, which is not what was asked."},
      {BuildTftpOack({{"timeout", "9"}}),
       "The server answered the option timeout with 9, which is not what was asked."},
      {BuildTftpOack({{"windowsize", "4"}}),
       "The server answered with an option that was not asked for (windowsize)."},
      {BuildTftpOack({{"blksize", "512"}, {"blksize", "512"}}),
       "The server answered the option blksize twice."},
      {BuildTftpOack({{"blksize", "1x"}}),
       "The server answered the option blksize with 1x, which is not what was asked."},
  };
  for (const auto& [oack, text] : refused) {
    Start(kTftpRrq, {1024, 0, 5, false});
    EXPECT_EQ(Deliver(oack), BuildTftpError(kTftpOptionRefused, text));
    EXPECT_EQ(engine_->state(), TftpState::Failed);
    EXPECT_EQ(engine_->failure().text, text);
    EXPECT_TRUE(Taken().empty());
  }
  // A client that asked nothing refuses any OACK, even an empty one.
  Start(kTftpRrq, {});
  EXPECT_EQ(request_, Bytes(std::string_view("\0\1/f\0octet\0", 11)));
  EXPECT_EQ(
      Deliver(BuildTftpOack({})),
      BuildTftpError(kTftpOptionRefused, "The server answered with options none were asked for."));
  EXPECT_EQ(engine_->state(), TftpState::Failed);
  // A smaller block than asked is accepted and used.
  Start(kTftpRrq, {1024, 0, 0, true});
  EXPECT_EQ(Deliver(BuildTftpOack({{"blksize", "600"}, {"tsize", "601"}})), BuildTftpAck(0));
  EXPECT_EQ(Deliver(BuildTftpData(1, std::vector<std::uint8_t>(600, 'a'))), BuildTftpAck(1));
  EXPECT_EQ(Deliver(BuildTftpData(2, Bytes("b"))), BuildTftpAck(2));
  EXPECT_EQ(engine_->state(), TftpState::Finished);
  EXPECT_EQ(file_->bytes.size(), 601u);
  EXPECT_EQ(engine_->parameters().transferSize, 601u);
}

TEST_F(OptionClientTest, AServerThatIgnoresOptionsIsUsedWithClassicBlocks) {
  Start(kTftpRrq, {1468, 16, 0, false});
  EXPECT_EQ(Deliver(BuildTftpData(1, std::vector<std::uint8_t>(512, 'a'))), BuildTftpAck(1));
  EXPECT_EQ(engine_->state(), TftpState::Running);
  EXPECT_EQ(Deliver(BuildTftpData(2, Bytes("end"))), BuildTftpAck(2));
  EXPECT_EQ(engine_->state(), TftpState::Finished);
  EXPECT_EQ(file_->bytes.size(), 515u);

  // A put whose request told the file's size is answered with ACK 0, and
  // sends one 512-byte block at a time.
  Start(kTftpWrq, {1468, 16, 0, true}, std::string(700, 'p'));
  constexpr char kSize[] =
      "tsize\0"
      "700";
  EXPECT_NE(std::string(request_.begin(), request_.end()).find(std::string(kSize, sizeof kSize)),
            std::string::npos);
  EXPECT_EQ(Deliver(BuildTftpAck(0)).size(), 4u + 512u);
  EXPECT_TRUE(Taken().empty());
  EXPECT_EQ(Deliver(BuildTftpAck(1)).size(), 4u + 188u);
  Deliver(BuildTftpAck(2));
  EXPECT_EQ(engine_->state(), TftpState::Finished);
}

TEST(TftpNegotiationTest, TheServerGrantsWhatItKnowsWithinItsBoundsAndIgnoresTheRest) {
  // Names in any case, unknown and malformed options, repeats, and an
  // unfinished pair at the end of the request.
  constexpr char kRequest[] =
      "\0\1f\0octet\0BLKSIZE\0"
      "100000\0colour\0blue\0timeout\0"
      "300\0windowsize\0"
      "0\0"
      "windowsize\0"
      "500\0blksize\0"
      "9\0tsize\0"
      "0\0timeout\0"
      "2\0mul";
  const TftpRequestParse parse =
      ParseTftpRequest(Bytes(std::string_view(kRequest, sizeof kRequest - 1)));
  ASSERT_TRUE(parse.request);
  EXPECT_EQ(parse.request->options.size(), 8u);
  const TftpNegotiation read =
      NegotiateTftpOptions(parse.request->options, kTftpRrq, TftpMode::Octet, 12345);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"blksize", "65464"}, {"windowsize", "64"}, {"tsize", "12345"}, {"timeout", "2"}};
  ASSERT_EQ(read.answer.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(read.answer[i].name, expected[i].first);
    EXPECT_EQ(read.answer[i].value, expected[i].second);
  }
  EXPECT_EQ(read.parameters.blockSize, 65464u);
  EXPECT_EQ(read.parameters.windowSize, 64u);
  EXPECT_EQ(read.parameters.timeoutSeconds, 2u);
  // A netascii file's size is not told; nothing granted means no OACK.
  const TftpNegotiation text =
      NegotiateTftpOptions({{"tsize", "0"}}, kTftpRrq, TftpMode::Netascii, 12345);
  EXPECT_TRUE(text.answer.empty());
  EXPECT_EQ(text.parameters.blockSize, kTftpBlockSize);
  // A write's size is heard back.
  const TftpNegotiation write =
      NegotiateTftpOptions({{"tsize", "777"}}, kTftpWrq, TftpMode::Octet, std::nullopt);
  ASSERT_EQ(write.answer.size(), 1u);
  EXPECT_EQ(write.answer[0].value, "777");
}

}  // namespace
}  // namespace netrove
