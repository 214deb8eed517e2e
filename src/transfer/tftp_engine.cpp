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

void CTftpEngine::StartRequest(TftpOpcode opcode, std::string_view remoteName,
                               const TftpOptions& asked) {
  sending_ = opcode == kTftpWrq;
  block_ = sending_ ? 0 : 1;
  acked_ = 0xFFFF;
  asked_ = asked;
  TftpPacket request = BuildTftpRequest(opcode, remoteName, mode_);
  if (asked.Any()) {
    // A write tells the size it will send; a read asks with 0. The size of
    // a netascii file on the wire is not known before it is sent, and
    // servers refuse the whole request for it.
    const auto size = sending_ ? file_->Size() : std::optional<std::uint64_t>(0);
    if (!size || mode_ != TftpMode::Octet) asked_.transferSize = false;
    if (asked_.transferSize) sentSize_ = sending_ ? size : std::nullopt;
    AppendTftpOptions(request, asked_, size.value_or(0));
  }
  Send(std::move(request));
}

void CTftpEngine::UseOptions(const TftpNegotiation& negotiation) {
  Apply(negotiation.parameters);
  oack_ = negotiation.answer;
}

void CTftpEngine::Apply(const TftpTransferParameters& parameters) {
  parameters_ = parameters;
  if (parameters.timeoutSeconds != 0) {
    timer_.SetFixedTimeout(static_cast<std::int32_t>(parameters.timeoutSeconds * 1000));
  }
}

void CTftpEngine::StartServingRead() {
  sending_ = true;
  block_ = 0;
  acked_ = 0;
  if (oack_.empty()) return FillWindow();
  // The OACK counts as block 0: its ACK starts the data.
  acked_ = 0xFFFF;
  Send(BuildTftpOack(oack_));
}

void CTftpEngine::StartServingWrite() {
  block_ = 1;
  Send(oack_.empty() ? BuildTftpAck(0) : BuildTftpOack(oack_));
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
  // The options of an OACK follow its opcode directly (and may be none).
  if (ReadTftpOpcode(packet) == kTftpOack) return HandleOack(packet.subspan(2));
  const auto received = ParseTftpReceived(packet);
  if (!received) return FailWith(kImproperLength);
  if (received->opcode == 0 || received->opcode > kTftpError) return FailWith(kInvalidOpcode);
  NoteAnswered();
  Dispatch(*received, packet.size());
  if (progress_ != nullptr && state_ != TftpState::Failed &&
      (received->opcode == kTftpData || received->opcode == kTftpAck)) {
    progress_->OnBytesTransferred(bytes_, now - startTime_);
  }
}

void CTftpEngine::Dispatch(const TftpReceived& received, std::size_t packetSize) {
  const bool client = role_ == TftpRole::Client;
  const std::uint16_t sent = lastOpcodeSent_;
  const bool dataAwaited = !sending_ && (sent == kTftpAck || (client && sent == kTftpRrq) ||
                                         (!client && sent == kTftpOack));
  const bool ackAwaited = sending_ && (sent == kTftpData || (client && sent == kTftpWrq) ||
                                       (!client && sent == kTftpOack));
  if (received.opcode == kTftpData && dataAwaited) {
    HandleData(received.number, received.payload);
  } else if (received.opcode == kTftpAck && ackAwaited) {
    HandleAck(received.number, packetSize);
  } else if (received.opcode == kTftpError) {
    // The peer gave up and says why, whatever was sent last.
    HandleError(received.number, received.payload);
  } else {
    FailWith(ProtocolErrorText(sent, received.opcode));
  }
}

void CTftpEngine::NoteAnswered() {
  if (role_ == TftpRole::Client && !answered_ && progress_ != nullptr) progress_->OnInProgress();
  answered_ = true;
}

// Only a client's request is answered with an OACK.
void CTftpEngine::HandleOack(std::span<const std::uint8_t> options) {
  if (role_ != TftpRole::Client || (lastOpcodeSent_ != kTftpRrq && lastOpcodeSent_ != kTftpWrq)) {
    return FailWith(ProtocolErrorText(lastOpcodeSent_, kTftpOack));
  }
  NoteAnswered();
  const TftpOackCheck check = CheckTftpOack(asked_, sentSize_, options);
  if (!check.parameters) {
    // The one ERROR sent for a failure: the server is waiting for our
    // answer to its OACK and would otherwise retransmit it for a minute.
    Send(BuildTftpError(kTftpOptionRefused, check.refusal));
    state_ = TftpState::Failed;
    failure_ = {TftpFailure::Kind::Message, check.refusal, 0};
    return;
  }
  Apply(*check.parameters);
  if (!sending_) return Send(BuildTftpAck(0));
  acked_ = 0;
  burst_.clear();
  FillWindow();
}

void CTftpEngine::HandleData(std::uint16_t block, std::span<const std::uint8_t> data) {
  if (data.size() > parameters_.blockSize) return FailWith(kImproperLength);
  const std::int16_t ahead = BlockDistance(block, block_);
  const auto window = static_cast<int>(parameters_.windowSize);
  if (ahead == 0) {
    ++block_;
    bytes_ += data.size();
    if (!StoreData(data)) return;
    gapAcknowledged_ = false;
    const bool last = data.size() < parameters_.blockSize;
    AcknowledgeBlock(block, last || ++blocksUnacknowledged_ >= parameters_.windowSize);
    if (last) Finish();
  } else if (ahead < 0 && -ahead <= window) {
    // A repeat of a block we have (our ACK was lost): acknowledged again,
    // never written twice.
    AcknowledgeBlock(static_cast<std::uint16_t>(block_ - 1), true);
  } else if (ahead > 0 && ahead < window) {
    // A block of the window was lost: the ACK of the last one in order
    // makes the sender go back to it. Once is enough for the whole gap.
    if (!gapAcknowledged_) AcknowledgeBlock(static_cast<std::uint16_t>(block_ - 1), true);
    gapAcknowledged_ = true;
  } else {
    FailWith(ahead < 0 ? kEarlierBlock : kLaterBlock);
  }
}

// The ACK is what a time-out sends again; within a window it is only kept
// for that until the window is full.
void CTftpEngine::AcknowledgeBlock(std::uint16_t block, bool now) {
  Send(BuildTftpAck(block));
  if (!now) {
    nextOut_ = burst_.size();
    return;
  }
  blocksUnacknowledged_ = 0;
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
    if (data.size() < parameters_.blockSize) decoder_.Finish(decoded_);
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
  const std::int16_t past = BlockDistance(block, acked_);
  if (past > BlockDistance(block_, acked_)) return FailWith(kLaterAck);
  if (past <= 0) {
    // A repeated acknowledgement (of the window before, or a duplicate) is
    // ignored: answering it would send every block twice from then on.
    if (-past >= static_cast<int>(parameters_.windowSize)) return FailWith(kEarlierAck);
    return;
  }
  acked_ = block;
  if (lastOpcodeSent_ == kTftpData) {
    burst_.erase(burst_.begin(), burst_.begin() + past);
  } else {
    burst_.clear();  // the request or OACK that ACK 0 answers
  }
  if (burst_.empty() && lastBlockRead_) return Finish();
  // Blocks after a lost one go out again, followed by new ones.
  FillWindow();
}

void CTftpEngine::HandleError(std::uint16_t code, std::span<const std::uint8_t> text) {
  std::string shown = TftpErrorPacketText(text);
  if (shown.empty()) shown = std::string(TftpErrorCodeText(code));
  FailWith(shown);
}

void CTftpEngine::FillWindow() {
  while (burst_.size() < parameters_.windowSize && !lastBlockRead_) {
    if (!ReadBlock()) return;
  }
  lastOpcodeSent_ = kTftpData;
  nextOut_ = 0;
  waiting_ = false;
}

bool CTftpEngine::ReadBlock() {
  blockBuffer_.resize(parameters_.blockSize);
  const long count = mode_ == TftpMode::Netascii
                         ? encoder_.Fill(*file_, blockBuffer_)
                         : file_->Read(blockBuffer_.data(), blockBuffer_.size());
  if (count < 0) {
    Fail({TftpFailure::Kind::SystemError, {}, static_cast<int>(-count)});
    return false;
  }
  ++block_;
  const auto length = static_cast<std::size_t>(count);
  lastBlockRead_ = length < parameters_.blockSize;
  bytes_ += length;
  burst_.push_back(BuildTftpData(block_, std::span(blockBuffer_.data(), length)));
  return true;
}

void CTftpEngine::Send(TftpPacket packet) {
  lastOpcodeSent_ = static_cast<std::uint16_t>((packet[0] << 8) | packet[1]);
  burst_.clear();
  burst_.push_back(std::move(packet));
  nextOut_ = 0;
  waiting_ = false;
}

void CTftpEngine::OnTimeout(std::uint32_t now) {
  if (state_ != TftpState::Running) return;
  waiting_ = false;
  if (timer_.OnTimeout(now)) return FailWith(kNoResponse);
  nextOut_ = 0;
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
  if (nextOut_ >= burst_.size()) return {};
  return burst_[nextOut_++];
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
  nextOut_ = burst_.size();
}

}  // namespace netrove
