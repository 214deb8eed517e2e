#include "transfer/tftp_engine.h"

#include <array>
#include <cstdio>

#include "transfer/tftp_file.h"

namespace netrove {
namespace {

constexpr std::string_view kImproperLength = "A data packet was received with an improper length.";
constexpr std::string_view kInvalidOpcode = "Invalid opcode.";
constexpr std::string_view kEarlierBlock = "Received an earlier data block.";
constexpr std::string_view kLaterBlock = "Received a later data block.";
constexpr std::string_view kAckLength = "ACK packet received with an improper length.";
constexpr std::string_view kEarlierAck = "Received the ACK for an earlier data block.";
constexpr std::string_view kLaterAck = "Received the ACK for a later data block.";
constexpr std::string_view kNoResponse = "No response from the other side; transfer timed out.";
constexpr std::string_view kServerKeptPort = "The server did not change its port.";
constexpr std::string_view kBadCarriageReturn =
    "The character following a carriage return was neither a line feed nor a null.";

// Block numbers are 16 bits wide and wrap: the distance from `expected` to
// `block`, as the nearer way round.
std::int16_t BlockDistance(std::uint16_t block, std::uint16_t expected) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(block - expected));
}

std::string ProtocolErrorText(std::uint16_t sent, std::uint16_t received) {
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(),
                "Protocol error : OpCode Sent (%u) --- OpCode Received (%u).", unsigned{sent},
                unsigned{received});
  return text.data();
}

}  // namespace

std::string FormatTftpTransferLine(std::uint64_t bytes, std::uint32_t elapsedMilliseconds) {
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "Bytes transferred: %llu   in   %u.%03u seconds.",
                static_cast<unsigned long long>(bytes), elapsedMilliseconds / 1000,
                elapsedMilliseconds % 1000);
  return text.data();
}

CTftpEngine::CTftpEngine(TftpRole role, std::unique_ptr<ITftpFile> file, TftpMode mode,
                         const SocketAddress& peer, std::uint32_t now)
    : role_(role),
      file_(std::move(file)),
      mode_(mode),
      peer_(peer),
      peerPortSettled_(role == TftpRole::Server),
      startTime_(now) {}

CTftpEngine::~CTftpEngine() = default;

void CTftpEngine::StartRequest(TftpOpcode opcode, std::string_view remoteName) {
  block_ = opcode == kTftpRrq ? 1 : 0;
  Send(BuildTftpRequest(opcode, remoteName, mode_));
}

void CTftpEngine::StartServingRead() {
  block_ = 0;
  SendNextBlock();
}

void CTftpEngine::StartServingWrite() {
  block_ = 1;
  Send(BuildTftpAck(0));
}

bool CTftpEngine::AcceptSource(const SocketAddress& from) {
  if (!from.sameHost(peer_)) return false;
  if (peerPortSettled_) return from.port() == peer_.port();
  // The client's first answer: the server must reply from a port of its own.
  if (from.port() == peer_.port()) {
    FailWith(kServerKeptPort);
    return true;
  }
  peer_.setPort(from.port());
  peerPortSettled_ = true;
  return true;
}

void CTftpEngine::OnPacket(std::span<const std::uint8_t> packet, const SocketAddress& from,
                           std::uint32_t now) {
  if (state_ != TftpState::Running) return;
  if (!AcceptSource(from)) {
    ++strays_;
    return;
  }
  if (state_ != TftpState::Running) return;
  waiting_ = false;
  timer_.OnResponse(now);
  const auto received = ParseTftpReceived(packet);
  if (!received) return FailWith(kImproperLength);
  if (received->opcode == 0 || received->opcode > kTftpError) return FailWith(kInvalidOpcode);
  if (role_ == TftpRole::Client && !answered_ && progress_ != nullptr) progress_->OnInProgress();
  answered_ = true;
  Dispatch(*received, packet.size());
  if (progress_ != nullptr && state_ != TftpState::Failed &&
      (received->opcode == kTftpData || received->opcode == kTftpAck)) {
    progress_->OnBytesTransferred(bytes_, now - startTime_);
  }
}

void CTftpEngine::Dispatch(const TftpReceived& received, std::size_t packetSize) {
  const bool client = role_ == TftpRole::Client;
  const std::uint16_t sent = lastOpcodeSent_;
  if (received.opcode == kTftpData && (sent == kTftpAck || (client && sent == kTftpRrq))) {
    HandleData(received.number, received.payload);
  } else if (received.opcode == kTftpAck && (sent == kTftpData || (client && sent == kTftpWrq))) {
    HandleAck(received.number, packetSize);
  } else if (received.opcode == kTftpError) {
    // The peer gave up and says why, whatever was sent last.
    HandleError(received.number, received.payload);
  } else {
    FailWith(ProtocolErrorText(sent, received.opcode));
  }
}

void CTftpEngine::HandleData(std::uint16_t block, std::span<const std::uint8_t> data) {
  if (data.size() > kTftpBlockSize) return FailWith(kImproperLength);
  const bool fresh = block == block_;
  if (fresh) {
    ++block_;
    bytes_ += data.size();
    if (!StoreData(data)) return;
  } else if (block != static_cast<std::uint16_t>(block_ - 1)) {
    // Not the block expected, nor a repeat of the one before (which is only
    // acknowledged again, never written twice).
    return FailWith(BlockDistance(block, block_) < 0 ? kEarlierBlock : kLaterBlock);
  }
  Send(BuildTftpAck(block));
  if (fresh && data.size() < kTftpBlockSize) Finish();
}

bool CTftpEngine::StoreData(std::span<const std::uint8_t> data) {
  if (data.empty() && mode_ == TftpMode::Octet) return true;
  std::span<const std::uint8_t> local = data;
  if (mode_ == TftpMode::Netascii) {
    decoded_.clear();
    if (!decoder_.Decode(data, decoded_)) {
      FailWith(kBadCarriageReturn);
      return false;
    }
    if (data.size() < kTftpBlockSize) decoder_.Finish(decoded_);
    local = decoded_;
  }
  if (local.empty()) return true;
  if (const int error = file_->Write(local.data(), local.size()); error != 0) {
    Fail({TftpFailure::Kind::SystemError, {}, error});
    return false;
  }
  return true;
}

void CTftpEngine::HandleAck(std::uint16_t block, std::size_t packetSize) {
  if (packetSize != kTftpHeaderSize) return FailWith(kAckLength);
  if (block == block_) {
    if (lastDataLength_ < kTftpBlockSize) return Finish();
    return SendNextBlock();
  }
  // A repeated acknowledgement of the block before is ignored: answering it
  // would send every block twice from then on.
  if (block == static_cast<std::uint16_t>(block_ - 1)) return;
  FailWith(BlockDistance(block, block_) < 0 ? kEarlierAck : kLaterAck);
}

void CTftpEngine::HandleError(std::uint16_t code, std::span<const std::uint8_t> text) {
  std::string shown = TftpErrorPacketText(text);
  if (shown.empty()) shown = std::string(TftpErrorCodeText(code));
  FailWith(shown);
}

void CTftpEngine::SendNextBlock() {
  std::array<std::uint8_t, kTftpBlockSize> block{};
  const long count = mode_ == TftpMode::Netascii ? encoder_.Fill(*file_, block)
                                                 : file_->Read(block.data(), block.size());
  if (count < 0) return Fail({TftpFailure::Kind::SystemError, {}, static_cast<int>(-count)});
  ++block_;
  lastDataLength_ = static_cast<std::size_t>(count);
  bytes_ += lastDataLength_;
  Send(BuildTftpData(block_, std::span(block.data(), lastDataLength_)));
}

void CTftpEngine::Send(TftpPacket packet) {
  lastOpcodeSent_ = static_cast<std::uint16_t>((packet[0] << 8) | packet[1]);
  lastSent_ = std::move(packet);
  outgoing_ = true;
  waiting_ = false;
}

void CTftpEngine::OnTimeout(std::uint32_t now) {
  if (state_ != TftpState::Running) return;
  waiting_ = false;
  if (timer_.OnTimeout(now)) return FailWith(kNoResponse);
  outgoing_ = true;
}

std::uint32_t CTftpEngine::WaitRemaining(std::uint32_t now) {
  if (!waiting_) {
    waitEnd_ = now + static_cast<std::uint32_t>(timer_.BeforeWait(now));
    waiting_ = true;
  }
  const auto left = static_cast<std::int32_t>(waitEnd_ - now);
  return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

std::span<const std::uint8_t> CTftpEngine::TakeOutgoing() {
  if (!outgoing_) return {};
  outgoing_ = false;
  return lastSent_;
}

void CTftpEngine::Finish() {
  state_ = TftpState::Finished;
  file_->Keep();
}

void CTftpEngine::FailWith(std::string_view text) {
  Fail({TftpFailure::Kind::Message, std::string(text), 0});
}

void CTftpEngine::Fail(TftpFailure failure) {
  if (state_ != TftpState::Running) return;
  state_ = TftpState::Failed;
  failure_ = std::move(failure);
  outgoing_ = false;
}

}  // namespace netrove
