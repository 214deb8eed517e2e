// The transfer engine driven packet by packet and with time-out events: no
// socket, no sleeping.
#include "transfer/tftp_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tftp_memory_file.h"
#include "transfer/tftp_packet.h"

namespace netrove {
namespace {

using test::Bytes;
using test::MemoryFile;
using test::MemoryFileState;
using test::PeerAddress;

TftpPacket Data(std::uint16_t block, std::size_t size, std::uint8_t fill = 'x') {
  return BuildTftpData(block, std::vector<std::uint8_t>(size, fill));
}

TftpPacket ErrorPacket(std::uint16_t code, std::string_view text) {
  // Sized once: GCC 12 at -O2 misjudges an insert that grows a 4-byte vector.
  TftpPacket packet(4 + text.size());
  packet[1] = 5;
  packet[3] = static_cast<std::uint8_t>(code);
  std::copy(text.begin(), text.end(), packet.begin() + 4);
  return packet;
}

// One engine with a file in memory; `now` is the clock the test moves.
class EngineTest : public ::testing::Test {
 protected:
  void Start(TftpRole role, TftpMode mode, const SocketAddress& peer) {
    engine_.reset();
    engine_ =
        std::make_unique<CTftpEngine>(role, std::make_unique<MemoryFile>(file_), mode, peer, now_);
  }
  void StartGet(TftpMode mode = TftpMode::Octet) {
    file_ = std::make_shared<MemoryFileState>();
    Start(TftpRole::Client, mode, serverRequestPort_);
    engine_->StartRequest(kTftpRrq, "/remote");
    sent_.push_back(Taken());
  }
  void StartServingRead(std::string_view content) {
    file_ = std::make_shared<MemoryFileState>();
    file_->bytes.assign(content.begin(), content.end());
    Start(TftpRole::Server, TftpMode::Octet, client_);
    engine_->StartServingRead();
    sent_.push_back(Taken());
  }
  // Delivers a packet as it would arrive during the current wait.
  void Deliver(const TftpPacket& packet, const SocketAddress& from) {
    engine_->WaitRemaining(now_);
    engine_->OnPacket(packet, from, now_);
    sent_.push_back(Taken());
  }
  TftpPacket Taken() {
    const auto packet = engine_->TakeOutgoing();
    return {packet.begin(), packet.end()};
  }
  std::string FailureText() const { return engine_->failure().text; }

  std::shared_ptr<MemoryFileState> file_ = std::make_shared<MemoryFileState>();
  std::unique_ptr<CTftpEngine> engine_;
  std::uint32_t now_ = 4'294'000'000u;  // close to the tick count's wrap
  std::vector<TftpPacket> sent_;
  const SocketAddress serverRequestPort_ = PeerAddress("127.0.0.1", 69);
  const SocketAddress server_ = PeerAddress("127.0.0.1", 40001);
  const SocketAddress client_ = PeerAddress("127.0.0.1", 50002);
};

TEST_F(EngineTest, GetAcknowledgesARepeatedBlockAgainWithoutWritingItTwice) {
  StartGet();
  EXPECT_EQ(sent_.back(), Bytes(std::string_view("\0\1/remote\0octet\0", 16)));
  Deliver(Data(1, 512), server_);
  EXPECT_EQ(sent_.back(), BuildTftpAck(1));
  Deliver(Data(1, 512), server_);
  EXPECT_EQ(sent_.back(), BuildTftpAck(1));
  Deliver(Data(2, 10), server_);
  EXPECT_EQ(sent_.back(), BuildTftpAck(2));
  EXPECT_EQ(engine_->state(), TftpState::Finished);
  EXPECT_EQ(file_->bytes.size(), 522u);
  EXPECT_EQ(file_->writes, 2);
  EXPECT_TRUE(file_->kept);
}

TEST_F(EngineTest, GetRefusesLaterAndEarlierBlocksAndDropsTheFile) {
  StartGet();
  Deliver(Data(2, 512), server_);
  EXPECT_EQ(FailureText(), "Received a later data block.");
  EXPECT_TRUE(sent_.back().empty()) << "nothing is sent to a peer that broke the rules";
  EXPECT_FALSE(file_->kept);

  StartGet();
  for (std::uint16_t block = 1; block <= 3; ++block) Deliver(Data(block, 512), server_);
  Deliver(Data(1, 512), server_);
  EXPECT_EQ(FailureText(), "Received an earlier data block.");
}

TEST_F(EngineTest, AnErrorShowsItsTextOrTheTextOfItsCode) {
  StartGet();
  Deliver(ErrorPacket(1, std::string_view("no such file here\0", 18)), server_);
  EXPECT_EQ(FailureText(), "no such file here");
  StartGet();
  Deliver(ErrorPacket(2, std::string_view("\0", 1)), server_);
  EXPECT_EQ(FailureText(), "Access violation.");
  StartGet();
  Deliver(ErrorPacket(42, ""), server_);
  EXPECT_EQ(FailureText(), "Not defined.");
  // In the middle of a transfer too: the server's reason, not a protocol error.
  StartGet();
  Deliver(Data(1, 512), server_);
  Deliver(ErrorPacket(3, std::string_view("Disk full or allocation exceeded.\0", 34)), server_);
  EXPECT_EQ(FailureText(), "Disk full or allocation exceeded.");
}

// Over IPv6 the whole address counts: another host of the same prefix, the
// same address on another interface and the IPv4 loopback are all strays.
TEST_F(EngineTest, AnIPv6PeerIsTheWholeAddressWithItsScopeAndPort) {
  auto at = [](const char* text, std::uint16_t port) {
    SocketAddress address = SocketAddress::FromText(text).value_or(SocketAddress{});
    address.setPort(port);
    return address;
  };
  file_ = std::make_shared<MemoryFileState>();
  Start(TftpRole::Client, TftpMode::Octet, at("fe80::1%lo", 69));
  engine_->StartRequest(kTftpRrq, "/remote");
  Deliver(Data(1, 512), at("fe80::1%lo", 40001));
  Deliver(Data(2, 5, 'E'), at("fe80::1%lo", 40002));
  Deliver(Data(2, 5, 'E'), at("fe80::2%lo", 40001));
  Deliver(Data(2, 5, 'E'), at("fe80::1", 40001));
  Deliver(Data(2, 5, 'E'), at("127.0.0.1", 40001));
  EXPECT_EQ(engine_->straysDropped(), 4u);
  Deliver(Data(2, 5, 'G'), at("fe80::1%lo", 40001));
  EXPECT_EQ(engine_->state(), TftpState::Finished);
}

TEST_F(EngineTest, PacketsFromAnyoneButThePeerAreDroppedAndTheTransferGoesOn) {
  StartGet();
  Deliver(Data(1, 512), server_);
  Deliver(ErrorPacket(0, "go away"), PeerAddress("127.0.0.1", 40002));  // wrong port
  Deliver(Data(2, 5, 'E'), PeerAddress("127.0.0.9", 40001));            // wrong host
  Deliver(Data(2, 5, 'E'), PeerAddress("127.0.0.1", 69));
  EXPECT_EQ(engine_->state(), TftpState::Running);
  EXPECT_EQ(engine_->straysDropped(), 3u);
  EXPECT_TRUE(sent_.back().empty()) << "strays get no answer";
  Deliver(Data(2, 5, 'G'), server_);
  EXPECT_EQ(engine_->state(), TftpState::Finished);
  EXPECT_EQ(file_->bytes.back(), 'G');
}

TEST_F(EngineTest, AServerAnsweringFromItsRequestPortIsRefused) {
  StartGet();
  Deliver(Data(1, 512), serverRequestPort_);
  EXPECT_EQ(FailureText(), "The server did not change its port.");
}

// Lets every wait of the engine run out; the waits it began.
std::vector<std::uint32_t> WaitsUntilGivenUp(CTftpEngine& engine, std::uint32_t& now) {
  std::vector<std::uint32_t> waits;
  while (engine.state() == TftpState::Running) {
    const std::uint32_t wait = engine.WaitRemaining(now);
    waits.push_back(wait);
    now += wait;
    engine.OnTimeout(now);
    static_cast<void>(engine.TakeOutgoing());
  }
  return waits;
}

TEST_F(EngineTest, ASilentServerIsGivenUpWithinAMinuteInAll) {
  StartGet();
  std::vector<std::uint32_t> waits;
  while (engine_->state() == TftpState::Running) {
    const std::uint32_t wait = engine_->WaitRemaining(now_);
    waits.push_back(wait);
    // A stranger's packet halfway does not restart the wait.
    engine_->OnPacket(Data(1, 512), PeerAddress("10.1.1.1", 40001), now_ + wait / 2);
    EXPECT_EQ(engine_->WaitRemaining(now_ + wait / 2), wait - wait / 2);
    now_ += wait;
    engine_->OnTimeout(now_);
    const TftpPacket resent = Taken();
    if (engine_->state() == TftpState::Running) {
      EXPECT_EQ(resent, sent_.front());
    }
  }
  // The backoff's next wait (192 s) is cut to what is left of the minute.
  EXPECT_EQ(waits, (std::vector<std::uint32_t>{3000, 6000, 24000, 27000}));
  EXPECT_EQ(FailureText(), "No response from the other side; transfer timed out.");
}

TEST_F(EngineTest, ASilentRequesterFreesTheServersTransferWithinAMinuteOfEachBlock) {
  StartServingRead(std::string(2000, 'a'));
  // The requester answers the first block after a retransmission, then falls
  // silent: the bound starts anew with every answer, the carried-over wait of
  // 6 s doubling until the minute is spent.
  now_ += engine_->WaitRemaining(now_);
  engine_->OnTimeout(now_);
  Deliver(BuildTftpAck(1), client_);
  EXPECT_EQ(WaitsUntilGivenUp(*engine_, now_), (std::vector<std::uint32_t>{6000, 12000, 42000}));
  EXPECT_EQ(engine_->state(), TftpState::Failed);

  // A client's bound comes from its settings.
  StartGet();
  engine_->SetGiveUpAfter(10000);
  EXPECT_EQ(WaitsUntilGivenUp(*engine_, now_), (std::vector<std::uint32_t>{3000, 6000, 1000}));
  EXPECT_EQ(FailureText(), "No response from the other side; transfer timed out.");
}

TEST_F(EngineTest, AFileOfTwoFullBlocksEndsWithAnEmptyBlockAndRepeatedAcksAreIgnored) {
  StartServingRead(std::string(1024, 'a'));
  EXPECT_EQ(sent_.back(), Data(1, 512, 'a'));
  Deliver(BuildTftpAck(1), client_);
  EXPECT_EQ(sent_.back(), Data(2, 512, 'a'));
  Deliver(BuildTftpAck(1), client_);
  EXPECT_TRUE(sent_.back().empty()) << "a repeated ACK sends nothing";
  Deliver(BuildTftpAck(2), client_);
  EXPECT_EQ(sent_.back(), Data(3, 0));
  Deliver(BuildTftpAck(3), client_);
  EXPECT_EQ(engine_->state(), TftpState::Finished);
  EXPECT_EQ(engine_->bytesTransferred(), 1024u);
}

TEST_F(EngineTest, AcksForOtherBlocksAndMalformedPacketsEndTheTransfer) {
  StartServingRead(std::string(2000, 'a'));
  Deliver(BuildTftpAck(1), client_);
  Deliver(BuildTftpAck(0), client_);
  EXPECT_EQ(FailureText(), "Received the ACK for an earlier data block.");
  StartServingRead("a");
  Deliver(BuildTftpAck(7), client_);
  EXPECT_EQ(FailureText(), "Received the ACK for a later data block.");
  StartServingRead("a");
  Deliver(Bytes(std::string_view("\0\4\0\1\0", 5)), client_);
  EXPECT_EQ(FailureText(), "ACK packet received with an improper length.");
  StartServingRead("a");
  Deliver(Bytes(std::string_view("\0\4\0", 3)), client_);
  EXPECT_EQ(FailureText(), "A data packet was received with an improper length.");
  StartServingRead("a");
  Deliver(Bytes(std::string_view("\0\11\0\1", 4)), client_);
  EXPECT_EQ(FailureText(), "Invalid opcode.");
  StartServingRead("a");
  Deliver(Data(1, 3), client_);
  EXPECT_EQ(FailureText(), "Protocol error : OpCode Sent (3) --- OpCode Received (3).");
  StartGet();
  Deliver(Data(1, 513), server_);
  EXPECT_EQ(FailureText(), "A data packet was received with an improper length.");
}

TEST_F(EngineTest, NetasciiRefusesACarriageReturnFollowedByAnotherByte) {
  StartGet(TftpMode::Netascii);
  Deliver(BuildTftpData(1, Bytes("ab\rc")), server_);
  EXPECT_EQ(FailureText(),
            "The character following a carriage return was neither a line feed nor a null.");
}

// Two engines wired to each other: the client's packets go to the server's
// engine and back, optionally with one packet delivered twice.
struct EnginePair {
  EnginePair(TftpOpcode opcode, TftpMode mode, std::string_view clientContent,
             std::string_view serverContent)
      : client(TftpRole::Client, std::make_unique<MemoryFile>(clientFile), mode,
               PeerAddress("127.0.0.1", 69), 0),
        server(TftpRole::Server, std::make_unique<MemoryFile>(serverFile), mode,
               PeerAddress("127.0.0.1", 50000), 0) {
    clientFile->bytes.assign(clientContent.begin(), clientContent.end());
    serverFile->bytes.assign(serverContent.begin(), serverContent.end());
    client.StartRequest(opcode, "/f");
    static_cast<void>(client.TakeOutgoing());  // the request reaches the server's listener
    opcode == kTftpRrq ? server.StartServingRead() : server.StartServingWrite();
  }
  // Runs to the end; the packet whose bytes match `duplicate` is delivered twice.
  void Run(const TftpPacket& duplicate = {}) {
    const SocketAddress clientAddress = PeerAddress("127.0.0.1", 50000);
    const SocketAddress serverAddress = PeerAddress("127.0.0.1", 40000);
    while (server.state() == TftpState::Running || client.state() == TftpState::Running) {
      bool moved = Move(server, serverAddress, client, duplicate);
      moved = Move(client, clientAddress, server, duplicate) || moved;
      if (!moved) break;
    }
  }
  bool Move(CTftpEngine& from, const SocketAddress& address, CTftpEngine& to,
            const TftpPacket& duplicate) {
    const auto packet = from.TakeOutgoing();
    if (packet.empty()) return false;
    to.WaitRemaining(0);
    to.OnPacket(packet, address, 0);
    if (packet.size() == duplicate.size() &&
        std::equal(packet.begin(), packet.end(), duplicate.begin())) {
      to.OnPacket(packet, address, 0);
    }
    if (wire.size() < kWireKept) wire.emplace_back(packet.begin(), packet.end());
    return true;
  }
  std::shared_ptr<MemoryFileState> clientFile = std::make_shared<MemoryFileState>();
  std::shared_ptr<MemoryFileState> serverFile = std::make_shared<MemoryFileState>();
  CTftpEngine client;
  CTftpEngine server;
  static constexpr std::size_t kWireKept = 8;  // the first packets, for a look at the bytes
  std::vector<TftpPacket> wire;
};

TEST(EnginePairTest, TransfersPastBlock65535RollOverInBothDirections) {
  const std::string content(65536 * 512 + 100, 'r');
  // The last block before the wrap arrives twice.
  const TftpPacket block65535 = Data(65535, 512, 'r');
  EnginePair get(kTftpRrq, TftpMode::Octet, "", content);
  get.Run(block65535);
  EXPECT_EQ(get.client.state(), TftpState::Finished) << get.client.failure().text;
  EXPECT_EQ(get.server.state(), TftpState::Finished) << get.server.failure().text;
  EXPECT_EQ(get.clientFile->bytes.size(), content.size());

  EnginePair put(kTftpWrq, TftpMode::Octet, content, "");
  put.Run(block65535);
  EXPECT_EQ(put.server.state(), TftpState::Finished) << put.server.failure().text;
  EXPECT_EQ(put.client.state(), TftpState::Finished) << put.client.failure().text;
  EXPECT_EQ(put.serverFile->bytes.size(), content.size());
}

TEST(EnginePairTest, NetasciiSendsLineEndsAsCrLfAndBareCrAsCrNulAcrossBlocks) {
  // A bare CR as the 512th byte: its NUL opens the second block.
  std::string text(511, 'a');
  text += "\rb\nc\r\nd\r";
  EnginePair put(kTftpWrq, TftpMode::Netascii, text, "");
  put.Run();
  ASSERT_EQ(put.server.state(), TftpState::Finished) << put.server.failure().text;
  // WRQ's ACK 0, then DATA 1 and DATA 2 from the client.
  const TftpPacket& first = put.wire[1];
  const TftpPacket& second = put.wire[3];
  EXPECT_EQ(first.size(), 516u);
  EXPECT_EQ(first.back(), '\r');
  EXPECT_EQ(second, BuildTftpData(2, Bytes(std::string_view("\0b\r\nc\r\0\r\nd\r\0", 12))));
  EXPECT_EQ(std::string(put.serverFile->bytes.begin(), put.serverFile->bytes.end()), text);
}

TEST(TftpPacketTest, RequestsAreReadOnlyInsideThePacket) {
  const auto parse = [](std::string_view bytes) { return ParseTftpRequest(Bytes(bytes)); };
  EXPECT_FALSE(parse(std::string_view("\0", 1)).refusal);
  EXPECT_FALSE(parse(std::string_view("\0", 1)).request);
  EXPECT_EQ(parse(std::string_view("\0\1/etc", 6)).refusal->text, "Invalid file name.");
  EXPECT_EQ(parse(std::string_view("\0\1/a\0oct", 8)).refusal->text, "Invalid mode.");
  EXPECT_EQ(parse(std::string_view("\0\1/a\0mail\0", 10)).refusal->code, kTftpIllegalOperation);
  const auto options = parse(std::string_view("\0\2/a\0OCTET\0blksize\0001428\0", 25));
  ASSERT_TRUE(options.request);
  EXPECT_EQ(options.request->opcode, kTftpWrq);
  EXPECT_EQ(options.request->fileName, "/a");
  EXPECT_EQ(options.request->mode, TftpMode::Octet);
}

TEST(TftpPacketTest, AnErrorPacketNeverExceedsOneFullPacket) {
  const TftpPacket packet = BuildTftpError(kTftpAccessViolation, std::string(1020, 'e'));
  EXPECT_EQ(packet.size(), kTftpMaxPacket);
  EXPECT_EQ(packet.back(), 0);
  EXPECT_EQ(BuildTftpError(0, "").size(), 5u);
}

TEST(TftpPacketTest, TheTransferLineShowsMillisecondsWithThreeDigits) {
  EXPECT_EQ(FormatTftpTransferLine(1024, 1005), "Bytes transferred: 1024   in   1.005 seconds.");
  EXPECT_EQ(FormatTftpTransferLine(0, 0), "Bytes transferred: 0   in   0.000 seconds.");
}

}  // namespace
}  // namespace netrove
